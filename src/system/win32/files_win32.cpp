// The archive's file operations on Windows, through the wide-character API:
// names are UTF-16 (std::filesystem's own form there), and a name too long
// for the old 260-character limit is made absolute and given the "\\?\"
// prefix. Files are opened sharing reading, writing and deletion with every
// other program, so an archive being read can still be replaced by a writer;
// a program that shares nothing makes an open fail with a reason that says
// so. Handles are wrapped in the C runtime's descriptors, which the callers
// hand to fdopen.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "system/files.h"

namespace zor::system_files {

namespace {

// Names at least this long get the prefix (a folder's own limit is 248).
constexpr std::size_t kLongName = 240;

std::wstring windowsName(const std::filesystem::path& path) {
    const std::wstring& name = path.native();
    if (name.size() < kLongName || name.rfind(L"\\\\?\\", 0) == 0) return name;
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return name;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return name;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

int errnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kInUseByAnotherProgram;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A descriptor for an open handle; the handle is closed when that fails.
int descriptorFor(HANDLE handle, int flags, int& error) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        error = EMFILE;
        CloseHandle(handle);
    }
    return fd;
}

std::int64_t fileTimeTicks(const FILETIME& time) {
    return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

bool statusOfHandle(HANDLE handle, FileStatus& status, int& error) {
    status = FileStatus{};
    switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE: status.kind = FileKind::Fifo; return true;
    case FILE_TYPE_CHAR: status.kind = FileKind::Device; return true;
    case FILE_TYPE_DISK: break;
    default: status.kind = FileKind::Other; return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        error = errnoFor(GetLastError());
        return false;
    }
    status.kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::Folder : FileKind::Regular;
    status.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    status.device = info.dwVolumeSerialNumber;
    status.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    // Times in 100-nanosecond ticks.
    const std::int64_t written = fileTimeTicks(info.ftLastWriteTime);
    status.modified = written / 10000000;
    status.modifiedNs = written % 10000000 * 100;
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        status.changed = basic.ChangeTime.QuadPart / 10000000;
        status.changedNs = basic.ChangeTime.QuadPart % 10000000 * 100;
    }
    return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::string reasonFor(int error) {
    if (error == ENOENT) return "no such file";
    if (error == EISDIR) return "is a folder";
    if (error == EACCES) return "permission denied";
    if (error == kInUseByAnotherProgram) return "another program has it open and lets no one else read it";
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

int openForReading(const std::filesystem::path& path, int& error) {
    // Folders open too (with backup semantics), so that they are named as
    // folders rather than refused for want of permission.
    const HANDLE handle = CreateFileW(windowsName(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = errnoFor(GetLastError());
        return -1;
    }
    return descriptorFor(handle, _O_RDONLY, error);
}

bool statusOf(int fd, FileStatus& status, int& error) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        error = EBADF;
        return false;
    }
    return statusOfHandle(handle, status, error);
}

bool statusOf(const std::filesystem::path& path, FileStatus& status) {
    const HANDLE handle = CreateFileW(windowsName(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    int error = 0;
    const bool ok = statusOfHandle(handle, status, error);
    CloseHandle(handle);
    return ok;
}

long long readSome(int fd, void* buffer, std::size_t size, int& error) {
    DWORD done = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handleOf(fd), buffer, asked, &done, nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
        error = errnoFor(code);
        return -1;
    }
    return done;
}

long long writeSome(int fd, const void* buffer, std::size_t size, int& error) {
    DWORD done = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!WriteFile(handleOf(fd), buffer, asked, &done, nullptr)) {
        error = errnoFor(GetLastError());
        return -1;
    }
    return done;
}

int closeFile(int fd) { return _close(fd) == 0 ? 0 : errno; }

namespace {

// Tries names of the pattern until `make` takes one (true) or fails for a
// reason other than the name being taken (false with `error` set).
template <typename Make>
bool makeUnique(std::filesystem::path& pattern, std::size_t suffixLength, int& error, Make make) {
    std::wstring name = pattern.native();
    if (name.size() < 6 + suffixLength || name.compare(name.size() - suffixLength - 6, 6, L"XXXXXX") != 0) {
        error = EINVAL;
        return false;
    }
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;
    std::mt19937 pick(entropy() ^ GetCurrentProcessId() ^ GetTickCount());
    const std::size_t first = name.size() - suffixLength - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = first; i < first + 6; ++i) name[i] = kLetters[pick() % 36];
        if (make(windowsName(name))) {
            pattern = name;
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = errnoFor(code);
            return false;
        }
    }
    error = EEXIST;
    return false;
}

}  // namespace

