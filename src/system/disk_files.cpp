// Whole files on disk: reading without ever blocking, writing by rename,
// temporary files, and where a name read from a data file may be looked for.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "system/disk_files.h"
#include "system/files.h"
#include "system/text.h"

namespace zor {

namespace fs = std::filesystem;
namespace sys = system_files;

namespace {

std::string reasonFor(int error) { return sys::reasonFor(error); }

std::string kindOf(sys::FileKind kind) {
    switch (kind) {
    case sys::FileKind::Folder: return "is a folder";
    case sys::FileKind::Fifo: return "is a FIFO, not a regular file";
    case sys::FileKind::Device: return "is a device, not a regular file";
    case sys::FileKind::Socket: return "is a socket, not a regular file";
    default: return "is not a regular file";
    }
}

bool fail(ReadFailure* failure, int error, std::string reason) {
    if (failure) *failure = {error, std::move(reason)};
    return false;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace

std::string describeFileSize(std::int64_t limit) {
    if (limit % (std::int64_t{1} << 30) == 0) return std::to_string(limit >> 30) + " GiB";
    return std::to_string(limit) + " bytes";
}

int openRegularFile(const fs::path& path, ReadFailure* failure) {
    int error = 0;
    const int fd = sys::openForReading(path, error);
    if (fd < 0) {
        fail(failure, error, reasonFor(error));
        return -1;
    }
    sys::FileStatus st;
    if (!sys::statusOf(fd, st, error) || st.kind != sys::FileKind::Regular) {
        const std::string why = st.kind == sys::FileKind::Regular ? reasonFor(error) : kindOf(st.kind);
        sys::closeFile(fd);
        fail(failure, 0, why);
        return -1;
    }
    return fd;
}

std::optional<Bytes> readWholeFile(const fs::path& path, ReadFailure* failure) {
    const int fd = openRegularFile(path, failure);
    if (fd < 0) return std::nullopt;
    std::optional<Bytes> out;
    sys::FileStatus before;
    int statusError = 0;
    if (!sys::statusOf(fd, before, statusError)) {
        fail(failure, statusError, reasonFor(statusError));
    } else if (before.size > kMaxWholeFileSize) {
        fail(failure, 0,
             "larger than the limit of " + describeFileSize(kMaxWholeFileSize) + " (" + std::to_string(before.size) +
                 " bytes)");
    } else {
        // The size the status gives is only what the file held when it was
        // opened: a file written in place can shrink or grow under the read.
        // The read goes on to the end of the file (one byte past the size
        // shows growth), and the bytes are taken only when they are as many
        // as the size said and the file's size and times are the same after
        // as before; anything else is a file still being written.
        try {
            const auto size = static_cast<std::size_t>(before.size);
            Bytes data(size + 1);
            std::size_t done = 0;
            int readError = 0;
            while (done < data.size()) {
                const long long n = sys::readSome(fd, data.data() + done, data.size() - done, readError);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            sys::FileStatus after;
            const bool same = sys::statusOf(fd, after, statusError) && after.size == before.size &&
                              after.modified == before.modified && after.modifiedNs == before.modifiedNs &&
                              after.changed == before.changed && after.changedNs == before.changedNs;
            if (readError) {
                fail(failure, readError, "cannot read it: " + reasonFor(readError));
            } else if (done != size || !same) {
                fail(failure, 0,
                     "it changed while it was read (" + std::to_string(size) + " bytes when opened, " +
                         (done > size ? "more" : std::to_string(done)) + " read" +
                         (same || done != size ? "" : ", then rewritten") + "); it may still be being written");
            } else {
                data.resize(size);
                out = std::move(data);
            }
        } catch (const std::bad_alloc&) {
            fail(failure, ENOMEM, "out of memory for " + std::to_string(before.size) + " bytes");
        }
    }
    sys::closeFile(fd);
    return out;
}

std::uint32_t newFileMode() { return sys::newFileMode(); }

std::string WriteFailure::describe(const fs::path& path, std::string_view replaceFlag) const {
    if (exists()) return utf8Of(path) + ": already exists (" + std::string(replaceFlag) + " replaces it)";
    return utf8Of(path) + ": " + reason;
}

namespace {

bool failWrite(WriteFailure& failure, std::string reason) {
    failure = {WriteFailure::Kind::Failed, std::move(reason)};
    return false;
}

fs::path folderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

}  // namespace

TemporaryFile::~TemporaryFile() {
    close();
    if (!path_.empty()) sys::removeFile(path_);
}

void TemporaryFile::close() {
    if (fd_ >= 0) sys::closeFile(fd_);
    fd_ = -1;
}

bool TemporaryFile::create(const fs::path& prefix, WriteFailure& failure, std::string_view suffix) {
    fs::path pattern = prefix;
    pattern += "XXXXXX";
    pattern += pathFromUtf8(suffix).native();
    int error = 0;
    fd_ = sys::makeTemporary(pattern, error, pathFromUtf8(suffix).native().size());
    if (fd_ < 0)
        return failWrite(failure,
                         "cannot create a temporary file in " + utf8Of(folderOf(prefix)) + ": " + reasonFor(error));
    path_ = pattern;
    return true;
}

bool TemporaryFile::write(std::span<const std::uint8_t> data, WriteFailure& failure) {
    std::size_t done = 0;
    while (done < data.size()) {
        int error = 0;
        const long long n = sys::writeSome(fd_, data.data() + done, data.size() - done, error);
        if (n <= 0) return failWrite(failure, "cannot write: " + reasonFor(n < 0 ? error : ENOSPC));
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TemporaryFile::finish(WriteFailure& failure) {
    int error = 0;
    sys::setPermissions(fd_, newFileMode());
    if (!sys::syncFile(fd_, error)) return failWrite(failure, "cannot write: " + reasonFor(error));
    const int closeError = sys::closeFile(fd_);
    fd_ = -1;
    if (closeError != 0) return failWrite(failure, "cannot write: " + reasonFor(closeError));
    return true;
}

void TemporaryFile::release() {
    close();
    path_.clear();
}

TemporaryFolder::~TemporaryFolder() { remove(); }

bool TemporaryFolder::create(std::string_view prefix, WriteFailure& failure) {
    remove();
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return failWrite(failure, "cannot find the folder for temporary files: " + ec.message());
    fs::path pattern = base / pathFromUtf8(std::string(prefix) + "XXXXXX");
    int error = 0;
    if (!sys::makeTemporaryFolder(pattern, error))
        return failWrite(failure, "cannot create a temporary folder in " + utf8Of(base) + ": " + reasonFor(error));
    path_ = pattern;
    return true;
}

void TemporaryFolder::remove() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
    path_.clear();
}

bool writeFileByRename(const fs::path& path, std::span<const std::uint8_t> data, Replace replace,
                       WriteFailure& failure) {
    TemporaryFile file;
    fs::path prefix = folderOf(path) / ".";
    prefix += path.filename();
    prefix += ".";
    if (!file.create(prefix, failure) || !file.write(data, failure) || !file.finish(failure)) return false;
    const fs::path temporary = file.path();
    file.release();  // renameIntoPlace removes it on failure
    return renameIntoPlace(temporary, path, replace, failure);
}

bool renameIntoPlace(const fs::path& temporary, const fs::path& path, Replace replace, WriteFailure& failure) {
    int error = 0;
    if (replace == Replace::Always) {
        if (sys::replaceFile(temporary, path, error)) return true;
    } else {
        // Never replaces: fails when anything is at `path`.
        if (sys::renameNoReplace(temporary, path, error)) return true;
        if (error == EEXIST) {
            sys::removeFile(temporary);
            failure = {WriteFailure::Kind::Exists, "already exists"};
            return false;
        }
    }
    sys::removeFile(temporary);
    return failWrite(failure, "cannot put it in place: " + reasonFor(error));
}

std::optional<fs::path> nameInsideFolder(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    const fs::path path = pathFromUtf8(name);
    if (path.has_root_path()) return std::nullopt;
    fs::path normal = path.lexically_normal();
    if (!normal.empty() && *normal.begin() == "..") return std::nullopt;
    return normal;
}

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const fs::path& relative) {
    fs::path current = folder;
    for (const fs::path& part : relative) {
        const std::string wanted = utf8Of(part);
        if (wanted.empty() || wanted == ".") continue;
        std::error_code ec;
        if (fs::exists(current / part, ec)) {
            current /= part;
            continue;
        }
        std::optional<std::string> best;
        for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec)) {
            std::string candidate = utf8Of(it->path().filename());
            if (sameIgnoringCase(candidate, wanted) && (!best || candidate < *best)) best = std::move(candidate);
        }
        if (!best) return std::nullopt;
        current /= pathFromUtf8(*best);
    }
    return current;
}

}  // namespace zor
