// The archive's file operations on POSIX systems (Linux, and Emscripten's
// libc in the page).

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "system/files.h"

namespace zor::system_files {

namespace {

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Folder;
    if (S_ISFIFO(mode)) return FileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::Device;
    if (S_ISSOCK(mode)) return FileKind::Socket;
    return FileKind::Other;
}

FileStatus statusFrom(const struct stat& st) {
    FileStatus s;
    s.kind = kindOf(st.st_mode);
    s.size = st.st_size;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.modified = st.st_mtim.tv_sec;
    s.modifiedNs = st.st_mtim.tv_nsec;
    s.changed = st.st_ctim.tv_sec;
    s.changedNs = st.st_ctim.tv_nsec;
    s.permissions = st.st_mode & 07777;
    return s;
}

}  // namespace

std::string reasonFor(int error) {
    if (error == ENOENT) return "no such file";
    if (error == EISDIR) return "is a folder";
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

int openForReading(const std::filesystem::path& path, int& error) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    // Reads of a regular file are not affected; the flag goes all the same.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool statusOf(int fd, FileStatus& status, int& error) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = errno;
        return false;
    }
    status = statusFrom(st);
    return true;
}

bool statusOf(const std::filesystem::path& path, FileStatus& status) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    status = statusFrom(st);
    return true;
}

long long readSome(int fd, void* buffer, std::size_t size, int& error) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        return n;
    }
}

long long writeSome(int fd, const void* buffer, std::size_t size, int& error) {
    for (;;) {
        const ssize_t n = ::write(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        return n;
    }
}

int closeFile(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int makeTemporary(std::filesystem::path& pattern, int& error, std::size_t suffixLength) {
    std::string name = pattern.native();
    const int fd = mkstemps(name.data(), static_cast<int>(suffixLength));
    if (fd < 0) error = errno;
    else pattern = std::move(name);
    return fd;
}

bool makeTemporaryFolder(std::filesystem::path& pattern, int& error) {
    std::string name = pattern.native();
    if (!mkdtemp(name.data())) {
        error = errno;
        return false;
    }
    pattern = std::move(name);
    return true;
}

void setPermissions(int fd, std::uint32_t mode) { fchmod(fd, static_cast<mode_t>(mode)); }

std::uint32_t newFileMode() {
    // Reading the mask means setting it; the tools write from one thread.
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool truncateFile(int fd, std::int64_t size, int& error) {
    if (::ftruncate(fd, size) == 0) return true;
    error = errno;
    return false;
}

bool syncFile(int fd, int& error) {
    if (fsync(fd) == 0) return true;
    error = errno;
    return false;
}

void syncFolder(const std::filesystem::path& folder) {
    const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = errno;
    return false;
}

bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
    // Where the file system cannot rename that way, link() does the same.
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
#else
    errno = ENOSYS;  // no renameat2 here (WebAssembly's libc)
#endif
    if ((errno == EINVAL || errno == ENOSYS) && ::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    error = errno;
    return false;
}

bool removeFile(const std::filesystem::path& path) { return ::unlink(path.c_str()) == 0; }

bool replaceFolder(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
#ifdef RENAME_EXCHANGE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) {
        error = errno;
        return false;
    }
#endif
    // No exchange here: the old folder goes aside under a name of its own.
    std::filesystem::path aside = from;
    aside += ".old";
    if (std::rename(to.c_str(), aside.c_str()) != 0) {
        error = errno;
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
        std::rename(aside.c_str(), to.c_str());
        return false;
    }
    std::rename(aside.c_str(), from.c_str());
    return true;
}

void setNewFolderPermissions(const std::filesystem::path& folder) {
    const mode_t mask = umask(0);  // reading the mask means setting it
    umask(mask);
    ::chmod(folder.c_str(), 0777 & ~mask);
}

bool folderTakesNewFiles(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }


int openLockFile(const std::filesystem::path& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) error = errno;
    return fd;
}

bool lockExclusive(int fd, bool wait, bool& busy, int& error) {
    busy = false;
    int rc = 0;
    while ((rc = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (rc == 0) return true;
    busy = errno == EWOULDBLOCK;
    error = errno;
    return false;
}

}  // namespace zor::system_files
