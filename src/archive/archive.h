#pragma once
// The data archive: one file holding every data file as a zlib block, with a
// compressed directory and a 15-byte trailer (":-)") at the very end, so an
// archive may follow arbitrary leading content.
//
// Reading never writes: opening a missing archive gives an empty one and
// leaves no file behind. Writes are crash-safe: changes go to a temporary file
// in the same folder that is flushed and renamed over the archive when the
// directory is written, so after any crash the archive holds exactly the old or
// exactly the new set of entries. Archives from elsewhere are not trusted:
// the trailer and every directory record are checked against the real file.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/diagnostics.h"

namespace zor {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kPackEntrySize = 48;
inline constexpr int kPackTrailerSize = 15;
inline constexpr int kMaxEntryNameLength = 31;
// Entries claiming more than this are refused, so a lying size cannot
// exhaust memory.
inline constexpr std::int64_t kMaxEntrySize = std::int64_t{1} << 30;

// One directory record, 48 bytes on disk in this order (little-endian).
struct PackEntry {
    char name[32] = {};                // zero-terminated, at most 31 characters
    std::int32_t start = 0;            // file offset of the compressed block
    std::int32_t end = 0;              // start + compressedSize
    std::int32_t uncompressedSize = 0;
    std::int32_t compressedSize = 0;
};

// The archive name that selects no archive: names are looked up on disk only.
inline constexpr std::string_view kNoFileSelected = "NO_FILE_SELECTED";
// Archive names are shorter than this.
inline constexpr std::size_t kArchiveNameSize = 128;

class PackFile {
public:
    // On no file at all: nothing to read, nothing written.
    PackFile() = default;
    explicit PackFile(std::string_view fileName);
    // Writes the directory if entries were added since the last write.
    ~PackFile();
    PackFile(const PackFile&) = delete;
    PackFile& operator=(const PackFile&) = delete;

    // Finishes the current archive as the destructor does, then opens another.
    void reopen(std::string_view fileName);

    // Index of the first entry whose name matches by namesMatch, or -1.
    int findEntry(std::string_view name) const;
    // The entry's data, exactly uncompressedSize bytes; nullopt when there is
    // no such entry or it cannot be read (error() says why).
    std::optional<Bytes> readEntry(std::string_view name);
    // The same for the entry at an index below entryCount().
    std::optional<Bytes> readEntryAt(int index);

    // These take an index findEntry returned.
    std::int32_t uncompressedSize(int index) const { return entries_[index].uncompressedSize; }
    std::int32_t compressedSize(int index) const { return entries_[index].compressedSize; }
    const PackEntry& entry(int index) const { return entries_[index]; }
    int entryCount() const { return static_cast<int>(entries_.size()); }
    const std::string& fileName() const { return fileName_; }

    // Build side. Each returns false (archive unchanged, error() set) when it
    // cannot do its work. addFile's entry reaches the archive when the
    // directory is written: by flush(), reopen() or the destructor.
    bool addFile(const std::filesystem::path& path, std::string_view name);
    bool addData(const Bytes& data, std::string_view name);
    // Removes the first entry of that name and writes the directory at once.
    bool removeEntry(std::string_view name);
    // Removes the entry at an index below entryCount(), with its block; like
    // addFile's entries, the change reaches the archive with the directory.
    bool dropEntry(int index);
    // Writes the directory now if it is stale; false if that failed.
    bool flush();
    // Forgets every change since the directory was last written: the archive
    // file stays as it was and the object reads it again.
    void discardChanges();

    // 0 when the names match (equal length; each pair of characters equal or,
    // as signed bytes, one the other plus 32), 1 otherwise.
    static int namesMatch(std::string_view a, std::string_view b);

