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
// The same bytes can also be made in memory (packArchive), for a tool that
// carries an archive inside another file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/disk_files.h"

namespace zor {

inline constexpr int kPackEntrySize = 48;
inline constexpr int kPackTrailerSize = 15;
inline constexpr int kMaxEntryNameLength = 31;
// Entries claiming more than this are refused, so a lying size cannot
// exhaust memory: the largest file that is read whole.
inline constexpr std::int64_t kMaxEntrySize = kMaxWholeFileSize;

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

// A named file's bytes: an archive entry, or a file of a play folder.
struct NamedBytes {
    std::string name;
    Bytes bytes;
};

// The bytes of a new archive holding `files` in order: what PackFile writes
// when they are added to a new, empty file. nullopt with `why` set when one
// cannot be stored (its name, its size, a block too small to store).
std::optional<Bytes> packArchive(const std::vector<NamedBytes>& files, std::string& why);

class PackFile {
public:
    // On no file at all: nothing to read, nothing written.
    PackFile() = default;
    // The file's name in UTF-8 (from utf8Of for a path).
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
    // Why a file that opened cannot be read as an archive, without the
    // file's name: the reason it is corrupt, "no trailer" for content that
    // does not end in one; "" for a usable archive (an empty or missing file
    // included) and for one that could not be opened (error() says why).
    std::string damage() const;
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

    std::string fileName_;          // as given (UTF-8), for messages
    std::filesystem::path path_;    // the same, for the system
    State state_ = State::NoFile;
    bool exists_ = false;
    bool trailer_ = false;
    int savedCount_ = 0;            // entry count at the last directory read or write
    std::int64_t dataEnd_ = 0;
    std::vector<PackEntry> entries_;
    std::FILE* file_ = nullptr;     // the archive, read-only
    std::FILE* work_ = nullptr;     // temporary copy being written, if any
    std::filesystem::path workName_;
    std::string error_;
    std::string reason_;  // error_ without the file's name
};

}  // namespace zor
