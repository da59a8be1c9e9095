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
#include <vector>

#include "archive/diagnostics.h"

namespace zor {

inline constexpr std::size_t kMaxTokenLength = 255;

// How numbers were taken from the text where the text does not read as the
// format intends, for tools that explain a scene to its author. Recording
// changes nothing that is read.
struct ReadNotes {
    // A number read from the front of a token that goes on ("1.5.0" read as
    // 1.5). The rest stays in the text: read as the next number when one is
    // read next, otherwise met as a token of its own.
    struct PartNumber {
        int line = 0;
        std::string token;  // the whole token
        std::string read;   // its front, read as the number
        bool restReadAsNumber = false;
    };
    // One key of a motion or envelope block, with the lines its numbers
    // were read from (0 where a number was not found).
    struct Key {
        int firstValueLine = 0;
        int lastValueLine = 0;
        int firstSplineLine = 0;  // frame, linear, tension, continuity, bias
        int lastSplineLine = 0;
    };
    struct Block {
        int line = 0;  // of the channel count
        bool envelope = false;
        int channels = 0;
        std::vector<Key> keys;
    };
    std::vector<PartNumber> partNumbers;
    std::vector<Block> blocks;
};

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
    // The line the next token starts on, without moving.
    int nextTokenLine() const;

    // Where unusual reads are recorded; none by default.
    void setNotes(ReadNotes* notes) { notes_ = notes; }
    ReadNotes* notes() const { return notes_; }

    const std::string& fileName() const { return fileName_; }
    Diagnostics* diagnostics() const { return diagnostics_; }
    // A warning at the line of the token read last.
    void warn(std::string message);
    void warn(int line, std::string message);

private:
    void skipBlanks();
    // After a number read that ended at end: notes a token cut short.
    void notePart(std::size_t start, std::size_t end);

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int tokenLine_ = 1;
    bool tokenStartsLine_ = false;
    std::string fileName_;
    Diagnostics* diagnostics_ = nullptr;
    ReadNotes* notes_ = nullptr;
    std::size_t partRest_ = std::string_view::npos;  // where the rest of the last cut token starts
};

// Reads tokens until one equals `keyword` byte for byte; true with the stream
// just after it, false at the end of the text.
bool findKeyword(TokenStream& tokens, std::string_view keyword);

}  // namespace zor
