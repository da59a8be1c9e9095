// The writers' lock of an archive and the clean-up of what killed writers
// left behind.

#include <cerrno>
#include <cstring>

#include "archive/pack_file.h"
#include "archive/archive_lock.h"
#include "system/files.h"
#include "system/text.h"

namespace zor {

namespace fs = std::filesystem;
namespace sys = system_files;

ArchiveLock::~ArchiveLock() {
    if (fd_ < 0) return;
    // Removed while still held: a writer waiting on this file finds, once it
    // has the lock, that the name no longer leads to it, and starts over on
    // a new one (acquire), so no two writers ever hold locks at once. (Where
    // the system keeps an open file from going, it stays until a later
    // writer removes it.)
    sys::removeFile(lockFileOf(archive_));
    sys::closeFile(fd_);  // closing releases the lock
}

fs::path ArchiveLock::lockFileOf(const fs::path& archive) { return fs::path(archive) += ".lock"; }

bool ArchiveLock::acquire(const fs::path& archive, bool wait) {
    archive_ = archive;
    const fs::path lockFile = lockFileOf(archive);
    // The lock counts only while the name leads to the file locked: the
    // holder before us may have removed it when it finished.
    for (;;) {
        int error = 0;
        fd_ = sys::openLockFile(lockFile, error);
        if (fd_ < 0) {
            const fs::path folder = archive.parent_path().empty() ? fs::path(".") : archive.parent_path();
            std::error_code ec;
            error_ = error == ENOENT && !fs::is_directory(folder, ec)
                         ? utf8Of(archive) + ": the folder " + utf8Of(folder) + " does not exist"
                         : utf8Of(lockFile) + ": cannot open the lock file: " + std::strerror(error);
            return false;
        }
        sys::FileStatus st;
        if (!sys::statusOf(fd_, st, error) || st.kind != sys::FileKind::Regular) {
            error_ = utf8Of(lockFile) + ": the lock file is not a regular file";
            sys::closeFile(fd_);
            fd_ = -1;
            return false;
        }
        bool busy = false;
        if (!sys::lockExclusive(fd_, wait, busy, error)) {
            error_ = busy ? utf8Of(archive) + ": another program is changing it (it holds " + utf8Of(lockFile) +
                                "); nothing was changed"
                          : utf8Of(lockFile) + ": cannot lock: " + std::strerror(error);
            sys::closeFile(fd_);
            fd_ = -1;
            return false;
        }
        sys::FileStatus named;
        if (sys::statusOf(lockFile, named) && named.device == st.device && named.inode == st.inode) return true;
        sys::closeFile(fd_);  // a file its holder removed: the lock is on the new one
        fd_ = -1;
    }
}

int ArchiveLock::removeStaleTemporaries() const {
    if (fd_ < 0) return 0;
    // PackFile's temporary copies are "NAME.tmp." and six characters; with
    // the lock held no other writer is making one.
    const std::string prefix = utf8Of(archive_.filename()) + ".tmp.";
    const fs::path folder = archive_.has_parent_path() ? archive_.parent_path() : fs::path(".");
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = utf8Of(it->path().filename());
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::error_code kind;
        if (!it->is_regular_file(kind) || it->is_symlink(kind)) continue;
        if (fs::remove(it->path(), kind)) ++removed;
    }
    return removed;
}

}  // namespace zor
