#include "system/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "system/process.h"

namespace zor {

Progress::Mode Progress::modeForStandardError(bool quiet) {
    if (quiet) return Mode::Quiet;
    return standardErrorIsTerminal() ? Mode::Terminal : Mode::Lines;
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

namespace {

// M:SS, or H:MM:SS from an hour on.
std::string clockText(double seconds) {
    const auto whole = static_cast<std::uint64_t>(std::llround(std::max(seconds, 0.0)));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(whole / 3600),
                      static_cast<unsigned>(whole / 60 % 60), static_cast<unsigned>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(whole / 60), static_cast<unsigned>(whole % 60));
    return text;
}

}  // namespace

std::string countText(std::uint64_t done, std::uint64_t total, double seconds, const std::string& unit) {
    // Whole percent, rounded down: 100% only when everything is done.
    const unsigned percent =
        total == 0 ? 100u : static_cast<unsigned>(static_cast<long double>(std::min(done, total)) * 100 / total);
    std::string text = std::to_string(done) + "/" + std::to_string(total) + ", " + std::to_string(percent) + "%";
    if (done == 0 || !(seconds > 0)) return text;
    const double rate = double(done) / seconds;
    char figure[64];
    std::snprintf(figure, sizeof figure, ", %.1f %s/s", rate, unit.c_str());
    text += figure;
    if (done >= total) return text + " in " + clockText(seconds);
    return text + ", " + clockText(double(total - done) / rate) + " left";
}

void Progress::endLine() {
    if (!lineOpen_) return;
    out_ << '\n' << std::flush;
    lineOpen_ = false;
}

}  // namespace zor
