#pragma once
// How the programs end on SIGINT and SIGTERM.
//
// installStopSignals() comes first in main, before SDL starts: SDL then
// leaves the two signals alone instead of turning them into quit events that
// a program busy elsewhere never reads. A signal ends the process at once, by
// the signal itself (a shell reports status 130 or 143). Work that must not
// be cut off midway (a video being encoded, a picture being written) holds a
// StopDeferral: the signal is then only noted, and the work looks at
// stopSignal() at its safe points, winds up and calls endByStopSignal(). A
// second signal always ends the process at once.
//
// A signal that was ignored when the program started (a background job of a
// non-interactive shell) stays ignored.

namespace zor {

void installStopSignals();

class StopDeferral {
public:
    StopDeferral();
    ~StopDeferral();
    StopDeferral(const StopDeferral&) = delete;
    StopDeferral& operator=(const StopDeferral&) = delete;
};

// The signal noted while a StopDeferral was held, or 0.
int stopSignal();

// Ends the process by `signal` as if it had never been caught.
[[noreturn]] void endByStopSignal(int signal);

}  // namespace zor
