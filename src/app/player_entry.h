#pragma once
// What every platform's entry (main on Linux, wWinMain on Windows) does
// before the player's own start-up, written once: the command line, --help
// and --version, --dir, the words the player does not understand, the check
// that there is something to play and that the archive is not damaged (before
// the set-up window, which would otherwise come up only to fail after it),
// and the out-of-memory text. The platform gives where text goes and the
// parts it plays with.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"

namespace zor {

// The player's --help, on every platform.
extern const char* const kPlayerUsage;

struct PlayerEntry {
    // Text asked for (--help, --version), where the user sees it.
    std::function<void(std::string_view text)> show;
    // A failure, where it is read: "zor: TEXT" on standard error, and a
    // message box where no one reads that.
    std::function<void(std::string_view text)> fail;
    // Where to play when the current folder has nothing to play and no --dir
    // was given (the program's own folder on Windows, where a double-click
    // starts it); empty: nowhere.
    std::filesystem::path fallbackFolder;
    // The sample demo's folder for the hint when there is nothing to play;
    // empty when none is installed.
    std::filesystem::path sampleDemo;
    // The platform's parts and the player's run, with the main window's
    // title (the demo's own, else the player's); the exit status.
    std::function<int(const PlayerArguments& arguments, const std::string& title)> play;
    // Where warnings go (standard error).
    std::ostream* warnings = nullptr;
};

// The exit status: 0, 1 on failure, 2 on a usage error.
int runPlayerEntry(const std::vector<std::string>& words, const PlayerEntry& entry);

// Where the sample demo is installed beside this program
// (PREFIX/share/zor/demo for PREFIX/bin), or empty when there is none.
std::filesystem::path installedSampleDemo();

}  // namespace zor
