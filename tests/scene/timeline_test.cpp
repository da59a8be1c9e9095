// The scene's timeline: frame numbers at given clock readings and the strict,
// unsigned end test.

#include <gtest/gtest.h>

#include <climits>

#include "scene/timeline.h"

namespace zor {
namespace {

TEST(FrameClock, ThirtyPointThreeFramesPerSecondFromTheExactReading) {
    // 15.15 x 2 frames per second: 1 s -> 30.3, 33 ms -> 0.9999, 34 ms -> 1.0302.
    EXPECT_FLOAT_EQ(sceneTime(1000, 0.0f), 30.3f);
    EXPECT_FLOAT_EQ(sceneTime(2000, 1000.0f), 30.3f);
    EXPECT_EQ(frameNumber(0, sceneTime(33, 0.0f)), 0);
    EXPECT_EQ(frameNumber(0, sceneTime(34, 0.0f)), 1);
    EXPECT_EQ(frameNumber(0, sceneTime(3300, 0.0f)), 99);
    EXPECT_EQ(frameNumber(0, sceneTime(3301, 0.0f)), 100);
    EXPECT_EQ(frameNumber(25, sceneTime(1000, 0.0f)), 55);
    EXPECT_FLOAT_EQ(sceneTime(0, 0.0f), 0.0f);

    // Start 2^25 is a float; the reading 2^25 + 34 is not (floats there are 4
    // apart, and it would round to 2^25). The difference must be 34 ms, one
    // frame, not 32 ms.
    EXPECT_EQ(frameNumber(0, sceneTime(33554466u, 33554432.0f)), 1);
}

TEST(FrameClock, SecondsBecomeTheFrameTheClockShows) {
    // 33.4 ms is read as 33 (frame 0), 33.6 ms as 34 (frame 1): rounded to the
    // millisecond, not truncated.
    EXPECT_EQ(frameAtSeconds(0.0334), 0);
    EXPECT_EQ(frameAtSeconds(0.0336), 1);
    // 70.033 s x 30.3 is 2121.9999 in doubles; the clock's float scene time
    // reaches 2122, and the player shows frame 2122.
    EXPECT_EQ(frameAtSeconds(70.033), 2122);
    EXPECT_EQ(frameAtSeconds(15.0), 454);
    EXPECT_EQ(frameAtSeconds(-1.0), 0);
}

TEST(FrameClock, TruncationAndUnsignedFirstFrame) {
    EXPECT_EQ(frameNumber(10, 0.999f), 10);
    EXPECT_EQ(frameNumber(10, 1.0f), 11);
    // A negative first frame is taken as a huge unsigned value: far beyond
    // any 32-bit integer, so the conversion gives the integer minimum.
    EXPECT_EQ(frameNumber(-1, 0.0f), INT_MIN);
}

TEST(FrameClock, EndTestIsStrictAndUnsigned) {
    EXPECT_FALSE(sceneEnded(0, 100, 100.0f));
    EXPECT_TRUE(sceneEnded(0, 100, 100.01f));
    EXPECT_FALSE(sceneEnded(0, 100, 99.99f));
    EXPECT_FALSE(sceneEnded(50, 100, 50.0f));
    EXPECT_TRUE(sceneEnded(50, 100, 50.5f));
    // As unsigned values a negative first frame lies past any last frame.
    EXPECT_TRUE(sceneEnded(-1, 100, 0.0f));
    // 100 / 30.3 s: not ended at 3300 ms, ended at 3301 ms.
    EXPECT_FALSE(sceneEnded(0, 100, sceneTime(3300, 0.0f)));
    EXPECT_TRUE(sceneEnded(0, 100, sceneTime(3301, 0.0f)));
}

// What every walker of a range (zor-render, zor-view, zor-inspect --check,
// the page's bench) takes from the end rule.
TEST(FrameClock, ShownFramesFollowTheEndRule) {
    // The widest range written: as unsigned values the first frame
    // (2147483648) lies after the last (2147483647), so the player ends in
    // its first pass.
    const ShownFrames widest = shownFrames(INT_MIN, INT_MAX);
    EXPECT_TRUE(widest.endsAtOnce);
    EXPECT_EQ(widest.count, 1u);
    EXPECT_EQ(widest.frame(0), INT_MIN);
    EXPECT_EQ(widest.describe("the scene's range"),
              "the scene's range -2147483648 to 2147483647 ends at once for the player (the first frame is read as "
              "2147483648, after the last): it shows 1 frame, frame -2147483648");
    EXPECT_EQ(shownFrames(-10, 100).describe("the scene's range"),
              "the scene's range -10 to 100 ends at once for the player (the first frame is read as 4294967286, "
              "after the last): it shows 1 frame, drawn as frame -2147483648");

    // First after last: one frame, the first.
    const ShownFrames backwards = shownFrames(100, 10);
    EXPECT_TRUE(backwards.endsAtOnce);
    EXPECT_EQ(backwards.count, 1u);
    EXPECT_EQ(backwards.frame(0), 100);

    // The pass at exactly last - first does not end the range (the test is
    // strict), so the last frame is shown: 0 to 100 is 101 frames, and one
    // frame for a range that starts where it ends.
    const ShownFrames plain = shownFrames(0, 100);
    EXPECT_FALSE(plain.endsAtOnce || plain.neverEnds);
    EXPECT_EQ(plain.count, 101u);
    EXPECT_EQ(plain.frame(100), 100);
    EXPECT_FALSE(sceneEnded(0, 100, 100.0f));
    EXPECT_EQ(plain.describe("the scene's range"), "the scene's range 0 to 100: the player shows 101 frames");
    EXPECT_EQ(shownFrames(7, 7).count, 1u);
    EXPECT_FALSE(shownFrames(7, 7).endsAtOnce);

    // A last frame read as 4294967295 lies beyond what the clock reaches
    // before its counter wraps.
    EXPECT_TRUE(shownFrames(0, -1).neverEnds);
    EXPECT_FALSE(shownFrames(0, 100000000).neverEnds);
}

}  // namespace
}  // namespace zor