    // True when a file was named (exists or not) and it is not corrupt.
    bool isOpen() const { return state_ == State::Open; }
    bool isCorrupt() const { return state_ == State::Corrupt; }
    // Whether the archive file existed when it was opened.
    bool exists() const { return exists_; }
    // Whether the file ends in the trailer's signature. A non-empty file
    // without it is plain content that entries would be appended to.
    bool hasTrailer() const { return trailer_; }
    // Reason for the last failure or for refusing a corrupt archive.
    const std::string& error() const { return error_; }
    // Offset where the data area ends (where the next block goes).
    std::int64_t dataEnd() const { return dataEnd_; }

private:
    enum class State { NoFile, Open, Corrupt };

    void open(std::string_view fileName);
    void close();
    bool index();
    bool fail(std::string message);
    bool beginWrite();
    bool createWorkFile();
    void discardWorkFile();
    bool commit();
    std::FILE* reader() const { return work_ ? work_ : file_; }

    std::string fileName_;
    State state_ = State::NoFile;
    bool exists_ = false;
    bool trailer_ = false;
    int savedCount_ = 0;            // entry count at the last directory read or write
    std::int64_t dataEnd_ = 0;
    std::vector<PackEntry> entries_;
    std::FILE* file_ = nullptr;     // the archive, read-only
    std::FILE* work_ = nullptr;     // temporary copy being written, if any
    std::string workName_;
    std::string error_;
};

// The writers' lock of an archive, held from reading the archive to the
// rename that replaces it, so two writers never build on the same old copy
// (the later rename would drop the earlier writer's entries). It is a lock
// (flock) on the file "ARCHIVE.lock" beside the archive, made when missing
// and removed by its holder when it is done, so none stays in a folder that
// is shipped (a writer that waited on the removed file takes the lock again
// on a new one). Readers need no lock: a rename gives them the old or the
// new archive whole.
class ArchiveLock {
public:
    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    static std::filesystem::path lockFileOf(const std::filesystem::path& archive);
    // Waits for the lock or, with wait false, gives up at once when another
    // program holds it. False with error() set.
    bool acquire(const std::filesystem::path& archive, bool wait);
    // Removes the temporary copies ("ARCHIVE.tmp.XXXXXX") that writers killed
    // midway left beside the archive; call with the lock held. The count.
    int removeStaleTemporaries() const;
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::filesystem::path archive_;
    std::string error_;
};

// The archive of a DataSource, opened at its first lookup and kept with its
// directory while the file stays the same (same file, size and times), so a
// load reads the directory once however many names it asks for.
//
// A writer replaces the archive by renaming a new file into place. Between
// two lookups of one load that can happen, and a load that opened the
// archive again would take some names from the old archive and some from
// the new one. A load therefore holds the cache: while any Hold lives, every
// lookup reads the archive that was open when the first one was made (its
// directory and its open file, which the rename leaves readable), and the
// file is looked at again only once the last Hold is gone.
class ArchiveCache {
public:
    class Hold {
    public:
        explicit Hold(std::shared_ptr<ArchiveCache> cache);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        std::shared_ptr<ArchiveCache> cache_;
    };

    // The entry's bytes as readDataFile gives them; nullopt when there is no
    // such entry (silently) or the archive or entry is unusable (in diags).
    std::optional<Bytes> readEntry(const std::filesystem::path& path, std::string_view name, Diagnostics* diags);

private:
    int holds_ = 0;
    struct Identity {
        bool exists = false;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modified = 0, modifiedNs = 0, changed = 0, changedNs = 0;
        bool operator==(const Identity&) const = default;
    };
    std::mutex mutex_;
    std::filesystem::path path_;
    Identity identity_;
    std::unique_ptr<PackFile> pack_;
};

// One lookup of readDataFile: the file tried on disk (found or not) and the
// archive asked when the disk had nothing (empty when none was asked).
struct DataLookup {
    std::string name;
    std::filesystem::path diskPath;
    std::filesystem::path archivePath;
};

// Every lookup made through a DataSource that carries the log, in order;
// tools use it to learn which files a load depended on.
struct DataLookupLog {
    std::vector<DataLookup> lookups;
};

// Where loaders find a named data file: a plain file in `directory` first,
// then the entry of that name in the archive `archiveName` (relative names are
// taken inside `directory`). Until an archive is selected there is none, and
// names are looked up on disk only. Copies share `archive`.
struct DataSource {
    std::filesystem::path directory = ".";
    std::string archiveName{kNoFileSelected};
    std::shared_ptr<ArchiveCache> archive = std::make_shared<ArchiveCache>();
    DataLookupLog* log = nullptr;  // when set, readDataFile records each lookup

