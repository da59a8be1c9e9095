// Key interpolation: expected values are worked out by hand (or, for the
// uneven TCB case, by a straightforward double-precision transcription of the
// Kochanek-Bartels formulas kept in this file).
#include <cmath>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "scene/motion.h"

namespace zor {
namespace {

struct K {
    int frame;
    float v;
    int linear = 0;
    float tension = 0, continuity = 0, bias = 0;
};

// A one-channel motion from (frame, value) keys, built the way the reader does.
Motion envelope(std::initializer_list<K> list, int endBehavior = 1) {
    Motion m;
    allocateKeys(m, static_cast<int>(list.size()), 0);
    int i = 0;
    for (const K& k : list) {
        MotionKey& key = m.keys[i++];
        key.frame = k.frame;
        key.value[0] = k.v;
        key.linear = k.linear;
        key.tension = k.tension;
        key.continuity = k.continuity;
        key.bias = k.bias;
    }
    m.channelCount = 1;
    m.lastKeyFrame = list.size() ? m.keys.back().frame : 0;
    m.endBehavior = endBehavior;
    return m;
}

float at(Motion& m, float frame) {
    evaluateMotion(m, frame);
    return m.value[0];
}

TEST(HermiteBasis, WeightsAtKnownParameters) {
    auto h = hermiteBasis(0.0f);
    EXPECT_FLOAT_EQ(h[0], 1); EXPECT_FLOAT_EQ(h[1], 0); EXPECT_FLOAT_EQ(h[2], 0); EXPECT_FLOAT_EQ(h[3], 0);
    h = hermiteBasis(1.0f);
    EXPECT_FLOAT_EQ(h[0], 0); EXPECT_FLOAT_EQ(h[1], 1); EXPECT_FLOAT_EQ(h[2], 0); EXPECT_FLOAT_EQ(h[3], 0);
    h = hermiteBasis(0.5f);
    EXPECT_FLOAT_EQ(h[0], 0.5f); EXPECT_FLOAT_EQ(h[1], 0.5f); EXPECT_FLOAT_EQ(h[2], 0.125f); EXPECT_FLOAT_EQ(h[3], -0.125f);
    // t = 1/4: t^2 = 1/16, t^3 = 1/64.
    h = hermiteBasis(0.25f);
    EXPECT_FLOAT_EQ(h[0], 0.84375f); EXPECT_FLOAT_EQ(h[1], 0.15625f);
    EXPECT_FLOAT_EQ(h[2], 0.140625f); EXPECT_FLOAT_EQ(h[3], -0.046875f);
}

TEST(AllocateKeys, LinksNeighboursAndZeroes) {
    Motion m;
    m.keys.resize(7);
    allocateKeys(m, 3, 1);
    ASSERT_EQ(m.keys.size(), 3u);
    EXPECT_EQ(m.keyCount, 3);
    EXPECT_EQ(m.lastKeyFrame, 1);
    EXPECT_EQ(m.keys[0].prev, -1); EXPECT_EQ(m.keys[0].next, 1);
    EXPECT_EQ(m.keys[1].prev, 0);  EXPECT_EQ(m.keys[1].next, 2);
    EXPECT_EQ(m.keys[2].prev, 1);  EXPECT_EQ(m.keys[2].next, -1);
    for (const MotionKey& k : m.keys) {
        EXPECT_EQ(k.frame, 0); EXPECT_EQ(k.linear, 0); EXPECT_EQ(k.tension, 0); EXPECT_EQ(k.value[8], 0);
    }
    allocateKeys(m, -4, 0);
    EXPECT_TRUE(m.keys.empty());
    EXPECT_EQ(m.keyCount, 0);
}

TEST(EvaluateMotion, NoKeysGiveTheNeutralPose) {
    Motion m;  // as left by a scene that never gave the block
    for (float& v : m.value) v = 7;
    evaluateMotion(m, 12.5f);
    const float expected[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};
    for (int c = 0; c < 9; ++c) EXPECT_EQ(m.value[c], expected[c]) << c;
}

TEST(EvaluateMotion, OneKeyHoldsEverywhere) {
    Motion m;
    allocateKeys(m, 1, 40);
    m.channelCount = 9;
    m.endBehavior = 0;
    for (int c = 0; c < 9; ++c) m.keys[0].value[c] = 1.5f * c - 2;
    m.keys[0].frame = 40;
    for (float f : {-100.0f, 0.0f, 39.5f, 40.0f, 41.0f, 1e6f}) {
        evaluateMotion(m, f);
        for (int c = 0; c < 9; ++c) EXPECT_EQ(m.value[c], 1.5f * c - 2) << f;
    }
}

TEST(EvaluateMotion, OnlyTheMotionsChannelsAreWritten) {
    Motion m = envelope({{0, 1}, {10, 3}});
    m.value[1] = 42;
    evaluateMotion(m, 5);
    EXPECT_FLOAT_EQ(m.value[0], 2);
    EXPECT_EQ(m.value[1], 42);
}

TEST(EvaluateMotion, ExactKeyFramesGiveExactValues) {
    Motion m = envelope({{0, 1.25f, 0, 0.3f, -0.2f, 0.5f},
                         {10, -7.75f, 0, -0.4f, 0.6f, 0.1f},
                         {25, 3.0f, 0, 0.9f, 0.0f, -0.7f},
                         {26, 100.0f, 1}});
    EXPECT_EQ(at(m, 0), 1.25f);
    EXPECT_EQ(at(m, 10), -7.75f);
    EXPECT_EQ(at(m, 25), 3.0f);
    EXPECT_EQ(at(m, 26), 100.0f);
}

TEST(EvaluateMotion, ZeroTcbBetweenTwoKeysIsLinear) {
    Motion m;
    allocateKeys(m, 2, 10);
    m.channelCount = 9;
    for (int c = 0; c < 9; ++c) {
        m.keys[0].value[c] = static_cast<float>(c);       // c at frame 0
        m.keys[1].value[c] = static_cast<float>(c + 4);   // c + 4 at frame 10
    }
    m.keys[1].frame = 10;
    for (float f : {0.0f, 2.5f, 5.0f, 7.5f, 10.0f}) {
        evaluateMotion(m, f);
        for (int c = 0; c < 9; ++c) EXPECT_NEAR(m.value[c], c + 0.4 * f, 1e-5) << "frame " << f;
    }
}

TEST(EvaluateMotion, SplineWithNeighbourHandComputed) {
    // Keys 0:0, 10:10, 20:0, zero TCB. At frame 5 (t = 0.5) the outgoing
    // tangent at key 0 is d = 10, the incoming one at key 1 is
    // 10/20 * (10 + (0 - 10)) = 0; weights 0.5, 0.5, 0.125, -0.125 give
    // 0.5*10 + 0.125*10 = 6.25. Frame 15 mirrors it.
    Motion m = envelope({{0, 0}, {10, 10}, {20, 0}});
    EXPECT_NEAR(at(m, 5), 6.25f, 1e-5);
    EXPECT_NEAR(at(m, 15), 6.25f, 1e-5);
}

TEST(EvaluateMotion, LinearFlagBelongsToTheSpansEndKey) {
    Motion endFlag = envelope({{0, 0}, {10, 10}, {20, 0, 1}});
    EXPECT_NEAR(at(endFlag, 15), 5.0f, 1e-6);   // straight: span 10..20 ends at the flagged key
    EXPECT_NEAR(at(endFlag, 5), 6.25f, 1e-5);   // curved: its end key is not flagged

    Motion middleFlag = envelope({{0, 0}, {10, 10, 1}, {20, 0}});
    EXPECT_NEAR(at(middleFlag, 5), 5.0f, 1e-6);
    EXPECT_NEAR(at(middleFlag, 15), 6.25f, 1e-5);  // the flag at its start key does not straighten it
}

TEST(EvaluateMotion, BeforeTheFirstKeyExtrapolatesTheFirstSpan) {
    Motion straight = envelope({{10, 0}, {20, 10, 1}});
    EXPECT_NEAR(at(straight, 5), -5.0f, 1e-5);
    EXPECT_NEAR(at(straight, -10), -20.0f, 1e-5);

    // t = -0.5: h = (0, 1, -1.125, -0.375); tangents 10 and 0 as above.
    Motion curve = envelope({{10, 0}, {20, 10}, {30, 0}});
    EXPECT_NEAR(at(curve, 5), 10 - 11.25f, 1e-5);
}

TEST(EvaluateMotion, EndBehaviours) {
    Motion reset = envelope({{0, 1}, {30, 4}}, 0);
    EXPECT_EQ(at(reset, 30.5f), 1.0f);
    EXPECT_EQ(at(reset, 30.0f), 4.0f);  // the last frame itself is not past the end
    Motion stop = envelope({{0, 1}, {30, 4}}, 1);
    EXPECT_EQ(at(stop, 31.0f), 4.0f);
    EXPECT_EQ(at(stop, 1e9f), 4.0f);
    Motion unknown = envelope({{0, 1}, {30, 4}}, 7);
    EXPECT_EQ(at(unknown, 45.0f), 4.0f);
}

TEST(EvaluateMotion, RepeatDropsTheFraction) {
    // Zero TCB between two keys is the line 1 + 0.1 f.
    Motion m = envelope({{0, 1}, {30, 4}}, 2);
    EXPECT_NEAR(at(m, 37.6f), 1.7f, 1e-5);   // frame 7.0, not 7.6
    EXPECT_NEAR(at(m, 30.0f), 4.0f, 1e-6);
    EXPECT_NEAR(at(m, 60.0f), 1.0f, 1e-6);   // frame 0
    EXPECT_NEAR(at(m, 65.9f), 1.5f, 1e-5);   // frame 5
    EXPECT_NEAR(at(m, 3e9f), 1.0f + 0.1f * static_cast<float>(std::fmod(3e9, 30.0)), 1e-4);
}

TEST(EvaluateMotion, RepeatWithoutPositiveLoopLengthStops) {
    Motion m = envelope({{-20, 2}, {0, 8}}, 2);
    EXPECT_EQ(at(m, 5.0f), 8.0f);
    EXPECT_NEAR(at(m, -10.0f), 5.0f, 1e-5);
}

TEST(EvaluateMotion, KeysThatDoNotRiseStayFinite) {
    Motion m = envelope({{0, 0}, {10, 5}, {10, 7}, {4, 1}, {20, 3}});
    for (float f = -5; f <= 25; f += 0.25f) {
        EXPECT_TRUE(std::isfinite(at(m, f))) << f;
    }
    // At the shared frame the span 10..10 ends at its end key.
    EXPECT_EQ(at(m, 10.0f), 5.0f);
}

// Kochanek-Bartels in double precision, written out from the formulas.
double referenceKb(const std::vector<K>& keys, double x) {
    size_t k = 0;
    while (k + 2 < keys.size() && keys[k + 1].frame < x) ++k;
    const K& q0 = keys[k];
    const K& q1 = keys[k + 1];
    const double span = q1.frame - q0.frame;
    const double t = (x - q0.frame) / span;
    const double d = q1.v - q0.v;
    const double a0 = (1 - q0.tension) * (1 + q0.continuity) * (1 + q0.bias);
    const double b0 = (1 - q0.tension) * (1 - q0.continuity) * (1 - q0.bias);
    const double a1 = (1 - q1.tension) * (1 - q1.continuity) * (1 + q1.bias);
    const double b1 = (1 - q1.tension) * (1 + q1.continuity) * (1 - q1.bias);
    double out = 0.5 * (a0 + b0) * d;
    if (k > 0) out = span / (q1.frame - keys[k - 1].frame) * (a0 * (q0.v - keys[k - 1].v) + b0 * d);
    double in = 0.5 * (a1 + b1) * d;
    if (k + 2 < keys.size()) in = span / (keys[k + 2].frame - q0.frame) * (a1 * d + b1 * (keys[k + 2].v - q1.v));
    const double h1 = 2 * t * t * t - 3 * t * t + 1;
    const double h2 = -2 * t * t * t + 3 * t * t;
    const double h3 = t * t * t - 2 * t * t + t;
    const double h4 = t * t * t - t * t;
    return h1 * q0.v + h2 * q1.v + h3 * out + h4 * in;
}

TEST(EvaluateMotion, UnevenSpacingWithTcbMatchesTheFormulas) {
    const std::vector<K> keys = {{0, 2.0f, 0, 0.5f, 0.0f, 0.0f},
                                 {5, -3.0f, 0, -0.5f, 0.25f, 0.5f},
                                 {20, 6.0f, 0, 0.0f, -0.75f, -0.25f},
                                 {22, 1.0f, 0, 0.2f, 0.3f, 0.9f},
                                 {40, -4.0f, 0, 0.0f, 0.0f, 0.0f}};
    Motion m = envelope({keys[0], keys[1], keys[2], keys[3], keys[4]});
    for (double x : {-3.0, 1.0, 2.5, 4.75, 5.5, 12.0, 19.9, 21.0, 23.0, 31.5, 39.0}) {
        const double expected = referenceKb(keys, x);
        EXPECT_NEAR(at(m, static_cast<float>(x)), expected, 1e-4 * (1 + std::fabs(expected))) << x;
    }
}

}  // namespace
}  // namespace zor
