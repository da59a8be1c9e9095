#include "platform/progress.h"

#include <unistd.h>

#include <ostream>

namespace zor {

Progress::Mode Progress::modeForStandardError(bool quiet) {
    if (quiet) return Mode::Quiet;
    return isatty(STDERR_FILENO) ? Mode::Terminal : Mode::Lines;
}

void Progress::update(const std::string& text, bool last) {
    if (mode_ == Mode::Quiet) return;
    const auto now = std::chrono::steady_clock::now();
    const auto gap = mode_ == Mode::Terminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
    if (shown_ && !last && now - lastShown_ < gap) return;
    shown_ = true;
    lastShown_ = now;
    if (mode_ == Mode::Terminal) {
        // Blanks over the rest of a longer line before.
        out_ << '\r' << text << "\x1b[K" << std::flush;
        lineOpen_ = true;
    } else {
        out_ << text << '\n' << std::flush;
    }
}

void Progress::endLine() {
    if (!lineOpen_) return;
    out_ << '\n' << std::flush;
    lineOpen_ = false;
}

}  // namespace zor
