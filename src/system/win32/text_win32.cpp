#include "system/win32/text_win32.h"

#include "system/text.h"

#include <windows.h>

#include <shellapi.h>

namespace zor {

// Windows names are UTF-16. Bytes that are no UTF-8 (a name from an old data
// file) are taken as Latin-1, the encoding such names were mostly written in.
std::filesystem::path pathFromUtf8(std::string_view text) {
    std::u8string units;
    units.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(text[at]);
            units += static_cast<char8_t>(0xC0 | (byte >> 6));
            units += static_cast<char8_t>(0x80 | (byte & 0x3F));
            ++at;
            continue;
        }
        for (; length > 0; --length) units += static_cast<char8_t>(text[at++]);
    }
    return std::filesystem::path(units);
}

std::string utf8Of(const std::filesystem::path& path) { return win32::narrow(path.native()); }

std::string genericUtf8Of(const std::filesystem::path& path) { return win32::narrow(path.generic_wstring()); }

}  // namespace zor

namespace zor::win32 {

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::string errorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length ? narrow(std::wstring_view(buffer, length)) : std::string();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

std::vector<std::string> utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!list) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(narrow(list[i]));
    LocalFree(list);
    return arguments;
}

}  // namespace zor::win32
