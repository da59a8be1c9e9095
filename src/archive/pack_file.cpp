// PackFile: reading and building archives.
//
// Layout, from the end of the file: a 15-byte trailer (entry count,
// directory size, compressed directory size, ":-)"), before it the zlib
// block of the directory (48-byte records), before that the data area of
// compressed entries, and before that whatever the file held before it
// became an archive.
//
// The archive file itself is only ever opened for reading. The first change
// copies the leading content and data area into a temporary file beside the
// archive; writing the directory finishes that file, flushes it to disk and
// renames it over the archive. A crash therefore leaves the archive as it was
// before the change or as it is after the directory was written, never half
// way. The finished bytes are those of writing in place.

#include "archive/pack_file.h"

#include "archive/zlib_block.h"
#include "system/files.h"
#include "system/text.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace zor {

namespace sys = system_files;

namespace {

constexpr char kSignature[3] = {':', '-', ')'};
// The smallest zlib stream (header, an empty final block, checksum): every
// entry's block is at least this long.
constexpr std::int64_t kSmallestBlock = 8;

void putLE32(std::uint8_t* p, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::uint8_t>(u);
    p[1] = static_cast<std::uint8_t>(u >> 8);
    p[2] = static_cast<std::uint8_t>(u >> 16);
    p[3] = static_cast<std::uint8_t>(u >> 24);
}

std::int32_t getLE32(const std::uint8_t* p) {
    std::uint32_t u = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                      std::uint32_t{p[3]} << 24;
    return static_cast<std::int32_t>(u);
}

std::string errnoText() { return std::strerror(errno); }

bool readAt(std::FILE* f, std::int64_t offset, void* out, std::size_t size) {
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, size, f) == size;
}

bool writeAt(std::FILE* f, std::int64_t offset, const void* data, std::size_t size) {
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return size == 0 || std::fwrite(data, 1, size, f) == size;
}

// Copies [from, from + size) of src to the current position of dst.
bool copyRange(std::FILE* src, std::int64_t from, std::int64_t size, std::FILE* dst) {
    if (size <= 0) return true;
    if (std::fseek(src, static_cast<long>(from), SEEK_SET) != 0) return false;
    std::vector<char> buffer(std::min<std::int64_t>(size, 1 << 20));
    while (size > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(size, buffer.size()));
        if (std::fread(buffer.data(), 1, n, src) != n) return false;
        if (std::fwrite(buffer.data(), 1, n, dst) != n) return false;
        size -= static_cast<std::int64_t>(n);
    }
    return true;
}

std::string entryName(const PackEntry& e) { return std::string(e.name, strnlen(e.name, sizeof e.name)); }

// Deflate never expands more than about 1032 to 1, so a block claiming more
// is a lie that would otherwise reserve its size before inflating.
bool canInflateTo(std::int64_t packedSize, std::int64_t size) { return size <= packedSize * 1032 + 1032; }

// The data area ends well before the 32-bit offsets do.
constexpr std::int64_t kLargestDataEnd = std::numeric_limits<std::int32_t>::max() - (1 << 20);

// Why an entry of that name and size cannot be stored; empty when it can.
std::string entryProblem(std::string_view name, std::size_t size) {
    if (name.size() > static_cast<std::size_t>(kMaxEntryNameLength))
        return "entry name '" + std::string(name) + "' is longer than 31 characters";
    if (name.find('\0') != std::string_view::npos) return "entry name contains a zero byte";
    if (static_cast<std::int64_t>(size) > kMaxEntrySize) return "'" + std::string(name) + "' is larger than 1 GiB";
    return {};
}

// An entry's block: the bytes at level 9, which must fit in twice their
// size, as the format's writers have always made them; only files of a few
// bytes fail this.
std::optional<Bytes> entryBlock(const Bytes& data, std::string_view name, std::string& why) {
    std::optional<Bytes> block;
    try {
        block = deflateBlock(data, data.size() * 2);
    } catch (const std::bad_alloc&) {
        why = "out of memory compressing '" + std::string(name) + "'";
        return std::nullopt;
    }
    if (!block)
        why = "'" + std::string(name) + "' (" + std::to_string(data.size()) +
              " bytes) does not compress into twice its size; too small to store";
    return block;
}

