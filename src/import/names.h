#pragma once
// Names the play folder's files and the scene's items are known by. The
// scene is read word by word and cuts object names at their first full stop;
// the archive holds names of at most 31 characters and finds them whatever
// the letter case. A NameBook hands out names that fit and differ under
// those rules, and records every change for the summary.

#include <set>
#include <string>
#include <vector>

namespace zor::import {

// Letters, digits, '_' and '-' only: no blanks (the scene is read word by
// word), no full stop (the scene cuts object names at the first one), no
// folder separators. `fallback` when nothing is left.
std::string cleanName(const std::string& name, const std::string& fallback);

std::string lowered(std::string s);

// Hands out names unique regardless of letter case (the archive's lookup
// ignores case) within a length limit, recording every change.
class NameBook {
public:
    NameBook(std::size_t limit, std::vector<std::string>& renamed) : limit_(limit), renamed_(renamed) {}

    // A name for `source` (cleaned, cut to the limit, numbered "_2", "_3"...
    // when taken or a scene keyword); a change is recorded as
    // "KIND \"source\" -> name".
    std::string take(const std::string& source, const std::string& fallback, const std::string& kind);
    // Marks a name (letter case ignored) as taken.
    void reserve(const std::string& name) { used_.insert(lowered(name)); }

private:
    std::size_t limit_;
    std::set<std::string> used_;
    std::vector<std::string>& renamed_;
};

}  // namespace zor::import
