#include "system/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace zor {

namespace {

volatile std::sig_atomic_t noted = 0;
volatile std::sig_atomic_t deferring = 0;

extern "C" void onStopSignal(int signal) {
    if (deferring && !noted) {
        noted = signal;
        return;
    }
    // The signal is blocked while its handler runs, so the raised one is
    // delivered, with its default action, as soon as this returns.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void install(int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Writes to a pipe or file in progress go on rather than fail.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void installStopSignals() {
    install(SIGINT);
    install(SIGTERM);
}

StopDeferral::StopDeferral() { deferring = 1; }

StopDeferral::~StopDeferral() { deferring = 0; }

int stopSignal() { return noted; }

void endByStopSignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    _exit(128 + signal);  // only if the signal is blocked
}

}  // namespace zor