    // Selects the archive. A name of kArchiveNameSize characters or more
    // does not fit and is refused whole (false, the selection unchanged).
    bool setArchiveName(std::string_view name);
    // One load: every lookup until the Hold is gone reads one archive.
    ArchiveCache::Hold holdArchive() const { return ArchiveCache::Hold(archive); }
    // False while no archive is selected (kNoFileSelected, or no name).
    bool selectsArchive() const { return !archiveName.empty() && archiveName != kNoFileSelected; }
    std::filesystem::path archivePath() const;
};

// Reads a data file, disk first. On success `origin` (if given) says where it
// came from ("disk" or "archive"). nullopt when neither has it; problems
// other than plain absence (a corrupt archive, an entry that does not
// inflate, a name outside the folder, a file on disk that cannot be read) are
// added to diags under the file's name.
//
// On disk, names stay inside `directory`: absolute names and names that climb
// out of it ("../x", "a/../../x") are not read there (a warning). When no
// file has the exact name, a file whose name differs only in ASCII letter
// case is taken, folder by folder; among several the first in byte order.
// The archive keeps its own lookup rule (PackFile::namesMatch).
std::optional<Bytes> readDataFile(const DataSource& source, std::string_view name,
                                  Diagnostics* diags = nullptr, std::string* origin = nullptr);

// What a tool says when a scene or its objects were not found: files are
// looked for in the data folder (`directory`) and its archive, never beside
// the scene, so a scene named with a folder finds none of its objects.
std::string nothingFoundHint(const std::filesystem::path& directory);

// Whether a regular file of that name lies on disk, found as readDataFile
// finds it (inside the folder, letter case ignored when needed).
bool dataFileOnDisk(const DataSource& source, std::string_view name);

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
// Bytes of a whole regular file of at most kMaxEntrySize bytes. A file that
// changes while it is read (it shrinks or grows under the read, or its size
// or times differ afterwards) is refused: "it changed while it was read".
std::optional<Bytes> readWholeFile(const std::filesystem::path& path, ReadFailure* failure = nullptr);
// "1 GiB", or the count of bytes.
std::string describeFileSize(std::int64_t size);

// The permissions of a new data file: 0666 less the process's umask, as
// open() and fopen() give them. Files made by mkstemp start as 0600 and get
// these before they are renamed into place.
std::uint32_t newFileMode();

enum class Replace { Never, Always };
// Writes a new file beside `path` (a temporary name in the same folder,
// flushed) and renames it into place: a failure leaves no partial file, and a
// link at `path` is replaced, never followed. With Replace::Never anything
// already at `path` stays and the call fails with why = "exists".
bool writeFileByRename(const std::filesystem::path& path, std::span<const std::uint8_t> data, Replace replace,
                       std::string& why);

// Renames the finished file `temporary` to `path` (in the same folder) as
// writeFileByRename does; on failure `temporary` is removed.
bool renameIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& path, Replace replace,
                     std::string& why);

// A name read from a data file as a path inside a folder, lexically
// normalised; nullopt when it is absolute, climbs out ("..") or holds a zero.
std::optional<std::filesystem::path> nameInsideFolder(std::string_view name);
// The path inside `folder` whose components equal those of `relative`
// ignoring ASCII letter case (an exact component first, else the first match
// in byte order); nullopt when there is none.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::filesystem::path& relative);

}  // namespace zor
