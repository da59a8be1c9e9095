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

}  // namespace
}  // namespace zor
