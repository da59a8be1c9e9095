// The main loop: frames drawn at given clock readings, the last frame still
// presented, quit by message.

#include <gtest/gtest.h>

#include "../frame/scene_builder.h"
#include "app/main_loop.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "support/recording_slots.h"
#include "support/scripted_window_system.h"
#include "test_support.h"

namespace zor {
namespace {

using test::LoggingSlots;

// Records the frames drawn and what particleHalfSize was at each draw; it
// changes particleHalfSize, as the trail loop may leave it, to check the
// pass resets it.
class FrameRecorder final : public PassTarget {
public:
    FrameRecorder(RenderSlots& slots, CallLog& log) : slots_(slots), log_(log) {}
    void drawScene(Scene&, float frame) override {
        frames.push_back(frame);
        halfSizes.push_back(slots_.particleHalfSize);
        slots_.particleHalfSize = 0.125f;
        log_.push_back("drawScene");
    }
    void blitLogo() override { log_.push_back("blitLogo"); }

    std::vector<float> frames;
    std::vector<float> halfSizes;

private:
    RenderSlots& slots_;
    CallLog& log_;
};

struct LoopFixture : testing::Test {
    CallLog log;
    ScriptedWindowSystem system;
    LoggingSlots slots{log};
    FrameRecorder target{slots, log};
    Scene scene;

