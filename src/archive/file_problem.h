#pragma once
// Why a file on disk cannot serve as a data file, for messages that say more
// than "not found".

#include <filesystem>
#include <string>

namespace zor {

// Read as "the file ...": "is a folder", "is a FIFO, not a regular file",
// "is larger than the limit of 1 GiB", or "cannot be opened (permission
// denied)"; empty when the file is readable or does not exist at all.
std::string diskFileProblem(const std::filesystem::path& path);

}  // namespace zor
