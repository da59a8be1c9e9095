"""How the soaks run from Python judge memory, as memory_watch.h does for the
ones in C++: readings at least twenty times, evenly over the run's work
(frames, replays), each printed; the reading once the settling time (the
first minute) is over is the base. From the base on, a line fitted
through the readings gives the trend in KiB per thousand units of work. PASS
when the end reading lies within 10% of the base and either that trend,
carried on for ten times the run's length, stays within 10% of the base, or
the rise it makes along the judged readings is no more than their scatter
about the line.
"""

import time

READINGS = 20


def kib_per_unit(readings):
    """The slope of KiB over units of work, fitted robustly as
    memory_watch.h fits it: the median of the slopes between every two
    readings (0 for fewer than two distinct points)."""
    slopes = sorted((b[1] - a[1]) / (b[0] - a[0]) for i, a in enumerate(readings) for b in readings[i + 1:]
                    if b[0] != a[0])
    if not slopes:
        return 0.0
    middle = len(slopes) // 2
    return slopes[middle] if len(slopes) % 2 else (slopes[middle - 1] + slopes[middle]) / 2


class MemoryTrend:
    def __init__(self, name, unit, total, settle, began=None):
        self.name, self.unit, self.total, self.settle = name, unit, max(total, 1), settle
        self.began = time.monotonic() if began is None else began
        self.readings = []  # (done, KiB, seconds)
        self.marks = 0
        self.base = None  # index of the base reading

    def due(self, done):
        """Whether a reading is due after `done` units of work."""
        return (not self.readings or done * READINGS >= self.total * (self.marks + 1) or
                (self.base is None and time.monotonic() - self.began >= self.settle))

    def take(self, done, kib, what=""):
        seconds = time.monotonic() - self.began
        if self.readings and done * READINGS >= self.total * (self.marks + 1):
            self.marks += 1
        is_base = self.base is None and seconds >= self.settle
        if is_base:
            self.base = len(self.readings)
        self.readings.append((done, kib, seconds))
        print(f"{self.name}: {done} {self.unit}, {seconds:.0f} s: resident {kib} KiB{what}"
              f"{' (the base: settled)' if is_base else ''}", flush=True)

    def finish(self):
        """Prints the verdict; True for PASS. A run shorter than the settling
        time is judged from its start."""
        trend = self.readings[self.base or 0:]
        base, end = trend[0], trend[-1]
        done = end[0]
        slope = kib_per_unit(trend)
        ten_runs = slope * 10 * done
        rise = slope * (end[0] - base[0])
        offsets = [kib - slope * work for work, kib, _ in trend]
        scatter = max(offsets) - min(offsets)
        steady = ten_runs <= 0.10 * base[1] or rise <= scatter
        passed = steady and 0.9 * base[1] <= end[1] <= 1.1 * base[1]
        print(f"{self.name}: end: {done} {self.unit} in {end[2]:.0f} s: resident {end[1]} KiB "
              f"({100.0 * (end[1] - base[1]) / base[1]:+.1f}% against "
              f"{'the start' if self.base is None else 'the base'} {base[1]} KiB)", flush=True)
        print(f"{self.name}: trend over {len(trend)} readings from there: {slope * 1000:+.2f} KiB per 1000 "
              f"{self.unit}; ten times this run ({10 * done} {self.unit}) would add {ten_runs:+.0f} KiB, "
              f"{100.0 * ten_runs / base[1]:+.1f}% (at most 10%, or a rise of {rise:.0f} KiB along the readings "
              f"within their scatter of {scatter:.0f} KiB): {'PASS' if passed else 'FAIL'}", flush=True)
        return passed
