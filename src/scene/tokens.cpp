#include "scene/tokens.h"

#include <algorithm>
#include <cfloat>
#include <limits>

#include "scene/decimal.h"

namespace zor {

namespace {

// The bytes a formatted stream read treats as separators (the C locale's).
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t digitRun(std::string_view text, std::size_t p) {
    std::size_t end = p;
    while (end < text.size() && isDigit(text[end])) ++end;
    return end - p;
}

}  // namespace

TokenStream::TokenStream(std::string_view text, std::string_view fileName, Diagnostics* diagnostics)
    : text_(text), fileName_(fileName), diagnostics_(diagnostics) {}

void TokenStream::skipBlanks() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) {
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
    }
}

void TokenStream::notePart(std::size_t start, std::size_t end) {
    if (!notes_) return;
    if (partRest_ == start && !notes_->partNumbers.empty()) notes_->partNumbers.back().restReadAsNumber = true;
    partRest_ = std::string_view::npos;
    if (end >= text_.size() || isBlank(text_[end])) return;
    std::size_t tokenEnd = end;
    while (tokenEnd < text_.size() && !isBlank(text_[tokenEnd])) ++tokenEnd;
    notes_->partNumbers.push_back({line_, std::string(text_.substr(start, std::min(tokenEnd - start, kMaxTokenLength))),
                                   std::string(text_.substr(start, end - start)), false});
    partRest_ = end;
}

bool TokenStream::atEnd() {
    skipBlanks();
    return pos_ >= text_.size();
}

std::string_view TokenStream::nextToken() {
    skipBlanks();
    tokenLine_ = line_;
    const std::size_t start = pos_;
    std::size_t before = start;
    while (before > 0 && text_[before - 1] != '\n' && isBlank(text_[before - 1])) --before;
    tokenStartsLine_ = before == 0 || text_[before - 1] == '\n';
    const std::size_t limit = start + std::min(kMaxTokenLength, text_.size() - start);
    while (pos_ < limit && !isBlank(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
}

std::string_view TokenStream::peekToken() {
    const Position saved = position();
    const int savedTokenLine = tokenLine_;
    const bool savedStartsLine = tokenStartsLine_;
    const std::string_view token = nextToken();
    seek(saved);
    tokenLine_ = savedTokenLine;
    tokenStartsLine_ = savedStartsLine;
    return token;
}

int TokenStream::nextTokenLine() const {
    int line = line_;
    for (std::size_t p = pos_; p < text_.size() && isBlank(text_[p]); ++p)
        if (text_[p] == '\n') ++line;
    return line;
}

bool TokenStream::readInt(std::int32_t& value) {
    skipBlanks();
    std::size_t p = pos_;
    bool negative = false;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
        negative = text_[p] == '-';
        ++p;
    }
    const std::size_t digits = digitRun(text_, p);
    if (digits == 0) return false;
    tokenLine_ = line_;

    // Saturate instead of wrapping so an absurd count stays absurd.
    constexpr std::int64_t kLimit = std::int64_t{1} << 32;
    std::int64_t magnitude = 0;
    for (std::size_t i = p; i < p + digits; ++i) {
        magnitude = std::min<std::int64_t>(magnitude * 10 + (text_[i] - '0'), kLimit);
    }
    notePart(pos_, p + digits);
    pos_ = p + digits;
    std::int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max() || result < std::numeric_limits<std::int32_t>::min()) {
        warn("integer " + std::string(text_.substr(p - (negative ? 1 : 0), digits + (negative ? 1 : 0))) +
             " is out of range");
        result = std::clamp<std::int64_t>(result, std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max());
    }
    value = static_cast<std::int32_t>(result);
    return true;
}

bool TokenStream::readReal(float& value) {
    skipBlanks();
    const std::size_t start = pos_;
    std::size_t p = start;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
    const std::size_t numberStart = start < text_.size() && text_[start] == '+' ? start + 1 : start;
    std::size_t mantissaDigits = digitRun(text_, p);
    p += mantissaDigits;
    if (p < text_.size() && text_[p] == '.') {
        const std::size_t fraction = digitRun(text_, p + 1);
        mantissaDigits += fraction;
        p += 1 + fraction;
    }
    if (mantissaDigits == 0) return false;
    if (p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < text_.size() && (text_[q] == '+' || text_[q] == '-')) ++q;
        const std::size_t exponentDigits = digitRun(text_, q);
        if (exponentDigits > 0) p = q + exponentDigits;
    }
    tokenLine_ = line_;
    notePart(start, p);
    pos_ = p;

    double parsed = 0;
    if (!parseDecimal(text_.substr(numberStart, p - numberStart), parsed)) {
        warn("number " + std::string(text_.substr(start, p - start)) + " is out of range; ignored");
        return true;
    }
    if (parsed > FLT_MAX || parsed < -FLT_MAX) {
        warn("number " + std::string(text_.substr(start, p - start)) + " is out of range");
        parsed = parsed > 0 ? FLT_MAX : -FLT_MAX;
    }
    value = static_cast<float>(parsed);
    return true;
}

void TokenStream::warn(std::string message) { warn(tokenLine_, std::move(message)); }

void TokenStream::warn(int line, std::string message) {
    if (diagnostics_) diagnostics_->warning(fileName_, line, std::move(message));
}

bool findKeyword(TokenStream& tokens, std::string_view keyword) {
    for (;;) {
        const std::string_view token = tokens.nextToken();
        if (token.empty()) return false;
        if (token == keyword) return true;
    }
}

}  // namespace zor
