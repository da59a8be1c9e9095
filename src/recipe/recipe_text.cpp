#include "system/text.h"
#include "recipe/recipe_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "scene/decimal.h"
#include "scene/player_constants.h"
#include "scene/timeline.h"

namespace zor::recipe {

namespace text {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The offset past the code point at `at` (a stray byte counts as one).
std::size_t nextCodePoint(std::string_view text, std::size_t at) {
    ++at;
    while (at < text.size() && isContinuation(text[at])) ++at;
    return at;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBareKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '_' || c == '-';
}

}  // namespace

Lines::Lines(std::string_view text) : text_(text) {
    starts_.push_back(text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') starts_.push_back(i + 1);
    const std::size_t firstEnd = text.find('\n');
    lineEnd_ = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
}

std::size_t Lines::start(int line) const {
    return starts_[static_cast<std::size_t>(std::clamp(line, 1, count()) - 1)];
}

std::size_t Lines::next(int line) const {
    return line >= count() ? text_.size() : starts_[static_cast<std::size_t>(std::max(line, 1))];
}

std::size_t Lines::offset(SourcePosition at) const {
    std::size_t end = next(at.line);
    if (ended(at.line)) {
        --end;  // the "\n"
        if (end > start(at.line) && text_[end - 1] == '\r') --end;
    }
    std::size_t offset = start(at.line);
    for (int column = 1; column < at.column && offset < end; ++column) offset = nextCodePoint(text_, offset);
    return std::min(offset, end);
}

SourcePosition Lines::position(std::size_t offset) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const int line = std::max(1, static_cast<int>(after - starts_.begin()));
    int column = 1;
    for (std::size_t at = start(line); at < offset && at < text_.size(); at = nextCodePoint(text_, at)) ++column;
    return {line, column};
}

std::uint64_t digest(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool headerNames(std::string_view text, std::size_t offset, const std::vector<std::string_view>& path,
                 bool arrayHeader) {
    std::size_t at = offset;
    auto take = [&](char c) {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    };
    auto skipSpaces = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    };
    if (!take('[') || take('[') != arrayHeader) return false;
    for (std::size_t part = 0;; ++part) {
        skipSpaces();
        std::string_view name;
        if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
            const char quote = text[at++];
            const std::size_t begin = at;
            while (at < text.size() && text[at] != quote) {
                if (text[at] == '\\' || text[at] == '\n') return false;
                ++at;
            }
            if (at >= text.size()) return false;
            name = text.substr(begin, at++ - begin);
        } else {
            const std::size_t begin = at;
            while (at < text.size() && isBareKeyChar(text[at])) ++at;
            name = text.substr(begin, at - begin);
            if (name.empty()) return false;
        }
        if (part >= path.size() || name != path[part]) return false;
        skipSpaces();
        if (take('.')) continue;
        return take(']') && (!arrayHeader || take(']')) && part + 1 == path.size();
    }
}

std::optional<TimeText> parseTime(std::string_view written, std::string& why) {
    why.clear();
    auto digitsOnly = [](std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), isDigit); };
    if (const std::size_t colon = written.find(':'); colon != std::string_view::npos) {
        const std::string_view bar = written.substr(0, colon), beat = written.substr(colon + 1);
        if (!digitsOnly(bar) || !digitsOnly(beat)) return std::nullopt;
        if (bar.size() > 9 || beat.size() > 9) {
            why = "a bar or beat too large";
            return std::nullopt;
        }
        const long long bars = std::stoll(std::string(bar)), beats = std::stoll(std::string(beat));
        if (bars < 1) {
            why = "bars count from 1";
            return std::nullopt;
        }
        if (beats < 1 || beats > kBeatsPerBar) {
            why = "a bar has beats 1 to " + std::to_string(kBeatsPerBar);
            return std::nullopt;
        }
        return TimeText{TimeText::Unit::Beats, static_cast<double>((bars - 1) * kBeatsPerBar + (beats - 1)), true};
    }
    if (written.size() < 2) return std::nullopt;
    TimeText time;
    switch (written.back()) {
    case 's': time.unit = TimeText::Unit::Seconds; break;
    case 'f': time.unit = TimeText::Unit::Frames; break;
    case 'b': time.unit = TimeText::Unit::Beats; break;
    default: return std::nullopt;
    }
    const std::string_view number = written.substr(0, written.size() - 1);
    const std::string_view unsignedPart = number.starts_with('-') ? number.substr(1) : number;
    const std::size_t point = unsignedPart.find('.');
    const bool decimal = point != std::string_view::npos;
    if (decimal && time.unit == TimeText::Unit::Frames) {
        why = "frames are whole";
        return std::nullopt;
    }
    if (!digitsOnly(unsignedPart.substr(0, point)) || (decimal && !digitsOnly(unsignedPart.substr(point + 1))))
        return std::nullopt;
    if (!parseDecimal(number, time.amount)) {
        why = "a number too large";
        return std::nullopt;
    }
    return time;
}

std::string numberText(double value) {
    char buffer[64];
    if (std::fabs(value) >= 1e15) {
        // Past the digits a double holds whole: its shortest exact form.
        std::snprintf(buffer, sizeof buffer, "%.17g", value);
        std::string written = buffer;
        if (written.find_first_of(".e") == std::string::npos) written += ".0";
        return written;
    }
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    std::string written = buffer;
    while (written.back() == '0') written.pop_back();
    if (written.back() == '.') written.pop_back();
    if (written == "-0") written = "0";
    return written;
}

double asWritten(double value) {
    double read = 0;
    return parseDecimal(numberText(value), read) ? read : value;
}

std::string nameFromFile(std::string_view fileName) {
    const std::string stem = utf8Of(pathFromUtf8(fileName).stem());
    std::string name;
    for (const char c : stem) {
        if (isContinuation(c)) continue;
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '_';
        name += keep ? c : '_';
    }
    return name.empty() ? "model" : name;
}

bool isSceneName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '_';
    });
}

}  // namespace text

std::int32_t beatFrame(double beats, double bpm) { return frameAtBeat(beats, bpm); }

std::string timeText(std::int32_t frame, std::optional<double> bpm) {
    if (bpm && *bpm > 0 && frame >= 0) {
        // The whole beats about the frame's time; the first whose frame it is.
        const double near = std::floor(frame / kFramesPerSecond * *bpm / 60.0);
        for (double beat = std::max(0.0, near - 1); beat <= near + 2; ++beat)
            if (beatFrame(beat, *bpm) == frame) return text::numberText(beat) + "b";
    }
    return std::to_string(frame) + "f";
}

std::string RecipeError::message() const {
    std::string line = utf8Of(file);
    if (at.line > 0) line += ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
    return line + ": " + what;
}

namespace {

// The recipe without where anything stands in its text.
Recipe directionOf(Recipe recipe) {
    recipe.source = {};
    recipe.firstTableLine = 0;
    recipe.textDigest = 0;
    recipe.camera.source = {};
    for (CameraKey& key : recipe.camera.keys) key.source = {};
    for (RecipeModel& model : recipe.models) {
        model.source = {};
        for (ModelKey& key : model.keys) key.source = {};
    }
    return recipe;
}

}  // namespace

bool sameDirection(const Recipe& a, const Recipe& b) { return directionOf(a) == directionOf(b); }

}  // namespace zor::recipe
