#include "archive/file_problem.h"

#include "archive/pack_file.h"
#include "system/files.h"

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
    system_files::FileStatus st;
    int error = 0;
    const bool tooLarge = system_files::statusOf(fd, st, error) && st.size > kMaxEntrySize;
    system_files::closeFile(fd);
    return tooLarge ? "is larger than the limit of " + describeFileSize(kMaxEntrySize) : std::string();
}

}  // namespace zor
