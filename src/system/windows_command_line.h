#pragma once
// How a Windows program is named and given its arguments: one command line
// that the started program's C runtime splits again (CommandLineToArgvW's
// rules), and a name found on PATH with each of the endings PATHEXT lists.
// Plain text rules, kept apart from the calls that use them
// (win32/piped_program_win32.cpp), so they are tested on every system.

#include <string>
#include <string_view>
#include <vector>

namespace zor {

// One argument as the C runtime's parser reads it back: bare when it needs no
// quotes, else in double quotes with backslashes doubled before a quote
// and at the end, and quotes escaped.
std::wstring windowsQuoted(std::wstring_view argument);

// The names to look for on PATH for `name`: the name itself when it already
// ends in one of PATHEXT's endings (letter case ignored), else the name with
// each ending in PATHEXT's order. `pathext` is PATHEXT's value; empty means
// Windows' default (".COM;.EXE;.BAT;.CMD").
std::vector<std::wstring> programCandidates(std::wstring_view name, std::wstring_view pathext);

}  // namespace zor