PackEntry entryFor(std::string_view name, std::int64_t start, const Bytes& block, std::size_t size) {
    PackEntry e;
    std::memcpy(e.name, name.data(), name.size());
    e.start = static_cast<std::int32_t>(start);
    e.compressedSize = static_cast<std::int32_t>(block.size());
    e.end = e.start + e.compressedSize;
    e.uncompressedSize = static_cast<std::int32_t>(size);
    return e;
}

// The compressed directory of `entries` and the trailer after it: the end of
// every archive that has entries.
std::optional<Bytes> directoryAndTrailer(const std::vector<PackEntry>& entries) {
    Bytes records(entries.size() * kPackEntrySize);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint8_t* r = records.data() + i * kPackEntrySize;
        std::memcpy(r, entries[i].name, 32);
        putLE32(r + 32, entries[i].start);
        putLE32(r + 36, entries[i].end);
        putLE32(r + 40, entries[i].uncompressedSize);
        putLE32(r + 44, entries[i].compressedSize);
    }
    std::optional<Bytes> block = deflateBlock(records, deflateBound(records.size()));
    if (!block) return std::nullopt;
    std::uint8_t trailer[kPackTrailerSize];
    putLE32(trailer, static_cast<std::int32_t>(entries.size()));
    putLE32(trailer + 4, static_cast<std::int32_t>(records.size()));
    putLE32(trailer + 8, static_cast<std::int32_t>(block->size()));
    std::memcpy(trailer + 12, kSignature, 3);
    block->insert(block->end(), trailer, trailer + sizeof trailer);
    return block;
}

}  // namespace

PackFile::PackFile(std::string_view fileName) { open(fileName); }

PackFile::~PackFile() { close(); }

void PackFile::reopen(std::string_view fileName) {
    close();
    open(fileName);
}

bool PackFile::fail(std::string message) {
    reason_ = std::move(message);
    error_ = fileName_ + ": " + reason_;
    return false;
}

std::string PackFile::damage() const {
    // A file that could not be opened at all is not damaged, only unreadable.
    if (state_ == State::Corrupt) return file_ ? reason_ : std::string();
    if (state_ == State::Open && exists_ && !trailer_ && dataEnd_ > 0) return "no trailer";
    return {};
}

void PackFile::open(std::string_view fileName) {
    // The whole name, however long: a name the system cannot take fails to
    // open below, rather than naming some other file.
    fileName_ = std::string(fileName);
    path_ = pathFromUtf8(fileName_);
    entries_.clear();
    savedCount_ = 0;
    dataEnd_ = 0;
    error_.clear();
    reason_.clear();
    exists_ = false;
    trailer_ = false;
    state_ = State::Open;

    ReadFailure failure;
    const int fd = fileName_.find('\0') == std::string::npos ? openRegularFile(path_, &failure) : -1;
    if (fd < 0 && failure.error == ENOENT) return;  // an empty archive; nothing is created until a write
    if (fd >= 0) file_ = fdopen(fd, "rb");
    if (!file_) {
        if (fd >= 0) sys::closeFile(fd);
        exists_ = failure.error != ENOENT;
        state_ = State::Corrupt;
        fail(fd >= 0 ? "cannot open: " + errnoText()
                     : failure.reason.empty() ? std::string("the name holds a zero byte") : failure.reason);
        return;
    }
    exists_ = true;
    if (!index()) {
        // A refused directory leaves no half-checked records to be listed.
        entries_.clear();
        state_ = State::Corrupt;
    }
}

