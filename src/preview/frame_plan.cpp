#include "preview/frame_plan.h"

#include <cmath>
#include <limits>

#include "scene/timeline.h"

namespace zor {

namespace {

// The millisecond reading of pass k, as the player's 32-bit counter has it.
std::uint64_t passMilliseconds(std::uint64_t pass, double fps) {
    return static_cast<std::uint64_t>(std::llround(double(pass) * 1000.0 / fps));
}

float passTime(std::uint64_t pass, double fps) {
    return sceneTime(static_cast<std::uint32_t>(passMilliseconds(pass, fps)), 0.0f);
}

}  // namespace

FramePlan FramePlan::range(std::int32_t first, std::int32_t last, std::int32_t step) {
    FramePlan plan;
    plan.first_ = first;
    plan.step_ = step > 0 ? step : 1;
    if (last >= first) plan.count_ = static_cast<std::uint64_t>((std::int64_t{last} - first) / plan.step_) + 1;
    return plan;
}

FramePlan FramePlan::player(const ShownFrames& shown) {
    FramePlan plan;
    plan.kind_ = Kind::Player;
    plan.first_ = shown.first;
    plan.count_ = shown.count;
    return plan;
}

std::optional<FramePlan> FramePlan::clock(std::int32_t first, std::int32_t last, double fps, std::string& whyNot) {
    if (!(fps > 0)) {
        whyNot = "the pass rate must be above 0";
        return std::nullopt;
    }
    FramePlan plan;
    plan.kind_ = Kind::Clock;
    plan.first_ = first;
    plan.fps_ = fps;
    // The last pass before the millisecond counter wraps.
    std::uint64_t low = 0, high = static_cast<std::uint64_t>(
                                       std::floor(double(std::numeric_limits<std::uint32_t>::max()) * fps / 1000.0));
    while (high > 0 && passMilliseconds(high, fps) > std::numeric_limits<std::uint32_t>::max()) --high;
    if (!sceneEnded(first, last, passTime(high, fps))) {
        whyNot = "the player's clock would wrap (after 49.7 days) before it reached frame " + std::to_string(last);
        return std::nullopt;
    }
    // The scene time only grows from pass to pass, so the ending pass is
    // found by halving.
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (sceneEnded(first, last, passTime(middle, fps)))
            high = middle;
        else
            low = middle + 1;
    }
    plan.count_ = low + 1;
    return plan;
}

float FramePlan::smoothFrame(std::uint64_t index) const {
    if (kind_ == Kind::Clock) return smoothFrameNumber(first_, passTime(index, fps_));
    return static_cast<float>(frame(index));
}

std::int32_t FramePlan::frame(std::uint64_t index) const {
    if (kind_ == Kind::Clock) return frameNumber(first_, passTime(index, fps_));
    if (kind_ == Kind::Player) return ShownFrames{first_}.frame(index);
    return static_cast<std::int32_t>(std::int64_t{first_} + static_cast<std::int64_t>(index) * step_);
}

}  // namespace zor
