#pragma once
// The main loop: every pass drains the window messages, turns the
// millisecond clock into a scene frame (30.3 frames per second of wall time
// from the scene's first frame), draws it, blits the logo, tests for the end
// of the frame range and presents. The loop never sleeps; a slow machine
// skips frames rather than slowing the animation.
//
// A pass is a function of one clock reading, and the drawing sits behind
// RenderSlots and PassTarget, so the clock and end rules run without a screen.

#include <cstdint>

#include "frame/pass.h"
#include "frame/render_slots.h"
#include "platform/window_system.h"
#include "scene/scene.h"
#include "scene/timeline.h"

namespace zor {

class MainLoop {
public:
    // `scenes` holds `sceneCount` entries; only entry 0 is ever played.
    MainLoop(WindowSystem& system, RenderSlots& slots, PassTarget& target, Scene* scenes, int sceneCount)
        : system_(system), slots_(slots), target_(target), scenes_(scenes), sceneCount_(sceneCount) {}

    // Smooth motion: each pass draws the clock's fractional frame instead of
    // the whole frame it falls in (off by default, as the player was made).
    void setSmooth(bool smooth) { smooth_ = smooth; }
    // Starts (or restarts) the scene clock at the current reading.
    void startClock();
    // One pass after the message drain, at clock reading `now`.
    void runPass(std::uint32_t now);
    // A pass at a fixed frame number of scene entry 0, without the clock and
    // the end test: depth clear, particle size, frame, logo, present.
    void showFrame(std::int32_t frame);
    // The same at a fractional frame (smooth motion).
    void showFrameAt(float frame);
    // Drain, pass, drain, pass, ... until a quit message is taken.
    void run();

    float startTime() const { return start_; }
    int sceneIndex() const { return sceneIndex_; }
    std::int32_t lastFrameDrawn() const { return lastFrame_; }
    std::uint64_t passes() const { return passes_; }

private:
    WindowSystem& system_;
    RenderSlots& slots_;
    PassTarget& target_;
    Scene* scenes_;
    int sceneCount_;
    float start_ = 0;
    int sceneIndex_ = 0;
    std::int32_t lastFrame_ = 0;
    bool smooth_ = false;
    std::uint64_t passes_ = 0;
};

}  // namespace zor
