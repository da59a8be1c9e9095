#include "scene/demo_info.h"

#include <algorithm>

#include "scene/player_constants.h"
#include "system/text.h"

namespace zor {

std::string cleanDemoInfoValue(std::string_view value) {
    std::string clean;
    for (std::size_t at = 0; at < value.size();) {
        const std::size_t length = utf8SequenceLength(value, at);
        if (length == 0) {
            clean += '?';
            ++at;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(value[at]);
        if (length == 1 && (c < 0x20 || c == 0x7F)) clean += ' ';
        else if (clean.size() + length <= kMaxDemoInfoValue) clean.append(value.substr(at, length));
        else break;
        at += length;
    }
    const std::size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    clean.erase(clean.find_last_not_of(' ') + 1);
    return clean.substr(first);
}

DemoInfo parseDemoInfo(std::span<const std::uint8_t> bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), std::min(bytes.size(), kMaxDemoInfoFile));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark some editors write
    DemoInfo info;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = line.substr(0, colon);
        while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
        const std::string_view value = line.substr(colon + 1);
        if (key == "title") info.title = cleanDemoInfoValue(value);
        else if (key == "author") info.author = cleanDemoInfoValue(value);
        else if (key == "description") info.description = cleanDemoInfoValue(value);
    }
    return info;
}

std::string formatDemoInfo(const DemoInfo& info) {
    std::string text;
    const auto line = [&](const char* key, const std::string& value) {
        const std::string clean = cleanDemoInfoValue(value);
        if (!clean.empty()) text += std::string(key) + ": " + clean + "\n";
    };
    line("title", info.title);
    line("author", info.author);
    line("description", info.description);
    return text;
}

std::string windowTitleOf(const DemoInfo& info) {
    return info.title.empty() ? std::string(kMainWindowTitle) : info.title;
}

}  // namespace zor
