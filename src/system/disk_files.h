#pragma once
// Whole files on disk, on top of the system's calls (system/files.h):
// reading without ever blocking, writing beside the place and renaming into
// it, temporary files that go away unless kept, and where a name read from a
// data file may be looked for. Paths are std::filesystem paths; a path made
// from our UTF-8 text goes through pathFromUtf8 (system/text.h).

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

using Bytes = std::vector<std::uint8_t>;

// The largest file read whole (1 GiB): a larger one is refused, so a lying
// size or a huge file cannot exhaust memory.
inline constexpr std::int64_t kMaxWholeFileSize = std::int64_t{1} << 30;

// Why a file on disk could not be read.
struct ReadFailure {
    int error = 0;       // the system's error number; 0 when opened but refused
    std::string reason;  // "no such file", "permission denied", "is a folder",
                         // "is a FIFO, not a regular file", "larger than the limit of 1 GiB (N bytes)"
    bool missing() const { return error == ENOENT || error == ENOTDIR; }
};

// Opens a regular file for reading without ever blocking: FIFOs, devices,
// sockets and folders are refused. The descriptor, or -1.
int openRegularFile(const std::filesystem::path& path, ReadFailure* failure = nullptr);
// Bytes of a whole regular file of at most kMaxWholeFileSize bytes. A file
// that changes while it is read (it shrinks or grows under the read, or its
// size or times differ afterwards) is refused: "it changed while it was read".
std::optional<Bytes> readWholeFile(const std::filesystem::path& path, ReadFailure* failure = nullptr);
// "1 GiB", or the count of bytes.
std::string describeFileSize(std::int64_t size);

// The permissions of a new data file: 0666 less the process's umask, as
// open() and fopen() give them. Temporary files start private (0600) and get
// these before they are renamed into place.
std::uint32_t newFileMode();

// Why a file was not written. Callers decide by `kind`; `reason` is for
// messages.
struct WriteFailure {
    enum class Kind : std::uint8_t { None, Exists, Failed };
    Kind kind = Kind::None;
    std::string reason;  // "cannot write: no space left on device"; "already exists" for Exists

    bool exists() const { return kind == Kind::Exists; }
    // "PATH: REASON", and for Exists "PATH: already exists (FLAG replaces it)".
    std::string describe(const std::filesystem::path& path, std::string_view replaceFlag) const;
};

enum class Replace { Never, Always };
// Writes a new file beside `path` (a temporary name in the same folder,
// flushed) and renames it into place: a failure leaves no partial file, and a
// link at `path` is replaced, never followed. With Replace::Never anything
// already at `path` stays and the call fails with the kind Exists.
bool writeFileByRename(const std::filesystem::path& path, std::span<const std::uint8_t> data, Replace replace,
                       WriteFailure& failure);

// Renames the finished file `temporary` to `path` (in the same folder) as
// writeFileByRename does; on failure `temporary` is removed.
bool renameIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& path, Replace replace,
                     WriteFailure& failure);

// A new, empty file of a name no other has ("PREFIX", six random characters
// and "SUFFIX", in the prefix's folder), open for reading and writing,
// private to this user until given the usual permissions. It is removed when
// the object goes, unless release() was called (after it was renamed into
// place).
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // False with `failure` set ("cannot create a temporary file in FOLDER: REASON").
    bool create(const std::filesystem::path& prefix, WriteFailure& failure, std::string_view suffix = {});
    // Writes all of `data` at the current position; false with `failure` set.
    bool write(std::span<const std::uint8_t> data, WriteFailure& failure);
    // Gives the file the permissions of a new data file, flushes it to the
    // disk and closes it; false with `failure` set (the file stays until the
    // object goes).
    bool finish(WriteFailure& failure);
    // Closes the file if open and forgets it: it is not removed.
    void release();
    const std::filesystem::path& path() const { return path_; }
    int descriptor() const { return fd_; }

private:
    void close();
    std::filesystem::path path_;
    int fd_ = -1;
};

// A new, empty folder in the system's folder for temporary files, named
// "PREFIX" and six random characters, private to this user. It goes, with
// everything in it, when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder() = default;
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // False with `failure` set ("cannot create a temporary folder in FOLDER: REASON").
    bool create(std::string_view prefix, WriteFailure& failure);
    // Removes the folder and everything in it now.
    void remove();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A name read from a data file as a path inside a folder, lexically
// normalised; nullopt when it is absolute, climbs out ("..") or holds a zero.
std::optional<std::filesystem::path> nameInsideFolder(std::string_view name);
// The path inside `folder` whose components equal those of `relative`
// ignoring ASCII letter case (an exact component first, else the first match
// in byte order); nullopt when there is none.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::filesystem::path& relative);

}  // namespace zor
