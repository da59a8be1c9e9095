#include "app/main_loop.h"

#include "app/window_procedure.h"

namespace zor {

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
    lastFrame_ = frameNumber(scene.firstFrame, t);
    drawPass(slots_, target_, &scene, smooth_ ? smoothFrameNumber(scene.firstFrame, t) : static_cast<float>(lastFrame_));
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
    showFrameAt(static_cast<float>(frame));
    if (sceneCount_ >= 1) lastFrame_ = frame;
}

void MainLoop::showFrameAt(float frame) {
    if (sceneCount_ < 1) return;
    lastFrame_ = static_cast<std::int32_t>(frame);
    drawPass(slots_, target_, &scenes_[0], frame);
    slots_.endFrame();
    ++passes_;
}

void MainLoop::run() {
    while (!drainMessages(system_)) runPass(system_.milliseconds());
}

}  // namespace zor
