#pragma once
// Progress of long work on standard error, readable on a terminal and in a
// log. On a terminal one line is rewritten in place, at most ten times a
// second. Anywhere else (a pipe, a file, a CI log) every update shown is a
// whole line, at most one a second, the first and the last always. Quiet
// shows nothing.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace zor {

class Progress {
public:
    enum class Mode { Terminal, Lines, Quiet };
    // Terminal when standard error is one, else Lines; Quiet when asked.
    static Mode modeForStandardError(bool quiet);

    Progress(std::ostream& out, Mode mode) : out_(out), mode_(mode) {}
    // The state now, e.g. "frame 12 (3/40)". The last update is always shown.
    void update(const std::string& text, bool last = false);
    // Ends a line being rewritten, so that what follows starts a line of its
    // own; does nothing otherwise.
    void endLine();

private:
    std::ostream& out_;
    Mode mode_;
    bool shown_ = false;     // something has been written
    bool lineOpen_ = false;  // a terminal line waits for its end
    std::chrono::steady_clock::time_point lastShown_{};
};

// "DONE/TOTAL, P%" and, once time has passed, the rate over the run so far
// and the time left at that rate ("24.1 frames/s, 1:05 left"), or the time
// taken when all is done ("24.1 frames/s in 2:31"). `unit` names what is
// counted, e.g. "frames".
std::string countText(std::uint64_t done, std::uint64_t total, double seconds, const std::string& unit);

}  // namespace zor
