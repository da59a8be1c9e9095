#include "archive/file_problem.h"

#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive.h"

namespace zor {

std::string diskFileProblem(const std::filesystem::path& path) {
    ReadFailure failure;
    const int fd = openRegularFile(path, &failure);
    if (fd < 0) {
        if (failure.missing()) return {};
        // The kinds of file read as a phrase ("is a folder"); the system's
        // reasons ("permission denied") do not.
        return failure.error == 0 ? failure.reason : "cannot be opened (" + failure.reason + ")";
    }
    struct stat st {};
    const bool tooLarge = fstat(fd, &st) == 0 && st.st_size > kMaxEntrySize;
    ::close(fd);
    return tooLarge ? "is larger than the limit of " + describeFileSize(kMaxEntrySize) : std::string();
}

}  // namespace zor
