#include "system/windows_command_line.h"

#include <algorithm>
#include <cwctype>

namespace zor {

std::wstring windowsQuoted(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

namespace {

bool endsWithIgnoringCase(std::wstring_view text, std::wstring_view ending) {
    if (ending.empty() || text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

}  // namespace

std::vector<std::wstring> programCandidates(std::wstring_view name, std::wstring_view pathext) {
    if (pathext.empty()) pathext = L".COM;.EXE;.BAT;.CMD";
    std::vector<std::wstring> endings;
    for (std::size_t start = 0; start <= pathext.size();) {
        const std::size_t end = std::min(pathext.find(L';', start), pathext.size());
        if (end > start) endings.emplace_back(pathext.substr(start, end - start));
        start = end + 1;
    }
    for (const std::wstring& ending : endings)
        if (endsWithIgnoringCase(name, ending)) return {std::wstring(name)};
    std::vector<std::wstring> names;
    for (const std::wstring& ending : endings) names.push_back(std::wstring(name) + ending);
    return names;
}

}  // namespace zor
