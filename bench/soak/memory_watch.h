#pragma once
// What every soak reports and how it judges (memory_trend.py does the same
// for the soaks run from Python): resident memory read at least twenty times,
// evenly over the run's work (passes, frames, reloads), each reading printed;
// the reading once the settling time (the first minute) is over is the base,
// which leaves out what start-up and the first passes allocate once. From the
// base on, a line fitted through the readings (kibPerUnit) gives the trend in
// KiB per thousand units of work. PASS when the end reading lies within 10%
// of the base and either that trend, carried on for ten times the run's
// length, stays within 10% of the base, or the rise it makes along the judged
// readings is no more than their scatter about the line (judgeMemory): a
// plateau passes, and so does one whose allocator blocks come and go late in a
// short run; a leak that rises clear of the scatter fails even when it is too
// small to matter in one run.

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

struct MemoryVerdict {
    double slope = 0;    // KiB per unit of work
    double tenRuns = 0;  // KiB the slope adds over ten times the run's work
    double rise = 0;     // KiB the slope adds along the judged readings
    double scatter = 0;  // KiB between the highest and lowest reading about the line
    bool pass = false;
};

// The verdict on the readings from the base on (`trend`, at least one) of a
// run that did `done` units of work. The scatter is the spread of the
// readings once the slope's share is taken off each: a rise no bigger than
// that is not told apart from blocks coming and going.
inline MemoryVerdict judgeMemory(const std::vector<MemoryReading>& trend, long long done) {
    MemoryVerdict v;
    const MemoryReading& base = trend.front();
    const MemoryReading& end = trend.back();
    v.slope = kibPerUnit(trend);
    v.tenRuns = v.slope * 10.0 * static_cast<double>(done);
    v.rise = v.slope * static_cast<double>(end.done - base.done);
    std::vector<double> offsets;
    for (const MemoryReading& r : trend) offsets.push_back(static_cast<double>(r.kib) - v.slope * static_cast<double>(r.done));
    const auto [low, high] = std::minmax_element(offsets.begin(), offsets.end());
    v.scatter = *high - *low;
    const bool steady = v.tenRuns <= 0.10 * static_cast<double>(base.kib) || v.rise <= v.scatter;
    const bool endHeld = end.kib <= base.kib * 1.10 && end.kib >= base.kib * 0.90;
    v.pass = steady && endHeld;
    return v;
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
        const MemoryVerdict v = judgeMemory(trend, done);
        std::printf("%s: end: %lld %s in %.0f s: resident %ld KiB (%+.1f%% against %s %ld KiB)\n", name_.c_str(), done,
                    unit_.c_str(), end.seconds, end.kib, base.kib ? 100.0 * (end.kib - base.kib) / base.kib : 0.0,
                    base_ < 0 ? "the start's" : "the base", base.kib);
        std::printf("%s: trend over %zu readings from there: %+.2f KiB per 1000 %s; ten times this run (%lld %s) "
                    "would add %+.0f KiB, %+.1f%% (at most 10%%, or a rise of %.0f KiB along the readings within "
                    "their scatter of %.0f KiB): %s\n",
                    name_.c_str(), trend.size(), v.slope * 1000.0, unit_.c_str(), 10 * done, unit_.c_str(), v.tenRuns,
                    base.kib ? 100.0 * v.tenRuns / base.kib : 0.0, v.rise, v.scatter, v.pass ? "PASS" : "FAIL");
        std::fflush(stdout);
        return v.pass;
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