bool PackFile::index() {
    if (std::fseek(file_, 0, SEEK_END) != 0) return fail("cannot seek: " + errnoText());
    const std::int64_t size = std::ftell(file_);
    if (size < 0) return fail("cannot tell its size: " + errnoText());

    std::uint8_t sig[3] = {};
    if (size < 3 || !readAt(file_, size - 3, sig, 3) || std::memcmp(sig, kSignature, 3) != 0) {
        // No signature: plain content, entries will follow it.
        dataEnd_ = size;
        return true;
    }
    trailer_ = true;
    if (size < kPackTrailerSize) return fail("trailer is truncated (file has " + std::to_string(size) + " bytes)");

    std::uint8_t trailer[kPackTrailerSize];
    if (!readAt(file_, size - kPackTrailerSize, trailer, sizeof trailer)) return fail("cannot read the trailer");
    const std::int32_t count = getLE32(trailer);
    const std::int32_t dirSize = getLE32(trailer + 4);
    const std::int32_t packedSize = getLE32(trailer + 8);

    if (count < 0) return fail("trailer gives a negative entry count (" + std::to_string(count) + ")");
    if (std::int64_t{dirSize} != std::int64_t{count} * kPackEntrySize)
        return fail("directory size " + std::to_string(dirSize) + " is not " + std::to_string(count) +
                    " entries of 48 bytes");
    if (packedSize <= 0 || packedSize > size - kPackTrailerSize)
        return fail("compressed directory size " + std::to_string(packedSize) + " does not fit in the file");
    if (!canInflateTo(packedSize, dirSize))
        return fail("directory of " + std::to_string(dirSize) + " bytes cannot come from a block of " +
                    std::to_string(packedSize));

    const std::int64_t dirStart = size - kPackTrailerSize - packedSize;
    // Entries' blocks lie before the directory, each at least a few bytes, so
    // a sound directory lists at most one entry per 8 bytes there. A small
    // block can inflate to millions of records; such a directory is refused
    // before it is inflated.
    if (std::int64_t{count} * kSmallestBlock > dirStart)
        return fail(std::to_string(count) + " entries are out of proportion to the " + std::to_string(dirStart) +
                    " bytes before the directory (at most one entry per " + std::to_string(kSmallestBlock) +
                    " bytes)");
    Bytes packed(static_cast<std::size_t>(packedSize));
    if (!readAt(file_, dirStart, packed.data(), packed.size())) return fail("cannot read the directory");
    std::string why;
    std::optional<Bytes> dir = inflateBlock(packed, dirSize, why);
    if (!dir) return fail("directory: " + why);

    entries_.resize(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* r = dir->data() + std::size_t(i) * kPackEntrySize;
        PackEntry& e = entries_[static_cast<std::size_t>(i)];
        std::memcpy(e.name, r, sizeof e.name);
        e.start = getLE32(r + 32);
        e.end = getLE32(r + 36);
        e.uncompressedSize = getLE32(r + 40);
        e.compressedSize = getLE32(r + 44);
        const std::string where = "directory entry " + std::to_string(i);
        if (std::memchr(e.name, 0, sizeof e.name) == nullptr) return fail(where + ": name has no terminator");
        if (e.start < 0 || e.compressedSize < 0 || std::int64_t{e.end} != std::int64_t{e.start} + e.compressedSize)
            return fail(where + " (" + entryName(e) + "): start " + std::to_string(e.start) + ", end " +
                        std::to_string(e.end) + " and compressed size " + std::to_string(e.compressedSize) +
                        " disagree");
        if (e.end > dirStart)
            return fail(where + " (" + entryName(e) + "): block ends at " + std::to_string(e.end) +
                        ", past the data area (" + std::to_string(dirStart) + ")");
        if (e.uncompressedSize < 0 || e.uncompressedSize > kMaxEntrySize)
            return fail(where + " (" + entryName(e) + "): implausible size " + std::to_string(e.uncompressedSize));
        if (!canInflateTo(e.compressedSize, e.uncompressedSize))
            return fail(where + " (" + entryName(e) + "): " + std::to_string(e.uncompressedSize) +
                        " bytes cannot come from a block of " + std::to_string(e.compressedSize));
    }
    dataEnd_ = dirStart;
    savedCount_ = count;
    return true;
}

void PackFile::close() {
    if (state_ == State::Open) flush();
    discardWorkFile();
    if (file_) std::fclose(file_);
    file_ = nullptr;
    entries_.clear();
    savedCount_ = 0;
    dataEnd_ = 0;
    state_ = State::NoFile;
}

int PackFile::namesMatch(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int x = static_cast<signed char>(a[i]);
        const int y = static_cast<signed char>(b[i]);
        if (x != y && x != y + 32 && y != x + 32) return 1;
    }
    return 0;
}

int PackFile::findEntry(std::string_view name) const {
    if (state_ != State::Open) return -1;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (namesMatch(entryName(entries_[i]), name) == 0) return static_cast<int>(i);
    return -1;
}

