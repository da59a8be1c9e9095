#pragma once
// Whitespace-separated tokens over a scene text held in memory. Tokens are
// maximal runs of non-blank bytes, cut after 255 bytes (the rest of a longer
// run is the next token). Number reads behave like a formatted stream read:
// an integer read takes an optional sign and decimal digits from the front of
// the next token, a real read a decimal number; when the next token does not
// start with a number nothing is stored and the token stays to be read next.
// The stream reports its position (with its line) and can seek back to one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/diagnostics.h"

namespace zor {

inline constexpr std::size_t kMaxTokenLength = 255;

class TokenStream {
public:
    struct Position {
        std::size_t offset = 0;
        int line = 1;
    };

    // `fileName` and `diagnostics` (may be null) are where warnings go.
    TokenStream(std::string_view text, std::string_view fileName, Diagnostics* diagnostics);

    // The next token, or an empty view at the end of the text.
    std::string_view nextToken();
    // False (nothing stored, nothing consumed) when the next token does not
    // start with a number or the text has ended.
    bool readInt(std::int32_t& value);
    bool readReal(float& value);

    bool atEnd();
    Position position() const { return {pos_, line_}; }
    void seek(Position p) { pos_ = p.offset; line_ = p.line; }
    // Line of the token read last (1-based).
    int tokenLine() const { return tokenLine_; }
    // Whether the token nextToken read last is the first on its line.
    bool tokenStartsLine() const { return tokenStartsLine_; }
    // Bytes left after the current position.
    std::size_t remaining() const { return text_.size() - pos_; }
    // The token that would be read next, without consuming it (for messages).
    std::string_view peekToken();

    const std::string& fileName() const { return fileName_; }
    Diagnostics* diagnostics() const { return diagnostics_; }
    // A warning at the line of the token read last.
    void warn(std::string message);
    void warn(int line, std::string message);

private:
    void skipBlanks();

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int tokenLine_ = 1;
    bool tokenStartsLine_ = false;
    std::string fileName_;
    Diagnostics* diagnostics_ = nullptr;
};

// Reads tokens until one equals `keyword` byte for byte; true with the stream
// just after it, false at the end of the text.
bool findKeyword(TokenStream& tokens, std::string_view keyword);

}  // namespace zor
