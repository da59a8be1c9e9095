#include "archive/diagnostics.h"

#include <algorithm>
#include <ostream>

namespace zor {

std::string Diagnostic::text() const {
    std::string out;
    if (!file.empty()) {
        out += file;
        if (line > 0) out += ':' + std::to_string(line);
        out += ": ";
    }
    out += message;
    return out;
}

void Diagnostics::warning(std::string_view file, int line, std::string message) {
    items_.push_back({Severity::Warning, std::string(file), line, std::move(message)});
}

void Diagnostics::error(std::string_view file, int line, std::string message) {
    items_.push_back({Severity::Error, std::string(file), line, std::move(message)});
}

bool Diagnostics::hasErrors() const { return count(Severity::Error) > 0; }

std::size_t Diagnostics::count(Severity s) const {
    return static_cast<std::size_t>(
        std::count_if(items_.begin(), items_.end(), [s](const Diagnostic& d) { return d.severity == s; }));
}

bool Diagnostics::contains(std::string_view text) const {
    return std::any_of(items_.begin(), items_.end(),
                       [text](const Diagnostic& d) { return d.text().find(text) != std::string::npos; });
}

void Diagnostics::print(std::ostream& out) const {
    for (const Diagnostic& d : items_)
        out << (d.severity == Severity::Error ? "error: " : "warning: ") << d.text() << '\n';
}

}  // namespace zor
