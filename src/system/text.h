#pragma once
// Our text is UTF-8 on every system; the system's own names may not be.
// Paths are made from our text and turned back into it only here: on Linux
// the two are the same bytes, on Windows a path is UTF-16 and these convert
// (characters outside the Basic Multilingual Plane included). A plain
// std::filesystem::path(std::string) or path.string() would go through the
// C runtime's locale on Windows and name some other file.
//
// The command line arrives in UTF-8 too: startProgram is the first thing
// every program's main does.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The length of the valid UTF-8 sequence starting at `at` (1 to 4), or 0
// when there is none there (a stray byte, an overlong form, a surrogate, a
// value past U+10FFFF, a sequence cut short).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// On Linux the same bytes; on Windows the UTF-16 name, where bytes that are
// no UTF-8 (a name from an old data file) are taken as Latin-1.
std::filesystem::path pathFromUtf8(std::string_view text);
// On Windows, a unit that is no Unicode (a lone UTF-16 surrogate) becomes
// U+FFFD.
std::string utf8Of(const std::filesystem::path& path);
// The same with "/" between the parts on every system (a path inside a
// folder, as an archive names its entries).
std::string genericUtf8Of(const std::filesystem::path& path);

// The program's arguments in UTF-8, the program's name first, as argc and
// argv for parsers that take them.
class ProgramArguments {
public:
    explicit ProgramArguments(std::vector<std::string> arguments);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int argc() const { return static_cast<int>(arguments_.size()); }
    char** argv() { return pointers_.data(); }
    const std::vector<std::string>& list() const { return arguments_; }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;  // into arguments_, with a null at the end
};

// What every program does first: its arguments in UTF-8 (on Windows taken
// from the wide command line, `argv` unused) and, on Windows, standard
// streams in the console it was started from for a windows-subsystem program
// that has none of its own, and a console that shows UTF-8 output as written
// while the program runs.
ProgramArguments startProgram(int argc, char** argv);

}  // namespace zor
