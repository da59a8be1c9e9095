#pragma once
// The texts of an author's Windows release: the folder's name, README.txt
// (Windows line ends) and FILE_ID.DIZ (the description boards and party
// archives show: ASCII, at most kDizColumns columns and kDizLines lines).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scene/demo_info.h"

namespace zor::publish {

inline constexpr std::size_t kDizColumns = 45;
inline constexpr std::size_t kDizLines = 10;

// UTF-8 text as ASCII: Latin letters with marks lose them ("é" "e", "ß"
// "ss", "Æ" "AE"), typographic quotes and dashes become plain ones, other
// characters that are not ASCII go; control characters become spaces.
std::string asciiFolded(std::string_view text);

// A folder name every system takes: the title folded to ASCII, without the
// characters Windows refuses (<>:"/\|?*), spaces and dots trimmed from the
// ends, at most 64 characters, a device name (CON, NUL, COM1...) followed by
// "_"; `fallback` when nothing is left of it.
std::string safeFolderName(std::string_view title, const std::string& fallback);

// `text` in lines of at most `width` columns, broken between words (a word
// longer than a line is cut).
std::vector<std::string> wrapped(std::string_view text, std::size_t width);

// README.txt of an author's release: title, author and description, how to
// start it, the keys, the flags and the music back ends; CR LF line ends.
std::string authorReadme(const DemoInfo& info, const std::string& folderName, std::string_view version);

// FILE_ID.DIZ: title, "by" author and the description, ASCII, CR LF line
// ends.
std::string fileIdDiz(const DemoInfo& info, const std::string& folderName);

}  // namespace zor::publish
