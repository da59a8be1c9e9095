#pragma once
// What a play folder says about its demo: its title, its author and a short
// description, in the text file "demo-info.txt" beside the scene (on disk or
// in the archive). The player names its window after the title; the page,
// the releases and their read-me files carry all three. A folder without the
// file is the sample demo's kind and keeps the player's own title.
//
// The file is UTF-8 text of "key: value" lines ("title", "author",
// "description"); other lines are ignored, so later keys do not upset older
// readers. Values are one line each, trimmed, without control characters,
// and at most kMaxDemoInfoValue bytes (cut at a character's start).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zor {

inline constexpr std::size_t kMaxDemoInfoValue = 400;
// A longer file is not read past this many bytes.
inline constexpr std::size_t kMaxDemoInfoFile = 64 * 1024;

struct DemoInfo {
    std::string title;
    std::string author;
    std::string description;
    bool empty() const { return title.empty() && author.empty() && description.empty(); }
    bool operator==(const DemoInfo&) const = default;
};

// Reads the file's bytes; never fails (what it cannot use it leaves out).
DemoInfo parseDemoInfo(std::span<const std::uint8_t> bytes);
// The file's text for a record; values are cleaned as parseDemoInfo cleans
// them, so parseDemoInfo(formatDemoInfo(x)) == cleaned x.
std::string formatDemoInfo(const DemoInfo& info);
// One value as the file keeps it: line ends and other control characters
// become spaces, invalid UTF-8 becomes "?", the ends are trimmed and the
// length is cut to kMaxDemoInfoValue.
std::string cleanDemoInfoValue(std::string_view value);
// The main window's title: the demo's title, else the player's own.
std::string windowTitleOf(const DemoInfo& info);

}  // namespace zor
