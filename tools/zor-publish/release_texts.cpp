#include "release_texts.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zor::publish {
namespace {

// Decodes one UTF-8 character at `i` (moving past it); invalid bytes give
// U+FFFD.
char32_t nextCharacter(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return c;
}

// U+00C0 to U+00FF as ASCII ("" where a letter has none).
constexpr std::array<const char*, 64> kLatin1 = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "TH", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o", "o", "o", "/", "o", "u", "u", "u", "u", "y", "th", "y"};

// U+0100 to U+017F (Latin Extended-A) as ASCII letters.
constexpr std::string_view kExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiJjJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

std::string folded(char32_t c) {
    if (c < 0x20 || c == 0x7F) return " ";
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    if (c >= 0xC0 && c <= 0xFF) return kLatin1[c - 0xC0];
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x152) return "OE";
        if (c == 0x153) return "oe";
        if (c == 0x132) return "IJ";
        if (c == 0x133) return "ij";
        const std::size_t k = c - 0x100;
        return k < kExtendedA.size() ? std::string(1, kExtendedA[k]) : std::string();
    }
    switch (c) {
    case 0xA0: return " ";
    case 0x2018: case 0x2019: case 0x201A: case 0x2032: return "'";
    case 0x201C: case 0x201D: case 0x201E: case 0x2033: case 0xAB: case 0xBB: return "\"";
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015: case 0x2212: return "-";
    case 0x2026: return "...";
    case 0xD7: return "x";
    default: return "";
    }
}

std::string withCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace

std::string asciiFolded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) out += folded(nextCharacter(text, i));
    return out;
}

std::string safeFolderName(std::string_view title, const std::string& fallback) {
    std::string name;
    for (char c : asciiFolded(title)) {
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = ' ';
        if (c == ' ' && (name.empty() || name.back() == ' ')) continue;
        name += c;
    }
    if (name.size() > 64) name.resize(64);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
    if (name.empty()) return fallback;
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool device = stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
                        (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
                         stem[3] <= '9');
    return device ? name + "_" : name;
}

std::vector<std::string> wrapped(std::string_view text, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t end = text.find(' ', i);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(i, end - i);
        i = end;
        while (!word.empty()) {
            const std::size_t room = line.empty() ? width : (line.size() + 1 < width ? width - line.size() - 1 : 0);
            if (word.size() <= room) {
                if (!line.empty()) line += ' ';
                line += word;
                word = {};
            } else if (line.empty()) {
                lines.emplace_back(word.substr(0, width));
                word.remove_prefix(width);
            } else {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

std::string authorReadme(const DemoInfo& info, const std::string& folderName, std::string_view version) {
    const std::string title = info.title.empty() ? folderName : info.title;
    std::vector<std::string> lines = {title, std::string(std::max<std::size_t>(3, asciiFolded(title).size()), '=')};
    if (!info.author.empty()) lines.push_back("by " + info.author);
    if (!info.description.empty()) {
        lines.emplace_back();
        for (std::string& line : wrapped(info.description, 72)) lines.push_back(std::move(line));
    }
    const std::vector<std::string> rest = {
        "",
        "Playing",
        "-------",
        "",
        "Double-click zor.exe. A small \"Setup\" window asks for the display",
        "adapter and mode first; press Return (or click \"Let's go!!\") to start.",
        "The demo plays full screen, with its music (mp3.mp3) when the computer",
        "has a sound device.",
        "",
        "  Escape, or a click of either mouse button, ends it; so does its end.",
        "",
        "Options (from a command prompt, or in a shortcut's target):",
        "",
        "  zor -nosound      no music",
        "  zor -bass         music through the first music layer (the default)",
        "  zor -gaudio       music through the second music layer",
        "  zor -smooth       smooth motion at the display's refresh rate",
        "  zor --stretch     spread the view over a screen that is not 4:3",
        "  zor --dir FOLDER  play the demo in FOLDER",
        "",
        "Both music layers play through waveOut and Windows' own MP3 codec.",
        "",
        "It runs from a read-only folder and changes nothing on the computer:",
        "no file is written, nothing is installed, the registry is left alone.",
        "It needs OpenGL ES 3.0 or OpenGL 3.3 from the graphics driver.",
        "",
        "Played by zor " + std::string(version) + " (zor.exe); see LICENSE.txt for its licence.",
    };
    lines.insert(lines.end(), rest.begin(), rest.end());
    return withCrLf(lines);
}

std::string fileIdDiz(const DemoInfo& info, const std::string& folderName) {
    std::vector<std::string> lines = wrapped(asciiFolded(info.title.empty() ? folderName : info.title), kDizColumns);
    if (!info.author.empty())
        for (std::string& line : wrapped("by " + asciiFolded(info.author), kDizColumns)) lines.push_back(std::move(line));
    if (!info.description.empty() && lines.size() + 2 <= kDizLines) {
        lines.emplace_back();
        for (std::string& line : wrapped(asciiFolded(info.description), kDizColumns)) lines.push_back(std::move(line));
    }
    if (lines.size() > kDizLines) lines.resize(kDizLines);
    return withCrLf(lines);
}

}  // namespace zor::publish
