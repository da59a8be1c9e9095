#pragma once
// The operating system's file calls, in one place: POSIX in
// posix/files_posix.cpp, Windows' own (wide-character names, shared opens,
// handle locks) in win32/files_win32.cpp. Everything above speaks of plain file descriptors
// (the C runtime's on Windows) and errno numbers; a Windows error is turned
// into the nearest errno number, with the reason kept for messages.

#include <cstdint>
#include <filesystem>
#include <string>

namespace zor::system_files {

enum class FileKind : std::uint8_t { Regular, Folder, Fifo, Device, Socket, Other };

struct FileStatus {
    FileKind kind = FileKind::Other;
    std::int64_t size = 0;
    // What tells one file, or one version of it, from another: the file's
    // identity on its device and its modification and change times.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified = 0, modifiedNs = 0, changed = 0, changedNs = 0;
    std::uint32_t permissions = 0;  // POSIX mode bits; 0 where there are none
    bool operator==(const FileStatus&) const = default;
};

// The errno number a sharing violation becomes: the file is open in another
// program that allows no one else to read (Windows only).
inline constexpr int kInUseByAnotherProgram = 16;  // EBUSY

// The reason for an errno number as part of a sentence, in lower case:
// "no such file", "permission denied".
std::string reasonFor(int error);

// Opens a file for reading without ever blocking (a FIFO is not waited on)
// and without keeping other programs from reading, replacing or removing it.
// The descriptor, or -1 with `error` set.
int openForReading(const std::filesystem::path& path, int& error);
bool statusOf(int fd, FileStatus& status, int& error);
// Of the file a path names, following links; false when there is none.
bool statusOf(const std::filesystem::path& path, FileStatus& status);
// Some bytes from the current position: the count, 0 at the end, -1 with
// `error` set.
long long readSome(int fd, void* buffer, std::size_t size, int& error);
long long writeSome(int fd, const void* buffer, std::size_t size, int& error);
// 0, or the error number.
int closeFile(int fd);
// A new file for reading and writing, private to this user, whose name is
// `pattern` with the six characters "XXXXXX" before its last `suffixLength`
// ones replaced (the new name is left in `pattern`); -1 with `error` set.
int makeTemporary(std::filesystem::path& pattern, int& error, std::size_t suffixLength = 0);
// A new, empty folder named as makeTemporary names a file (no suffix);
// false with `error` set.
bool makeTemporaryFolder(std::filesystem::path& pattern, int& error);
// Gives the file the permissions asked (POSIX mode bits; nothing on Windows).
void setPermissions(int fd, std::uint32_t mode);
// The permissions of a new data file: 0666 less the process's umask.
std::uint32_t newFileMode();
bool truncateFile(int fd, std::int64_t size, int& error);
// Everything written reaches the disk.
bool syncFile(int fd, int& error);
// A rename, then durable: the folder's entry too, where the system allows.
void syncFolder(const std::filesystem::path& folder);
// Puts `from` in the place of `to`, replacing whatever is there (a link is
// replaced, not followed). False with `error` set.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, int& error);
// The same, but fails with EEXIST when anything is at `to`.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error);
bool removeFile(const std::filesystem::path& path);
// Puts the folder `from` in the place of the folder `to`; the old folder is
// left at `from`, for the caller to remove. On Linux the two change places
// at once; elsewhere `to` is moved aside first, and put back if the second
// move fails. False with `error` set.
bool replaceFolder(const std::filesystem::path& from, const std::filesystem::path& to, int& error);
// Gives a folder the permissions of a new one (0777 less the umask; nothing
// on Windows).
void setNewFolderPermissions(const std::filesystem::path& folder);
// Whether both paths name one existing file.
inline bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    FileStatus x, y;
    return statusOf(a, x) && statusOf(b, y) && x.device == y.device && x.inode == y.inode;
}
// Whether new files can be made in the folder.
bool folderTakesNewFiles(const std::filesystem::path& folder);

// The writers' lock file: opened (made when missing; a link is not
// followed) as a descriptor, then locked exclusively; the lock goes with the
// descriptor's close. lockExclusive: false with `busy` when another program
// holds it and `wait` is false, else with `error`.
int openLockFile(const std::filesystem::path& path, int& error);
bool lockExclusive(int fd, bool wait, bool& busy, int& error);

}  // namespace zor::system_files
