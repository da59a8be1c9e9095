// Files on disk: reading without ever blocking, writing by rename, and where
// a name read from a data file may be looked for.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "archive/archive.h"

namespace zor {

namespace fs = std::filesystem;

namespace {

// The system's text for an error number, starting in lower case to read as
// part of a sentence ("permission denied").
std::string reasonFor(int error) {
    if (error == ENOENT) return "no such file";
    if (error == EISDIR) return "is a folder";
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder";
    if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
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
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail(failure, error, reasonFor(error));
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = S_ISREG(st.st_mode) ? reasonFor(errno) : kindOf(st.st_mode);
        ::close(fd);
        fail(failure, 0, why);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<Bytes> readWholeFile(const fs::path& path, ReadFailure* failure) {
    const int fd = openRegularFile(path, failure);
    if (fd < 0) return std::nullopt;
    std::optional<Bytes> out;
    struct stat before {};
    if (fstat(fd, &before) != 0) {
        fail(failure, errno, reasonFor(errno));
    } else if (before.st_size > kMaxEntrySize) {
        fail(failure, 0,
             "larger than the limit of " + describeFileSize(kMaxEntrySize) + " (" + std::to_string(before.st_size) +
                 " bytes)");
    } else {
        // The size fstat gives is only what the file held when it was
        // opened: a file written in place can shrink or grow under the read.
        // The read goes on to the end of the file (one byte past the size
        // shows growth), and the bytes are taken only when they are as many
        // as the size said and the file's size and times are the same after
        // as before; anything else is a file still being written.
        try {
            const auto size = static_cast<std::size_t>(before.st_size);
            Bytes data(size + 1);
            std::size_t done = 0;
            int readError = 0;
            while (done < data.size()) {
                const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) readError = errno;
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            struct stat after {};
            const bool same = fstat(fd, &after) == 0 && after.st_size == before.st_size &&
                              after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                              after.st_mtim.tv_nsec == before.st_mtim.tv_nsec &&
                              after.st_ctim.tv_sec == before.st_ctim.tv_sec &&
                              after.st_ctim.tv_nsec == before.st_ctim.tv_nsec;
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
            fail(failure, ENOMEM, "out of memory for " + std::to_string(before.st_size) + " bytes");
        }
    }
    ::close(fd);
    return out;
}

std::uint32_t newFileMode() {
    // Reading the mask means setting it; the tools write from one thread.
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeFileByRename(const fs::path& path, std::span<const std::uint8_t> data, Replace replace, std::string& why) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        why = "cannot create a temporary file in " + folder.string() + ": " + reasonFor(errno);
        return false;
    }
    fchmod(fd, static_cast<mode_t>(newFileMode()));
    auto giveUp = [&](std::string reason) {
        ::close(fd);
        ::unlink(temporary.c_str());
        why = std::move(reason);
        return false;
    };
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return giveUp("cannot write: " + reasonFor(errno));
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) return giveUp("cannot write: " + reasonFor(errno));
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        why = "cannot write: " + reasonFor(error);
        return false;
    }
    return renameIntoPlace(temporary, path, replace, why);
}

bool renameIntoPlace(const fs::path& temporary, const fs::path& path, Replace replace, std::string& why) {
    if (replace == Replace::Always) {
        // A link at `path` is replaced, not followed.
        if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    } else {
        // Never replaces: fails when anything is at `path`. Where the file
        // system cannot rename that way, link() does the same.
#ifdef RENAME_NOREPLACE
        if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
#else
        errno = ENOSYS;  // no renameat2 here (WebAssembly's libc)
#endif
        if ((errno == EINVAL || errno == ENOSYS) && ::link(temporary.c_str(), path.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return true;
        }
        if (errno == EEXIST) {
            ::unlink(temporary.c_str());
            why = "exists";
            return false;
        }
    }
    const int error = errno;
    ::unlink(temporary.c_str());
    why = "cannot put it in place: " + reasonFor(error);
    return false;
}

std::optional<fs::path> nameInsideFolder(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    const fs::path path{std::string(name)};
    if (path.has_root_path()) return std::nullopt;
    fs::path normal = path.lexically_normal();
    if (!normal.empty() && *normal.begin() == "..") return std::nullopt;
    return normal;
}

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const fs::path& relative) {
    fs::path current = folder;
    for (const fs::path& part : relative) {
        const std::string wanted = part.string();
        if (wanted.empty() || wanted == ".") continue;
        std::error_code ec;
        if (fs::exists(current / part, ec)) {
            current /= part;
            continue;
        }
        std::optional<std::string> best;
        for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec)) {
            std::string candidate = it->path().filename().string();
            if (sameIgnoringCase(candidate, wanted) && (!best || candidate < *best)) best = std::move(candidate);
        }
        if (!best) return std::nullopt;
        current /= *best;
    }
    return current;
}

}  // namespace zor
