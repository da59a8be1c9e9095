#include "archive/diagnostics.h"

#include <algorithm>
#include <ostream>
#include <utility>

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

void Diagnostics::push(Severity severity, std::string_view file, int line, std::string message) {
    items_.push_back({severity, std::string(file), line, std::move(message), namedBy_, namedByLine_});
}

void Diagnostics::warning(std::string_view file, int line, std::string message) {
    push(Severity::Warning, file, line, std::move(message));
}

void Diagnostics::error(std::string_view file, int line, std::string message) {
    push(Severity::Error, file, line, std::move(message));
}

Diagnostics::NamedBy::NamedBy(Diagnostics* diagnostics, std::string_view file, int line)
    : diagnostics_(diagnostics) {
    if (!diagnostics_) return;
    savedFile_ = std::exchange(diagnostics_->namedBy_, std::string(file));
    savedLine_ = std::exchange(diagnostics_->namedByLine_, line);
}

Diagnostics::NamedBy::~NamedBy() {
    if (!diagnostics_) return;
    diagnostics_->namedBy_ = std::move(savedFile_);
    diagnostics_->namedByLine_ = savedLine_;
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
