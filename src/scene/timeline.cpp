#include "scene/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "scene/player_constants.h"

namespace zor {

namespace {
constexpr double kMillisecondsToSeconds = 0.001;
}  // namespace

float sceneTime(std::uint32_t now, float start) {
    const float t = static_cast<float>((static_cast<double>(now) - static_cast<double>(start)) *
                                       kMillisecondsToSeconds * kHalfFramesPerSecond);
    return t + t;
}

std::int32_t frameNumber(std::int32_t first, float t) {
    const float sum = static_cast<float>(static_cast<std::uint32_t>(first)) + t;
    const float truncated = std::trunc(sum);
    // 2^31 is exact in float; anything at or above it (or NaN) does not fit.
    constexpr float kLimit = 2147483648.0f;
    if (!(truncated >= -kLimit && truncated < kLimit)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(truncated);
}

float smoothFrameNumber(std::int32_t first, float t) {
    const float sum = static_cast<float>(static_cast<std::uint32_t>(first)) + t;
    constexpr float kLimit = 2147483648.0f;
    if (!(sum >= -kLimit && sum < kLimit)) return static_cast<float>(std::numeric_limits<std::int32_t>::min());
    return sum;
}

std::int32_t frameAtSeconds(double seconds) {
    const double milliseconds = std::round(seconds * 1000.0);
    constexpr double kLastReading = std::numeric_limits<std::uint32_t>::max();
    const std::uint32_t now = !(milliseconds > 0)            ? 0u
                              : milliseconds >= kLastReading ? std::numeric_limits<std::uint32_t>::max()
                                                             : static_cast<std::uint32_t>(milliseconds);
    return frameNumber(0, sceneTime(now, 0.0f));
}

std::int32_t frameAtBeat(double beats, double bpm) { return frameAtSeconds(beats * 60.0 / bpm); }

std::int32_t beatFrameBeside(std::int32_t frame, double bpm, int direction) {
    if (!(bpm > 0)) return frame;
    // The beat whose time the frame's is about, then whole beats either way
    // until one lies beyond the frame (a frame of the clock is shorter than
    // any beat below 1818 bpm, so a few steps do).
    const double about = std::floor(frame / kFramesPerSecond * bpm / 60.0);
    if (direction > 0) {
        for (double beat = std::max(0.0, about - 1); beat <= about + 64; ++beat)
            if (const std::int32_t at = frameAtBeat(beat, bpm); at > frame) return at;
        return frame;
    }
    for (double beat = std::max(0.0, about + 1); beat >= 0 && beat >= about - 64; --beat)
        if (const std::int32_t at = frameAtBeat(beat, bpm); at < frame) return at;
    return frame;
}

bool sceneEnded(std::int32_t first, std::int32_t last, float t) {
    const double firstValue = static_cast<std::uint32_t>(first);
    const double lastValue = static_cast<std::uint32_t>(last);
    return lastValue < firstValue + static_cast<double>(t);
}

ShownFrames shownFrames(std::int32_t first, std::int32_t last) {
    ShownFrames shown;
    shown.first = first;
    shown.last = last;
    const std::uint32_t from = static_cast<std::uint32_t>(first), to = static_cast<std::uint32_t>(last);
    // The end test at scene time 0 is last < first; the strict test lets the
    // pass at exactly last - first go on, so every frame up to last is shown.
    shown.endsAtOnce = sceneEnded(first, last, 0.0f);
    if (shown.endsAtOnce) return shown;
    shown.count = std::uint64_t{to} - from + 1;
    // The latest scene time the clock gives before its counter wraps.
    shown.neverEnds = !sceneEnded(first, last, sceneTime(std::numeric_limits<std::uint32_t>::max(), 0.0f));
    return shown;
}

std::int32_t ShownFrames::frame(std::uint64_t index) const {
    return frameNumber(first, static_cast<float>(index));
}

std::string ShownFrames::describe(const std::string& what) const {
    const std::uint32_t from = static_cast<std::uint32_t>(first), to = static_cast<std::uint32_t>(last);
    const std::string range = what + " " + std::to_string(first) + " to " + std::to_string(last);
    const std::int32_t drawn = frame(0);
    if (endsAtOnce) {
        const std::string why = first < 0 ? "the first frame is read as " + std::to_string(from) + ", after the last"
                                          : "the last frame comes before the first";
        return range + " ends at once for the player (" + why + "): it shows 1 frame" +
               (drawn != first ? ", drawn as frame " : ", frame ") + std::to_string(drawn);
    }
    std::string unsignedNote;
    if (first < 0) unsignedNote += "the first frame is read as " + std::to_string(from);
    if (last < 0)
        unsignedNote += (unsignedNote.empty() ? "the last frame is read as " : ", the last as ") + std::to_string(to);
    if (neverEnds) {
        const float wrap = sceneTime(std::numeric_limits<std::uint32_t>::max(), 0.0f);
        char days[32];
        std::snprintf(days, sizeof days, "%.1f", std::numeric_limits<std::uint32_t>::max() / 86400000.0);
        return range + " never ends for the player (" + (unsignedNote.empty() ? "" : unsignedNote + "; ") +
               "its clock wraps after " + days + " days, " + std::to_string(static_cast<std::uint64_t>(wrap)) +
               " frames in, before it gets past the last): it shows frames until it is stopped";
    }
    std::string text = range + ": the player shows " + std::to_string(count) + (count == 1 ? " frame" : " frames");
    if (!unsignedNote.empty() || drawn != first) {
        text += " (" + unsignedNote;
        if (drawn != first) text += std::string(unsignedNote.empty() ? "" : "; ") + "each drawn as frame " + std::to_string(drawn);
        text += ")";
    }
    return text;
}

}  // namespace zor