std::optional<Bytes> PackFile::readEntry(std::string_view name) {
    if (state_ == State::Corrupt) return std::nullopt;  // error_ already says why
    const int i = findEntry(name);
    if (i < 0) {
        fail("no entry named '" + std::string(name) + "'");
        return std::nullopt;
    }
    return readEntryAt(i);
}

std::optional<Bytes> PackFile::readEntryAt(int i) {
    if (state_ != State::Open || i < 0 || i >= entryCount()) {
        fail("no entry number " + std::to_string(i));
        return std::nullopt;
    }
    const PackEntry& e = entries_[static_cast<std::size_t>(i)];
    Bytes packed;
    try {
        packed.resize(static_cast<std::size_t>(e.compressedSize));
    } catch (const std::bad_alloc&) {
        fail("entry '" + entryName(e) + "': out of memory");
        return std::nullopt;
    }
    if (!readAt(reader(), e.start, packed.data(), packed.size())) {
        fail("entry '" + entryName(e) + "': cannot read its " + std::to_string(e.compressedSize) + " bytes at offset " +
             std::to_string(e.start));
        return std::nullopt;
    }
    std::string why;
    std::optional<Bytes> data = inflateBlock(packed, e.uncompressedSize, why);
    if (!data) fail("entry '" + entryName(e) + "': " + why);
    return data;
}

bool PackFile::beginWrite() {
    if (work_) return true;
    if (!createWorkFile()) return false;
    if (file_ && !copyRange(file_, 0, dataEnd_, work_)) {
        discardWorkFile();
        return fail("cannot copy the archive into a temporary file: " + errnoText());
    }
    return true;
}

bool PackFile::createWorkFile() {
    if (state_ == State::NoFile) return fail("no archive selected");
    if (state_ == State::Corrupt) {
        std::string why = error_;
        error_ = "refusing to change a damaged archive: " + why;
        return false;
    }
    std::filesystem::path pattern = path_;
    pattern += ".tmp.XXXXXX";
    int error = 0;
    int fd = sys::makeTemporary(pattern, error);
    if (fd < 0) return fail("cannot create a temporary file beside it: " + sys::reasonFor(error));
    // The finished archive keeps the old file's permissions (or the usual ones
    // for a new file), not a temporary file's private 0600.
    sys::FileStatus st;
    const bool known = file_ && sys::statusOf(fileno(file_), st, error);
    sys::setPermissions(fd, known ? st.permissions : newFileMode());
    work_ = fdopen(fd, "w+b");
    if (!work_) {
        sys::closeFile(fd);
        sys::removeFile(pattern);
        return fail("cannot open the temporary file: " + errnoText());
    }
    workName_ = pattern;
    return true;
}

void PackFile::discardWorkFile() {
    if (!work_) return;
    std::fclose(work_);
    sys::removeFile(workName_);
    work_ = nullptr;
    workName_.clear();
}

bool PackFile::addFile(const std::filesystem::path& path, std::string_view name) {
    ReadFailure failure;
    std::optional<Bytes> data = readWholeFile(path, &failure);
    if (!data) return fail("cannot read '" + utf8Of(path) + "': " + failure.reason);
    return addData(*data, name);
}

bool PackFile::addData(const Bytes& data, std::string_view name) {
    if (std::string problem = entryProblem(name, data.size()); !problem.empty()) return fail(problem);
    if (state_ != State::Open) return createWorkFile();

    std::string why;
    const std::optional<Bytes> block = entryBlock(data, name, why);
    if (!block) return fail(why);
    if (dataEnd_ + static_cast<std::int64_t>(block->size()) > kLargestDataEnd) return fail("archive would grow past 2 GiB");
    if (!beginWrite()) return false;
    if (!writeAt(work_, dataEnd_, block->data(), block->size()))
        return fail("cannot write '" + std::string(name) + "' to the temporary file: " + errnoText());
    entries_.push_back(entryFor(name, dataEnd_, *block, data.size()));
    dataEnd_ = entries_.back().end;
    return true;
}

