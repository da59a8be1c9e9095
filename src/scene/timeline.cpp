#include "scene/timeline.h"

#include <cmath>
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

bool sceneEnded(std::int32_t first, std::int32_t last, float t) {
    const double firstValue = static_cast<std::uint32_t>(first);
    const double lastValue = static_cast<std::uint32_t>(last);
    return lastValue < firstValue + static_cast<double>(t);
}

}  // namespace zor
