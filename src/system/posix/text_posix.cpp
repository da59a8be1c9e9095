// Paths on POSIX systems are bytes, and ours are UTF-8 already: a name read
// from an old data file in another encoding still names its file.

#include "system/text.h"

namespace zor {

std::filesystem::path pathFromUtf8(std::string_view text) { return std::filesystem::path(std::string(text)); }

std::string utf8Of(const std::filesystem::path& path) { return path.native(); }

std::string genericUtf8Of(const std::filesystem::path& path) { return path.generic_string(); }

}  // namespace zor
