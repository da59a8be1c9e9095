#pragma once
// What every soak reports and how it judges (memory_trend.py does the same
// for the soaks run from Python): resident memory read at least twenty times,
// evenly over the run's work (passes, frames, reloads), each reading printed;
// the reading once the settling time (the first minute) is over is the base,
// which leaves out what start-up and the first passes allocate once. From the
// base on, a line fitted through the readings (kibPerUnit) gives the trend in
// KiB per thousand units of work. PASS when that trend, carried on for ten
// times the run's length, stays within 10% of the base, and the end reading
// lies within 10% of it: a plateau passes, a leak too small to see in one run
// still fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace zor::soak {

// VmRSS of this process in KiB (0 when the kernel does not say).
inline long residentNowKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

struct MemoryReading {
    long long done = 0;  // units of work so far
    long kib = 0;
    double seconds = 0;
};

// The slope of KiB over units of work, fitted robustly (Theil-Sen): the
// median of the slopes between every two readings. Resident memory moves in
// whole pages and now and then by one allocator block; a least-squares line
// through a plateau with one such step climbs, the median of the pairs does
// not, while a steady leak gives every pair its slope. 0 for fewer than two
// distinct points.
inline double kibPerUnit(const std::vector<MemoryReading>& readings) {
    std::vector<double> slopes;
    for (std::size_t i = 0; i < readings.size(); ++i)
        for (std::size_t j = i + 1; j < readings.size(); ++j)
            if (readings[j].done != readings[i].done)
                slopes.push_back(static_cast<double>(readings[j].kib - readings[i].kib) /
                                 static_cast<double>(readings[j].done - readings[i].done));
    if (slopes.empty()) return 0;
    const auto middle = slopes.begin() + static_cast<std::ptrdiff_t>(slopes.size() / 2);
    std::nth_element(slopes.begin(), middle, slopes.end());
    if (slopes.size() % 2 == 1) return *middle;
    return (*middle + *std::max_element(slopes.begin(), middle)) / 2;
}

class MemoryWatch {
public:
    static constexpr int kReadings = 20;

    // `unit`: what the work is counted in ("passes"); `total`: how much of it
    // the run will do; `settle`: when the base reading is taken.
    MemoryWatch(std::string name, std::string unit, long long total, std::chrono::seconds settle)
        : name_(std::move(name)), unit_(std::move(unit)), total_(total > 0 ? total : 1), settle_(settle) {
        take(0);
    }

    // Call after every unit of work with the count so far.
    void poll(long long done) {
        const bool mark = done * kReadings >= total_ * (marks_ + 1);
        if (mark) ++marks_;
        if (mark || (base_ < 0 && elapsed() >= static_cast<double>(settle_.count()))) take(done);
    }

    // The end reading and the verdict; true for PASS. A run shorter than the
    // settling time is judged from its start.
    bool finish(long long done) {
        if (readings_.back().done != done) take(done);
        const std::size_t from = base_ < 0 ? 0 : static_cast<std::size_t>(base_);
        const std::vector<MemoryReading> trend(readings_.begin() + static_cast<std::ptrdiff_t>(from), readings_.end());
        const MemoryReading& base = trend.front();
        const MemoryReading& end = trend.back();
        const double slope = kibPerUnit(trend);
        const double tenRuns = slope * 10.0 * static_cast<double>(done);
        const double bound = 0.10 * static_cast<double>(base.kib);
        const bool steady = tenRuns <= bound;
        const bool endHeld = end.kib <= base.kib * 1.10 && end.kib >= base.kib * 0.90;
        const bool pass = steady && endHeld;
        std::printf("%s: end: %lld %s in %.0f s: resident %ld KiB (%+.1f%% against %s %ld KiB)\n", name_.c_str(), done,
                    unit_.c_str(), end.seconds, end.kib, base.kib ? 100.0 * (end.kib - base.kib) / base.kib : 0.0,
                    base_ < 0 ? "the start's" : "the base", base.kib);
        std::printf("%s: trend over %zu readings from there: %+.2f KiB per 1000 %s; ten times this run (%lld %s) "
                    "would add %+.0f KiB, %+.1f%% (at most 10%%): %s\n",
                    name_.c_str(), trend.size(), slope * 1000.0, unit_.c_str(), 10 * done, unit_.c_str(), tenRuns,
                    base.kib ? 100.0 * tenRuns / base.kib : 0.0, pass ? "PASS" : "FAIL");
        std::fflush(stdout);
        return pass;
    }

private:
    double elapsed() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count(); }

    void take(long long done) {
        const MemoryReading r{done, residentNowKiB(), elapsed()};
        const bool isBase = base_ < 0 && r.seconds >= static_cast<double>(settle_.count());
        if (isBase) base_ = static_cast<long>(readings_.size());
        readings_.push_back(r);
        std::printf("%s: %lld %s, %.0f s: resident %ld KiB%s\n", name_.c_str(), done, unit_.c_str(), r.seconds, r.kib,
                    isBase ? " (the base: settled)" : "");
        std::fflush(stdout);
    }

    std::string name_, unit_;
    long long total_;
    std::chrono::seconds settle_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
    std::vector<MemoryReading> readings_;
    long long marks_ = 0;  // evenly spaced readings taken so far
    long base_ = -1;       // index of the base reading, once taken
};

}  // namespace zor::soak
