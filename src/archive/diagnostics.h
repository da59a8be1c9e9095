#pragma once
// Diagnostics: what loaders found wrong, with the file and line (or offset)
// where they found it. Loaders degrade quietly in their results but never
// silently: every refused file, skipped index or missing entry lands here and
// the caller decides where to print it.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum class Severity { Warning, Error };

struct Diagnostic {
    Severity severity = Severity::Warning;
    std::string file;     // file the problem is in; may be empty
    int line = 0;         // 1-based line of a text file; 0 when not known
    std::string message;  // what is wrong, one line

    // "file:line: message", "file: message" or just "message".
    std::string text() const;
};

class Diagnostics {
public:
    void warning(std::string_view file, int line, std::string message);
    void error(std::string_view file, int line, std::string message);
    void add(Diagnostic d) { items_.push_back(std::move(d)); }

    const std::vector<Diagnostic>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    bool hasErrors() const;
    std::size_t count(Severity s) const;
    // True when some item's message contains the text (for tests and tools).
    bool contains(std::string_view text) const;

    // One line per item, prefixed "warning: " or "error: ".
    void print(std::ostream& out) const;
    void clear() { items_.clear(); }

private:
    std::vector<Diagnostic> items_;
};

}  // namespace zor
