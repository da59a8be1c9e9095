#include "archive/file_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "archive/archive.h"

namespace zor {

namespace {

std::string systemReason(int error) {
    std::string text = std::strerror(error);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

std::string diskFileProblem(const std::filesystem::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? std::string() : systemReason(errno);
    if (S_ISDIR(st.st_mode)) return "is a folder";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    if (st.st_size > kMaxEntrySize) return "is larger than the limit of " + std::to_string(kMaxEntrySize) + " bytes";
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    close(fd);
    return {};
}

}  // namespace zor
