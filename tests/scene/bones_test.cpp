// Bone rest frames and weights, and the rotation they are built from.
// Expected weights come from the distance rule worked out by hand: raw weight
// strength * dist^(-e/2) with e = 1, 2, 4, 8, 16 by falloff type, then
// normalised over the bones.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "scene/bones.h"
#include "scene/scene_reader.h"

namespace zor {
namespace {

constexpr float kRotationTolerance = 2e-6f;

SceneObject objectWithPoints(const std::vector<std::array<float, 3>>& positions) {
    SceneObject o;
    o.pointCount = static_cast<std::uint16_t>(positions.size());
    o.points.resize(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        for (int k = 0; k < 3; ++k) o.points[i].position[k] = positions[i][k];
    }
    return o;
}

SceneBone& addBone(SceneObject& o, std::array<float, 3> position, float length, float strength = 1) {
    SceneBone& b = appendBone(o);
    for (int k = 0; k < 3; ++k) b.restPosition[k] = position[k];
    b.restLength = length;
    b.strength = strength;
    return b;
}

void expectMatrix(const float* m, std::array<float, 9> expected, float tolerance = kRotationTolerance) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], expected[i], tolerance) << "entry " << i;
}

TEST(RotationFromAngles, SingleAxes) {
    expectMatrix(rotationFromAngles(0, 0, 0).data(), {1, 0, 0, 0, 1, 0, 0, 0, 1});
    // A = -pi/2: cos A = 0, sin A = -1.
    expectMatrix(rotationFromAngles(90, 0, 0).data(), {0, 0, -1, 0, 1, 0, 1, 0, 0});
    // C = -pi/2: R11 = R22 = 0, R12 = -sin C = 1, R21 = sin C = -1.
    expectMatrix(rotationFromAngles(0, 90, 0).data(), {1, 0, 0, 0, 0, 1, 0, -1, 0});
    // E = -pi/2: R01 = -sin E = 1, R10 = sin E = -1.
    expectMatrix(rotationFromAngles(0, 0, 90).data(), {0, 1, 0, -1, 0, 0, 0, 0, 1});
}

TEST(RotationFromAngles, CombinedAnglesStayOrthonormal) {
    const auto r = rotationFromAngles(33, -71, 140);
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            const double dot = double(r[a * 3]) * r[b * 3] + double(r[a * 3 + 1]) * r[b * 3 + 1] +
                               double(r[a * 3 + 2]) * r[b * 3 + 2];
            EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-6);
        }
    }
    // R21 = sin C with C = 71 degrees (in the factor's units).
    EXPECT_NEAR(r[7], std::sin(71 * 0.01745328), 1e-6);
}

