#pragma once
// Text between our UTF-8 strings and Windows' UTF-16 ones, the system's
// reason for an error code, and the program's arguments in UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace zor::win32 {

// Invalid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
// FormatMessage's text for a Windows error code, without its line end.
std::string errorText(unsigned long code);
// The arguments of the wide command line (the program first), in UTF-8.
std::vector<std::string> utf8Arguments();

}  // namespace zor::win32
