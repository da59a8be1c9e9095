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
    // Where `file` was named, when a reader knew it (the scene line that
    // loads an object, for the object's problems and its images'); empty and
    // 0 otherwise.
    std::string namedBy;
    int namedByLine = 0;

    // "file:line: message", "file: message" or just "message".
    std::string text() const;
};

class Diagnostics {
public:
    void warning(std::string_view file, int line, std::string message);
    void error(std::string_view file, int line, std::string message);
    void add(Diagnostic d) { items_.push_back(std::move(d)); }

    // While a NamedBy lives, every item added records that file and line as
    // where the file it is about was named; the one before comes back after.
    class NamedBy {
    public:
        NamedBy(Diagnostics* diagnostics, std::string_view file, int line);
        ~NamedBy();
        NamedBy(const NamedBy&) = delete;
        NamedBy& operator=(const NamedBy&) = delete;

    private:
        Diagnostics* diagnostics_;
        std::string savedFile_;
        int savedLine_ = 0;
    };
    const std::string& namedBy() const { return namedBy_; }
    int namedByLine() const { return namedByLine_; }

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
    void push(Severity severity, std::string_view file, int line, std::string message);

    std::vector<Diagnostic> items_;
    std::string namedBy_;
    int namedByLine_ = 0;
};

}  // namespace zor
