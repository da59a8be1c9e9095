#pragma once
#include <filesystem>
#include <string>

namespace zor {

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

}  // namespace zor
