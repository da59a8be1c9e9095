#pragma once
// What the recipe's reader and writer share about its text: positions as
// toml++ gives them turned into byte offsets, the digest that ties a Recipe
// to its text, table headers, times and numbers as written.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recipe/recipe.h"

namespace zor::recipe::text {

// The lines of a text. Lines end in "\n" (a "\r" before it belongs to the
// line end); columns count code points from 1; a UTF-8 byte-order mark at
// the very start is before line 1's first column, as toml++ counts.
class Lines {
public:
    explicit Lines(std::string_view text);
    int count() const { return static_cast<int>(starts_.size()); }
    // Byte offset of the line's first character (line clamped to 1..count).
    std::size_t start(int line) const;
    // Byte offset of the next line's start, or the text's size for the last.
    std::size_t next(int line) const;
    // Whether the line ends in a line end (every line but perhaps the last).
    bool ended(int line) const { return line >= 1 && line < count(); }
    // Byte offset of a position; a column past its line's end gives the
    // line's end.
    std::size_t offset(SourcePosition at) const;
    // The position of a byte offset.
    SourcePosition position(std::size_t offset) const;
    // The file's line end: that of its first line, else "\n".
    const std::string& lineEnd() const { return lineEnd_; }

private:
    std::string_view text_;
    std::vector<std::size_t> starts_;
    std::string lineEnd_;
};

// FNV-1a, 64 bits.
std::uint64_t digest(std::string_view text);

// Whether the text at `offset` is a table header naming exactly `path`,
// "[a.b]" or "[[a.b]]" (as `arrayHeader`), keys bare or quoted without
// escapes, with spaces about them.
bool headerNames(std::string_view text, std::size_t offset, const std::vector<std::string_view>& path,
                 bool arrayHeader);

// A time as written in a string.
struct TimeText {
    enum class Unit { Seconds, Frames, Beats };
    Unit unit = Unit::Seconds;
    double amount = 0;  // frames whole; beats from "3:2" counted from 0
    bool barBeat = false;
};
// nullopt with `why` set when the text is none of "15s", "454f", "32b",
// "3:2"; `why` says more than the forms where it can ("bars count from 1").
std::optional<TimeText> parseTime(std::string_view text, std::string& why);

// At most 3 decimals, trailing zeros dropped, never "-0"; a whole number too
// large for a TOML integer keeps ".0". Finite numbers only.
std::string numberText(double value);
// The number numberText writes reads back as this.
double asWritten(double value);

// The file stem as a scene name (recipe.h says how).
std::string nameFromFile(std::string_view fileName);
bool isSceneName(std::string_view name);

}  // namespace zor::recipe::text
