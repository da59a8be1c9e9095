#pragma once
// Why a file on disk cannot serve as a data file, for messages that say more
// than "not found".

#include <filesystem>
#include <string>

namespace zor {

// "is a folder", "is not a regular file", "is larger than the limit of N
// bytes", or the system's reason for refusing to open it ("permission
// denied"); empty when the file is readable or does not exist at all.
std::string diskFileProblem(const std::filesystem::path& path);

}  // namespace zor
