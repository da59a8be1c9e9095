#include "app/main_loop.h"

#include <cmath>
#include <limits>

#include "app/window_procedure.h"

namespace zor {

namespace {
constexpr double kMillisecondsToSeconds = 0.001;
constexpr double kHalfFramesPerSecond = 15.15;
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

bool sceneEnded(std::int32_t first, std::int32_t last, float t) {
    const double firstValue = static_cast<std::uint32_t>(first);
    const double lastValue = static_cast<std::uint32_t>(last);
    return lastValue < firstValue + static_cast<double>(t);
}

void MainLoop::startClock() {
    start_ = static_cast<float>(system_.milliseconds());
    sceneIndex_ = 0;
}

void MainLoop::runPass(std::uint32_t now) {
    // Only entry 0 is loaded; its end posts the quit message, so no later
    // entry is drawn.
    if (sceneIndex_ < 0 || sceneIndex_ >= sceneCount_) return;
    Scene& scene = scenes_[sceneIndex_];
    const float t = sceneTime(now, start_);
    drawPass(scene, frameNumber(scene.firstFrame, t));
    if (sceneEnded(scene.firstFrame, scene.lastFrame, t)) {
        start_ = static_cast<float>(system_.milliseconds());
        ++sceneIndex_;
        if (sceneIndex_ == 1) system_.postQuitMessage();
    }
    // The frame of the last pass is still presented.
    slots_.endFrame();
    ++passes_;
}

void MainLoop::showFrame(std::int32_t frame) {
    if (sceneCount_ < 1) return;
    drawPass(scenes_[0], frame);
    slots_.endFrame();
    ++passes_;
}

void MainLoop::drawPass(Scene& scene, std::int32_t frame) {
    slots_.beginFrame();
    slots_.particleHalfSize = kParticleHalfSize;
    lastFrame_ = frame;
    target_.drawScene(scene, static_cast<float>(frame));
    target_.blitLogo();
}

void MainLoop::run() {
    while (!drainMessages(system_)) runPass(system_.milliseconds());
}

}  // namespace zor