    LoopFixture() {
        scene.firstFrame = 0;
        scene.lastFrame = 100;
    }
};

TEST_F(LoopFixture, OnePassInOrderWithTheFrameOfTheReading) {
    MainLoop loop(system, slots, target, &scene, 1);
    system.setTime(5000);
    loop.startClock();
    EXPECT_FLOAT_EQ(loop.startTime(), 5000.0f);
    loop.runPass(6000);
    EXPECT_EQ(log, (CallLog{"beginFrame", "drawScene", "blitLogo", "endFrame"}));
    ASSERT_EQ(target.frames.size(), 1u);
    EXPECT_EQ(target.frames[0], 30.0f);
    EXPECT_EQ(target.halfSizes[0], 0.25f);
    loop.runPass(6001);
    EXPECT_EQ(target.halfSizes[1], 0.25f) << "particleHalfSize not reset by the pass";
    EXPECT_EQ(target.frames[1], 30.0f) << "passes in the same 1/30.3 s draw the same frame";
    WindowMessage message;
    EXPECT_FALSE(system.peekMessage(message));
}

TEST_F(LoopFixture, EndsInTheFirstPassPastLastFrameAndPresentsIt) {
    MainLoop loop(system, slots, target, &scene, 1);
    system.setTime(1000);
    system.setStepPerReading(10);
    loop.startClock();  // reads 1000
    loop.run();         // pass k reads 1000 + 10 k

    // 3310 ms is the first multiple of 10 past 3300.33 ms: pass 331.
    EXPECT_EQ(loop.passes(), 331u);
    EXPECT_EQ(loop.lastFrameDrawn(), 100);  // trunc(3310 x 0.0303) = trunc(100.29)
    EXPECT_EQ(target.frames.back(), 100.0f);
    EXPECT_EQ(target.frames[target.frames.size() - 2], 99.0f);  // 3300 ms: 99.99
    EXPECT_EQ(loop.sceneIndex(), 1);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "endFrame") << "the last frame must still be presented";
    EXPECT_EQ(std::count(log.begin(), log.end(), "endFrame"), 331);
    EXPECT_EQ(system.quitMessagesTaken(), 1);
    // Frame numbers never go backwards and step by whole numbers.
    for (std::size_t i = 1; i < target.frames.size(); ++i) {
        EXPECT_GE(target.frames[i], target.frames[i - 1]);
        EXPECT_EQ(target.frames[i], static_cast<float>(static_cast<int>(target.frames[i])));
    }
}

TEST_F(LoopFixture, EscapeOrAClickEndsItEarly) {
    for (MessageKind kind : {MessageKind::KeyDown, MessageKind::LeftButtonDown, MessageKind::RightButtonDown}) {
        ScriptedWindowSystem clockSystem;
        CallLog passLog;
        LoggingSlots passSlots(passLog);
        FrameRecorder recorder(passSlots, passLog);
        MainLoop loop(clockSystem, passSlots, recorder, &scene, 1);
        clockSystem.setStepPerReading(10);
        loop.startClock();
        clockSystem.scheduleMessage(505, {kind, kVirtualKeyEscape});
        // Another key first: swallowed, the loop goes on.
        clockSystem.scheduleMessage(205, {MessageKind::KeyDown, 'A'});
        loop.run();
        // The clock started at 0; passes read 10, 20, ... 500. After the
        // reading 500 the clock stands at 510 and the next drain sees it.
        EXPECT_EQ(loop.passes(), 50u);
        EXPECT_EQ(loop.sceneIndex(), 0);
        EXPECT_EQ(recorder.frames.back(), 15.0f);  // trunc(500 x 0.0303)
    }
}

// The real frame pass into recording slots: what a pass puts on screen.
class FramePassRecorder final : public PassTarget {
public:
    explicit FramePassRecorder(RenderSlots& slots) : slots_(slots) { setupViewport(viewport_, 0, 0); }
    void drawScene(Scene& scene, float frame) override { drawSceneFrame(scene, frame, viewport_, context_, slots_); }
    void blitLogo() override {}

private:
    RenderSlots& slots_;
    Viewport viewport_;
    FrameContext context_;
};

TEST(SmoothMotion, AMovingObjectMovesWithinOneWholeFrameOnlyWhenSmooth) {
    for (const bool smooth : {false, true}) {
        Scene scene;
        scene.firstFrame = 0;
        scene.lastFrame = 100;
        scene.camera.motion = test::constantMotion(test::pose(0, 0, 0));
        SceneObject& object = scene.objects.emplace_back();
        object.motion = test::linearMotion(0, test::pose(0, 0, 10), 100, test::pose(10, 0, 10));
        test::addPoint(object, {0, 0, 0}, {0, 0, -1});
        test::addPoint(object, {1, 0, 0}, {0, 0, -1});
        test::addPoint(object, {0, 1, 0}, {0, 0, -1});
        test::addPolygon(object, {0, 1, 2});
        ScriptedWindowSystem clock;
        RecordingSlots slots;
        FramePassRecorder target(slots);
        MainLoop loop(clock, slots, target, &scene, 1);
        loop.setSmooth(smooth);
        loop.startClock();
        // 1000 and 1015 ms: 30.3 and 30.75 frames, both in whole frame 30.
        const auto placeAt = [&](std::uint32_t now) {
            slots.clear();
            loop.runPass(now);
            const std::vector<RecordedCall> draws = slots.callsOf(SlotCall::drawPolygon);
            EXPECT_EQ(draws.size(), 1u);
            return draws.empty() ? std::array<float, 3>{} : draws[0].firstVertex;
        };
        const std::array<float, 3> first = placeAt(1000), second = placeAt(1015);
        if (smooth) {
            // 10 units over 100 frames: 0.45 frame later is 0.045 further.
            EXPECT_NEAR(second[0] - first[0], 0.045f, 1e-3f);
        } else {
            EXPECT_EQ(second, first) << "two passes in one whole frame drew different pictures";
            EXPECT_NEAR(first[0], 3.0f, 1e-4f);  // frame 30
        }
    }
}

TEST_F(LoopFixture, NoPassDrawsBeyondTheLoadedScenes) {
    MainLoop loop(system, slots, target, &scene, 1);
    loop.startClock();
    loop.runPass(4000);  // ends the scene
    EXPECT_EQ(loop.sceneIndex(), 1);
    log.clear();
    loop.runPass(4001);
    EXPECT_TRUE(log.empty()) << "a pass after the end drew something";
}

}  // namespace
}  // namespace zor