std::optional<Bytes> packArchive(const std::vector<NamedBytes>& files, std::string& why) {
    Bytes out;
    std::vector<PackEntry> entries;
    for (const NamedBytes& f : files) {
        if (std::string problem = entryProblem(f.name, f.bytes.size()); !problem.empty()) {
            why = problem;
            return std::nullopt;
        }
        const std::optional<Bytes> block = entryBlock(f.bytes, f.name, why);
        if (!block) return std::nullopt;
        const auto start = static_cast<std::int64_t>(out.size());
        if (start + static_cast<std::int64_t>(block->size()) > kLargestDataEnd) {
            why = "archive would grow past 2 GiB";
            return std::nullopt;
        }
        out.insert(out.end(), block->begin(), block->end());
        entries.push_back(entryFor(f.name, start, *block, f.bytes.size()));
    }
    if (!entries.empty()) {
        const std::optional<Bytes> end = directoryAndTrailer(entries);
        if (!end) {
            why = "cannot compress the directory";
            return std::nullopt;
        }
        out.insert(out.end(), end->begin(), end->end());
    }
    return out;
}

bool PackFile::removeEntry(std::string_view name) {
    if (state_ != State::Open) return createWorkFile();
    const int i = findEntry(name);
    if (i < 0) return fail("no entry named '" + std::string(name) + "'");
    return dropEntry(i) && commit();
}

bool PackFile::dropEntry(int i) {
    if (state_ != State::Open) return createWorkFile();
    if (i < 0 || i >= entryCount()) return fail("no entry number " + std::to_string(i));
    const PackEntry removed = entries_[static_cast<std::size_t>(i)];

    // The file without the block: bytes before it and the data area after it,
    // taken from the pending copy when there is one.
    std::FILE* src = work_ ? work_ : file_;
    std::FILE* pending = work_;
    std::filesystem::path pendingName = workName_;
    work_ = nullptr;
    if (!createWorkFile()) {
        work_ = pending;
        workName_ = pendingName;
        return false;
    }
    if (src && (!copyRange(src, 0, removed.start, work_) ||
                !copyRange(src, removed.end, dataEnd_ - removed.end, work_))) {
        discardWorkFile();
        work_ = pending;
        workName_ = pendingName;
        return fail("cannot write the temporary file: " + errnoText());
    }
    if (pending) {
        std::fclose(pending);
        sys::removeFile(pendingName);
    }

    entries_.erase(entries_.begin() + i);
    // Blocks that lay after the removed one move down by its size.
    for (PackEntry& e : entries_) {
        if (e.start >= removed.end) {
            e.start -= removed.compressedSize;
            e.end -= removed.compressedSize;
        }
    }
    dataEnd_ -= removed.compressedSize;
    savedCount_ = -1;  // the directory is stale
    return true;
}

void PackFile::discardChanges() {
    if (state_ != State::Open || (!work_ && static_cast<int>(entries_.size()) == savedCount_)) return;
    discardWorkFile();
    if (file_) std::fclose(file_);
    file_ = nullptr;
    const std::string name = fileName_;
    open(name);
}

bool PackFile::flush() {
    if (state_ != State::Open) return state_ == State::NoFile;
    if (!work_ && static_cast<int>(entries_.size()) == savedCount_) return true;
    if (!beginWrite()) return false;
    return commit();
}

bool PackFile::commit() {
    // Directory and trailer at the end of the data area; an archive without
    // entries is just its leading content.
    if (!entries_.empty()) {
        const std::optional<Bytes> end = directoryAndTrailer(entries_);
        if (!end) return fail("cannot compress the directory");
        if (!writeAt(work_, dataEnd_, end->data(), end->size()))
            return fail("cannot write the directory: " + errnoText());
    }
    const std::int64_t end = entries_.empty() ? dataEnd_ : std::ftell(work_);
    int error = 0;
    if (std::fflush(work_) != 0) return fail("cannot flush the temporary file: " + errnoText());
    if (!sys::truncateFile(fileno(work_), end, error) || !sys::syncFile(fileno(work_), error))
        return fail("cannot flush the temporary file: " + sys::reasonFor(error));
    // The old archive is let go first: some systems replace no file that is
    // open. The new one is read from the temporary file meanwhile.
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!sys::replaceFile(workName_, path_, error))
        return fail("cannot replace the archive with the new version: " + sys::reasonFor(error));
    // Make the rename itself durable.
    sys::syncFolder(path_.parent_path());
    file_ = work_;
    work_ = nullptr;
    workName_.clear();
    exists_ = true;
    savedCount_ = static_cast<int>(entries_.size());
    return true;
}

}  // namespace zor
