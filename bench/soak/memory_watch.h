#pragma once
// What every soak reports: resident memory at the start, after the first
// minute (or another settling time) and at the end, and the verdict: PASS
// when the end lies within 10% of the reading after the first minute, which
// leaves out what start-up and the first passes allocate once.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace zor::soak {

// VmRSS of this process in KiB (0 when the kernel does not say).
inline long residentNowKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

class MemoryWatch {
public:
    // `settle`: when the reading that the end is held against is taken.
    MemoryWatch(std::string name, std::chrono::seconds settle) : name_(std::move(name)), settle_(settle) {
        start_ = residentNowKiB();
        std::printf("%s: start: resident %ld KiB\n", name_.c_str(), start_);
        std::fflush(stdout);
    }

    // Call often; takes the settled reading once its time has come. `done`
    // counts the work so far (passes, frames, reloads) for the line.
    void poll(long long done) {
        if (settled_ || std::chrono::steady_clock::now() - began_ < settle_) return;
        settled_ = residentNowKiB();
        settledAt_ = done;
        std::printf("%s: after %lld s (%lld done): resident %ld KiB\n", name_.c_str(),
                    static_cast<long long>(settle_.count()), done, settled_);
        std::fflush(stdout);
    }

    // The end reading and the verdict; true for PASS. A run shorter than the
    // settling time holds its end against its start.
    bool finish(long long done) {
        const long end = residentNowKiB();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
        const long base = settled_ ? settled_ : start_;
        const bool pass = end <= base * 1.10 && end >= base * 0.90;
        std::printf("%s: end: %lld done in %.0f s: resident %ld KiB (%+.1f%% against %s %ld KiB): %s\n",
                    name_.c_str(), done, seconds, end, base ? 100.0 * (end - base) / base : 0.0,
                    settled_ ? "the first minute's" : "the start's", base, pass ? "PASS" : "FAIL");
        std::fflush(stdout);
        return pass;
    }

private:
    std::string name_;
    std::chrono::seconds settle_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
    long start_ = 0;
    long settled_ = 0;
    long long settledAt_ = 0;
};

}  // namespace zor::soak
