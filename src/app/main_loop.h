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

#include "frame/render_slots.h"
#include "platform/system/window_system.h"
#include "scene/scene.h"

namespace zor {

inline constexpr float kParticleHalfSize = 0.25f;

// Elapsed scene time in frames for a clock reading: (now - start) x 0.001 x
// 15.15 from the exact reading and the float start, stored as a float, then
// doubled as a float.
float sceneTime(std::uint32_t now, float start);
// trunc(first + t), first taken as unsigned; a sum outside the 32-bit range
// gives INT32_MIN, as the processor's conversion does.
std::int32_t frameNumber(std::int32_t first, float t);
// last < first + t, both frame bounds taken as unsigned, t before truncation.
bool sceneEnded(std::int32_t first, std::int32_t last, float t);

// What a pass draws besides the slots' frame brackets.
class PassTarget {
public:
    virtual ~PassTarget() = default;
    virtual void drawScene(Scene& scene, float frame) = 0;
    // The logo's top-left 256 x 256 onto the back buffer, colour-keyed; a
    // blit that cannot start at once is skipped.
    virtual void blitLogo() = 0;
};

class MainLoop {
public:
    // `scenes` holds `sceneCount` entries; only entry 0 is ever played.
    MainLoop(WindowSystem& system, RenderSlots& slots, PassTarget& target, Scene* scenes, int sceneCount)
        : system_(system), slots_(slots), target_(target), scenes_(scenes), sceneCount_(sceneCount) {}

    // Starts (or restarts) the scene clock at the current reading.
    void startClock();
    // One pass after the message drain, at clock reading `now`.
    void runPass(std::uint32_t now);
    // A pass at a fixed frame number of scene entry 0, without the clock and
    // the end test: depth clear, particle size, frame, logo, present.
    void showFrame(std::int32_t frame);
    // Drain, pass, drain, pass, ... until a quit message is taken.
    void run();

    float startTime() const { return start_; }
    int sceneIndex() const { return sceneIndex_; }
    std::int32_t lastFrameDrawn() const { return lastFrame_; }
    std::uint64_t passes() const { return passes_; }

private:
    // A pass up to the present: depth clear, particle size, frame, logo.
    void drawPass(Scene& scene, std::int32_t frame);

    WindowSystem& system_;
    RenderSlots& slots_;
    PassTarget& target_;
    Scene* scenes_;
    int sceneCount_;
    float start_ = 0;
    int sceneIndex_ = 0;
    std::int32_t lastFrame_ = 0;
    std::uint64_t passes_ = 0;
};

}  // namespace zor