TEST(PrepareBones, SingleRootBone) {
    SceneObject o = objectWithPoints({{0, 0, 0}, {5, -3, 2}, {0, 0, 100}});
    addBone(o, {1, 2, 3}, 4);
    prepareBones(o);
    const SceneBone& b = o.bones[0];
    expectMatrix(b.restMatrix, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    EXPECT_EQ(b.worldRestPosition[0], 1.0f);
    EXPECT_EQ(b.worldRestPosition[1], 2.0f);
    EXPECT_EQ(b.worldRestPosition[2], 3.0f);
    for (float w : b.weights) EXPECT_FLOAT_EQ(w, 1.0f);
    EXPECT_TRUE(o.weightSums.empty());
    EXPECT_EQ(o.weightSums.capacity(), 0u);
    EXPECT_EQ(o.restPoints.size(), 3u);
}

TEST(PrepareBones, TwoBoneChainWithHeading90) {
    SceneObject o = objectWithPoints({{2, 1, 0}});
    SceneBone& root = addBone(o, {0, 0, 0}, 0.5f);
    root.restDirection[0] = 90;
    addBone(o, {0, 0, 1}, 2);
    o.bones[1].parent = &o.bones[0];
    prepareBones(o);
    const SceneBone& child = o.bones[1];
    EXPECT_NEAR(child.worldRestPosition[0], 1, kRotationTolerance);
    EXPECT_NEAR(child.worldRestPosition[1], 0, kRotationTolerance);
    EXPECT_NEAR(child.worldRestPosition[2], 0, kRotationTolerance);
    expectMatrix(o.bones[0].restMatrix, {0, 0, -1, 0, 1, 0, 1, 0, 0});
    expectMatrix(child.restMatrix, {0, 0, -1, 0, 1, 0, 1, 0, 0});
    // (2,1,0) is (1,1,0) from the child's base: in its frame lx = 0, ly = 1,
    // lz = 1, so 1 from the segment (raw 1). From the root it is (0, 1, 2),
    // past the 0.5 tip: dist sqrt(1 + 1.5^2), raw 3.25^(-1/4).
    const double fromChild = 1;
    const double fromRoot = std::pow(3.25, -0.25);
    EXPECT_NEAR(child.weights[0], fromChild / (fromChild + fromRoot), 1e-6);
    EXPECT_NEAR(o.bones[0].weights[0], fromRoot / (fromChild + fromRoot), 1e-6);
}

// Bone A from the origin along +z with length 2; reference bone B of length
// 0 at a chosen distance. With falloff type 1 raw weights are 1/dist, so
// A's share is distB / (distA + distB).
double shareOfA(std::array<float, 3> point, std::array<float, 3> reference) {
    SceneObject o = objectWithPoints({point});
    o.boneFalloffType = 1;
    addBone(o, {0, 0, 0}, 2);
    addBone(o, reference, 0);
    prepareBones(o);
    return o.bones[0].weights[0];
}

TEST(PrepareBones, DistanceIsMeasuredFromTheSegment) {
    EXPECT_NEAR(shareOfA({0, 0, 5}, {4, 0, 5}), 4.0 / 7.0, 1e-6);    // beyond the tip: 3 from it
    EXPECT_NEAR(shareOfA({0, 0, -3}, {4, 0, -3}), 4.0 / 7.0, 1e-6);  // behind the base: 3 from it
    EXPECT_NEAR(shareOfA({1, 0, 1}, {1, 2, 1}), 2.0 / 3.0, 1e-6);    // beside: 1 from the segment
    EXPECT_NEAR(shareOfA({0, 3, 0.5f}, {0, 3, 2.5f}), 2.0 / 5.0, 1e-6);
}

TEST(PrepareBones, FalloffTypes) {
    // Point at dist 2 from A and 1 from B: A's raw weight is 2^(-e/2).
    const double expected[] = {1 / (1 + std::sqrt(2.0)), 1.0 / 3, 1.0 / 5, 1.0 / 17, 1.0 / 257, 1 / (1 + std::sqrt(2.0))};
    const int types[] = {0, 1, 2, 3, 4, 9};
    for (int i = 0; i < 6; ++i) {
        SceneObject o = objectWithPoints({{0, 0, 0}});
        o.boneFalloffType = types[i];
        addBone(o, {2, 0, 0}, 0);
        addBone(o, {0, 1, 0}, 0);
        prepareBones(o);
        EXPECT_NEAR(o.bones[0].weights[0], expected[i], 1e-6) << "type " << types[i];
        EXPECT_NEAR(o.bones[0].weights[0] + o.bones[1].weights[0], 1.0, 1e-6);
    }
}

TEST(PrepareBones, PointOnTheBoneGetsTheFloor) {
    SceneObject o = objectWithPoints({{0, 0, 1}});
    addBone(o, {0, 0, 0}, 2);       // dist 0: raw sqrt(1/0.001)
    addBone(o, {0, 1, 1}, 0, 2.0f);  // dist 1, strength 2: raw 2
    prepareBones(o);
    const double onBone = std::sqrt(1000.0);
    EXPECT_NEAR(o.bones[0].weights[0], onBone / (onBone + 2), 1e-6);
}

TEST(PrepareBones, ScaleStrengthOnlyWhenExactlyOne) {
    SceneObject o = objectWithPoints({{0, 0, 0}});
    addBone(o, {0, 0, 0}, 3, 2).scaleStrength = 1;
    addBone(o, {0, 0, 0}, 3, 2).scaleStrength = 2;
    prepareBones(o);
    EXPECT_EQ(o.bones[0].strength, 6.0f);
    EXPECT_EQ(o.bones[1].strength, 2.0f);
    EXPECT_NEAR(o.bones[0].weights[0], 0.75, 1e-6);
}

TEST(PrepareBones, EqualBonesShareEqually) {
    SceneObject o = objectWithPoints({{0, 0, 0}, {3, 4, 0}});
    addBone(o, {1, 0, 0}, 0);
    addBone(o, {-1, 0, 0}, 0);
    prepareBones(o);
    EXPECT_FLOAT_EQ(o.bones[0].weights[0], 0.5f);
    EXPECT_FLOAT_EQ(o.bones[1].weights[0], 0.5f);
}

TEST(PrepareBones, LimitedRangeExcludesDistantPoints) {
    SceneObject o = objectWithPoints({{0, 0, 0}, {1, 0, 0}});
    SceneBone& a = addBone(o, {2, 0, 0}, 0);
    a.limitedRange = 1;
    a.minRange = 0.5f;
    a.maxRange = 1.0f;  // inclusive: the point at (1,0,0) lies at exactly 1
    addBone(o, {0, 1, 0}, 0);  // type 0: raw 1 for point 0, 1/sqrt(sqrt 2) for point 1
    prepareBones(o);
    EXPECT_NEAR(o.bones[0].weights[0], 1e-10, 1e-15);
    EXPECT_FLOAT_EQ(o.bones[1].weights[0], 1.0f);
    const double rawA = 1.0;
    const double rawB = 1 / std::sqrt(std::sqrt(2.0));
    EXPECT_NEAR(o.bones[0].weights[1], rawA / (rawA + rawB), 1e-6);
}

TEST(PrepareBones, PointNoBoneReachesKeepsZeroWeights) {
    SceneObject o = objectWithPoints({{0, 0, 0}, {10, 0, 0}});
    o.name = "Ship.lwo";
    for (int i = 0; i < 2; ++i) {
        SceneBone& b = addBone(o, {0, 0, 0}, 0);
        b.limitedRange = 1;
        b.maxRange = 5;
    }
    Diagnostics d;
    prepareBones(o, &d, "s.lws");
    EXPECT_FLOAT_EQ(o.bones[0].weights[0], 0.5f);
    EXPECT_EQ(o.bones[0].weights[1], 0.0f);
    EXPECT_EQ(o.bones[1].weights[1], 0.0f);
    EXPECT_TRUE(d.contains("1 points of object Ship.lwo are reached by no bone")) << d.items().size();
}

TEST(PrepareBones, ChainsDeeperThan25Work) {
    SceneObject o = objectWithPoints({{0, 0, 0}});
    for (int i = 0; i < 40; ++i) {
        SceneBone& b = addBone(o, {0, 0, 1}, 1);
        b.restDirection[2] = 9;  // bank turns about z and does not move z offsets
    }
    for (int i = 1; i < 40; ++i) o.bones[i].parent = &o.bones[i - 1];
    prepareBones(o);
    EXPECT_NEAR(o.bones[39].worldRestPosition[2], 40.0f, 1e-4);
    EXPECT_NEAR(o.bones[39].worldRestPosition[0], 0.0f, 1e-4);
    // 40 banks of 9 degrees: a full turn, short by 360 * (pi/180 - factor).
    expectMatrix(o.bones[39].restMatrix, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-5f);
}

TEST(PrepareBones, ParentsLaterInTheArrayArePlacedFirst) {
    // Same chain as the heading-90 case, with the child first in the array.
    SceneObject o = objectWithPoints({{0, 0, 0}});
    addBone(o, {0, 0, 1}, 1);
    SceneBone& root = addBone(o, {0, 0, 0}, 1);
    root.restDirection[0] = 90;
    o.bones[0].parent = &o.bones[1];
    prepareBones(o);
    EXPECT_NEAR(o.bones[0].worldRestPosition[0], 1, kRotationTolerance);
    EXPECT_NEAR(o.bones[0].worldRestPosition[2], 0, kRotationTolerance);
    expectMatrix(o.bones[0].restMatrix, {0, 0, -1, 0, 1, 0, 1, 0, 0});
}

TEST(PrepareBones, HostileNumbersGiveFiniteWeights) {
    SceneObject o = objectWithPoints({{0, 0, 1e-7f}, {NAN, 0, 0}, {1e30f, 1e30f, 0}});
    o.boneFalloffType = 4;
    addBone(o, {0, 0, 0}, 0, 3e38f);
    addBone(o, {0, 0, 2e-7f}, 0, 3e38f);
    prepareBones(o);
    for (const SceneBone& b : o.bones) {
        for (float w : b.weights) EXPECT_TRUE(std::isfinite(w)) << w;
    }
}

TEST(SetMorphTarget, DeltasAndRefusal) {
    SceneObject a = objectWithPoints({{1, 2, 3}, {0, 0, 0}});
    SceneObject b = objectWithPoints({{2, 2, 2}, {1, 1, 1}, {9, 9, 9}});
    b.points[1].normal[0] = 0.5f;
    ASSERT_TRUE(setMorphTarget(a, b));
    const std::array<float, 6> first = {1, 0, -1, 0, 0, 0};
    const std::array<float, 6> second = {1, 1, 1, 0.5f, 0, 0};
    EXPECT_EQ(a.morphDeltas[0], first);
    EXPECT_EQ(a.morphDeltas[1], second);
    EXPECT_EQ(a.restPoints.size(), 2u);
    EXPECT_FALSE(setMorphTarget(b, a));
    EXPECT_TRUE(b.morphDeltas.empty());
    EXPECT_TRUE(b.restPoints.empty());
}

}  // namespace
}  // namespace zor
