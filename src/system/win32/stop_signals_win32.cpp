// How the programs end on Windows' console events, as the POSIX version ends
// on SIGINT and SIGTERM: Ctrl-C stands for SIGINT; Ctrl-Break, the closing
// of the console, logging off and shutting down for SIGTERM. The handler
// runs on a thread of the system's; it ends the process at once with
// 128 + the signal's number (130 or 143, what a shell shows for a program
// ended by that signal), or, while a StopDeferral is held, only notes it
// for the work to wind up at its next safe point.

#include "system/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace zor {

namespace {

std::atomic<int> noted{0};
std::atomic<int> deferring{0};

constexpr int kInterrupt = 2;   // SIGINT
constexpr int kTerminate = 15;  // SIGTERM

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT ? kInterrupt : kTerminate;
    int none = 0;
    if (deferring.load() && noted.compare_exchange_strong(none, signal)) return TRUE;
    ExitProcess(static_cast<UINT>(128 + signal));
}

}  // namespace

void installStopSignals() {
    // A program started with Ctrl-C ignored (a background job) keeps
    // ignoring it: the flag is inherited, and this handler is then not asked.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopDeferral::StopDeferral() { deferring.store(1); }

StopDeferral::~StopDeferral() { deferring.store(0); }

int stopSignal() { return noted.load(); }

void endByStopSignal(int signal) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(128 + signal));
}

}  // namespace zor