int makeTemporary(std::filesystem::path& pattern, int& error, std::size_t suffixLength) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const bool made = makeUnique(pattern, suffixLength, error, [&](const std::wstring& name) {
        handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    return made ? descriptorFor(handle, _O_RDWR, error) : -1;
}

bool makeTemporaryFolder(std::filesystem::path& pattern, int& error) {
    return makeUnique(pattern, 0, error,
                      [](const std::wstring& name) { return CreateDirectoryW(name.c_str(), nullptr) != 0; });
}

void setPermissions(int, std::uint32_t) {}

std::uint32_t newFileMode() { return 0666; }

bool truncateFile(int fd, std::int64_t size, int& error) {
    LARGE_INTEGER end{};
    end.QuadPart = size;
    const HANDLE handle = handleOf(fd);
    LARGE_INTEGER here{};
    // The end is set at `size`; the file position stays where it was.
    if (SetFilePointerEx(handle, LARGE_INTEGER{}, &here, FILE_CURRENT) &&
        SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle) &&
        SetFilePointerEx(handle, here, nullptr, FILE_BEGIN))
        return true;
    error = errnoFor(GetLastError());
    return false;
}

bool syncFile(int fd, int& error) {
    if (FlushFileBuffers(handleOf(fd))) return true;
    error = errnoFor(GetLastError());
    return false;
}

// Windows makes a rename durable with the file (MOVEFILE_WRITE_THROUGH).
void syncFolder(const std::filesystem::path&) {}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
    if (MoveFileExW(windowsName(from).c_str(), windowsName(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = errnoFor(GetLastError());
    return false;
}

bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
    if (MoveFileExW(windowsName(from).c_str(), windowsName(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    error = errnoFor(GetLastError());
    return false;
}

bool removeFile(const std::filesystem::path& path) { return DeleteFileW(windowsName(path).c_str()) != 0; }

// Windows has no exchange of two names: the old folder goes aside first.
bool replaceFolder(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
    std::filesystem::path aside = from;
    aside += L".old";
    if (!MoveFileExW(windowsName(to).c_str(), windowsName(aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = errnoFor(GetLastError());
        return false;
    }
    if (!MoveFileExW(windowsName(from).c_str(), windowsName(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = errnoFor(GetLastError());
        MoveFileExW(windowsName(aside).c_str(), windowsName(to).c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    MoveFileExW(windowsName(aside).c_str(), windowsName(from).c_str(), MOVEFILE_WRITE_THROUGH);
    return true;
}

void setNewFolderPermissions(const std::filesystem::path&) {}

// Windows' access rights say nothing useful about folders: a file is made
// and removed again.
bool folderTakesNewFiles(const std::filesystem::path& folder) {
    std::filesystem::path probe = folder / ".zor-probe-XXXXXX";
    int error = 0;
    const int fd = makeTemporary(probe, error);
    if (fd < 0) return false;
    closeFile(fd);
    removeFile(probe);
    return true;
}


int openLockFile(const std::filesystem::path& path, int& error) {
    // A link in the lock file's place is opened as itself, never followed.
    const HANDLE handle = CreateFileW(windowsName(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = errnoFor(GetLastError());
        return -1;
    }
    return descriptorFor(handle, _O_RDWR, error);
}

bool lockExclusive(int fd, bool wait, bool& busy, int& error) {
    busy = false;
    OVERLAPPED at{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(handleOf(fd), flags, 0, 1, 0, &at)) return true;
    const DWORD code = GetLastError();
    busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
    error = errnoFor(code);
    return false;
}

}  // namespace zor::system_files
