// Bones and morph targets rebuilding points from the rest copy.

#include <gtest/gtest.h>

#include <random>

#include "frame/deform.h"
#include "frame/linear.h"
#include "frame/transform.h"
#include "scene/motion.h"
#include "scene/scene.h"
#include "scene_builder.h"

namespace zor {
namespace {

using test::addPoint;
using test::constantMotion;
using test::keepRest;
using test::pose;

using test::expectVec;

SceneObject twoPointObject() {
    SceneObject o;
    addPoint(o, {1, 1, 1}, {0, 1, 0});
    addPoint(o, {-2, 0, 3}, {1, 0, 0});
    keepRest(o);
    return o;
}

SceneBone& addBone(SceneObject& o, const test::Pose& motion, std::vector<float> weights) {
    SceneBone& bone = o.bones.emplace_back();
    bone.motion = constantMotion(motion);
    bone.weights = std::move(weights);
    for (int i = 0; i < 9; ++i) bone.restMatrix[i] = kIdentity3[i];
    o.boneCount = static_cast<std::uint16_t>(o.bones.size());
    return bone;
}

TEST(Bones, RestPoseReproducesRestPoints) {
    SceneObject o = twoPointObject();
    // Rest frame: at (1, 2, 3) with heading 90. The rest matrix undoes the
    // heading: the transpose of Ry(90) = rows (0,0,-1), (0,1,0), (1,0,0).
    SceneBone& bone = addBone(o, pose(1, 2, 3, 90), {1, 1});
    const float rest[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    std::copy(rest, rest + 9, bone.restMatrix);
    bone.worldRestPosition[0] = 1;
    bone.worldRestPosition[1] = 2;
    bone.worldRestPosition[2] = 3;
    o.points[0].position[0] = 99;  // whatever was there is rebuilt
    FrameContext context;
    deformBones(o, 0, context);
    expectVec(o.points[0].position, 1, 1, 1);
    expectVec(o.points[0].normal, 0, 1, 0);
    expectVec(o.points[1].position, -2, 0, 3);
    expectVec(o.points[1].normal, 1, 0, 0);
}

TEST(Bones, MovingTheBoneMovesEveryPoint) {
    SceneObject o = twoPointObject();
    addBone(o, pose(1, 0, 0), {1, 1});
    FrameContext context;
    deformBones(o, 0, context);
    deformBones(o, 0, context);  // no accumulation between calls
    expectVec(o.points[0].position, 2, 1, 1);
    expectVec(o.points[1].position, -1, 0, 3);
    expectVec(o.points[1].normal, 1, 0, 0);
}

TEST(Bones, BoneMotionIsEvaluatedAtTheFrame) {
    SceneObject o = twoPointObject();
    SceneBone& bone = addBone(o, pose(0, 0, 0), {1, 1});
    bone.motion = test::linearMotion(0, pose(0, 0, 0), 10, pose(0, 10, 0));
    FrameContext context;
    deformBones(o, 5, context);
    expectVec(o.points[0].position, 1, 6, 1);
}

TEST(Bones, WeightsBlendAndZeroFirstWeightStartsFromRest) {
    SceneObject o = twoPointObject();
    addBone(o, pose(0, 0, 0), {0, 0.25f});
    addBone(o, pose(1, 0, 0), {1, 0.75f});
    FrameContext context;
    deformBones(o, 0, context);
    // Point 0: first weight exactly 0, so rest (1,1,1) plus 1 * ((1,1,1) + (1,0,0)).
    expectVec(o.points[0].position, 3, 2, 2);
    expectVec(o.points[0].normal, 0, 2, 0);
    // Point 1: 0.25 * rest + 0.75 * (rest + (1,0,0)).
    expectVec(o.points[1].position, -1.25f, 0, 3);
}

TEST(Bones, RotatedBoneTurnsPointsAndNormals) {
    SceneObject o = twoPointObject();
    addBone(o, pose(0, 0, 0, 0, 0, 90), {1, 1});  // bank 90 about the bone origin
    FrameContext context;
    deformBones(o, 0, context);
    expectVec(o.points[0].position, -1, 1, 1);
    expectVec(o.points[0].normal, -1, 0, 0);
}

TEST(Bones, ParentScaleScalesOffsetsNotPoints) {
    SceneObject o = twoPointObject();
    addBone(o, pose(0, 0, 0, 0, 0, 0, 2, 2, 2), {0, 0});
    addBone(o, pose(1, 0, 0), {1, 1});
    o.bones[1].parent = &o.bones[0];
    FrameContext context;
    deformBones(o, 0, context);
    // Child bone lands at (2, 0, 0); points are carried unscaled and added to rest.
    expectVec(o.points[0].position, 4, 2, 2);
}

TEST(Bones, ParentRotationCarriesChildBone) {
    SceneObject o = twoPointObject();
    addBone(o, pose(0, 0, 0, 90), {0, 0});
    addBone(o, pose(0, 0, 1), {1, 1});
    o.bones[1].parent = &o.bones[0];
    FrameContext context;
    deformBones(o, 0, context);
    // Child at (1, 0, 0), turned by heading 90: (1,1,1) -> (1,1,-1) + (1,0,0), plus rest.
    expectVec(o.points[0].position, 3, 2, 0);
}

TEST(Bones, NoBonesLeavesPointsAlone) {
    SceneObject o = twoPointObject();
    o.points[0].position[0] = 42;
    FrameContext context;
    deformBones(o, 0, context);
    EXPECT_EQ(o.points[0].position[0], 42);
}

TEST(Bones, ShortWeightArrayCountsAsZero) {
    SceneObject o = twoPointObject();
    addBone(o, pose(1, 0, 0), {1});  // no weight for point 1
    FrameContext context;
    deformBones(o, 0, context);
    expectVec(o.points[0].position, 2, 1, 1);
    expectVec(o.points[1].position, -2, 0, 3);
}

SceneObject morphObject(float amount) {
    SceneObject o = twoPointObject();
    o.hasMorph = 1;
    o.morphDeltas = {{2, 0, -2, 0, -1, 1}, {0, 4, 0, -1, 0, 0}};
    o.morphAmount = test::constantEnvelope(amount);
    return o;
}

// The rule written out plainly, bone by bone over all points, in single
// precision: each bone's full rotation (parents, own motion, rest matrix)
// applied row by row to the point's offset from the bone's rest position.
void referenceDeform(SceneObject& o, FrameContext& context) {
    const std::size_t count = o.points.size();
    for (std::size_t b = 0; b < o.bones.size(); ++b) {
        const SceneBone& bone = o.bones[b];
        const Placement placement = placeBone(bone, o, context);
        Mat3 rest;
        for (int k = 0; k < 9; ++k) rest[k] = bone.restMatrix[k];
        const Mat3 m = multiply(multiply(placement.rotation, motionRotation(bone.motion)), rest);
        for (std::size_t i = 0; i < count; ++i) {
            const MeshPoint& source = o.restPoints[i];
            MeshPoint& target = o.points[i];
            const float w = i < bone.weights.size() ? bone.weights[i] : 0.0f;
            if (b == 0 && w == 0.0f) {
                target = source;
                continue;
            }
            float offset[3], q[3], n[3];
            for (int k = 0; k < 3; ++k) offset[k] = source.position[k] - bone.worldRestPosition[k];
            for (int r = 0; r < 3; ++r) {
                q[r] = m[r * 3] * offset[0] + m[r * 3 + 1] * offset[1] + m[r * 3 + 2] * offset[2];
                n[r] = m[r * 3] * source.normal[0] + m[r * 3 + 1] * source.normal[1] + m[r * 3 + 2] * source.normal[2];
            }
            for (int k = 0; k < 3; ++k) {
                const float moved = w * (q[k] + placement.position[k]);
                target.position[k] = b == 0 ? moved : target.position[k] + moved;
                target.normal[k] = b == 0 ? w * n[k] : target.normal[k] + w * n[k];
            }
        }
    }
}

TEST(Bones, ManyBonesMatchTheRuleBitForBit) {
    // 37 chained and loose bones (more than any internal grouping), random
    // weights with exact zeros, and short weight arrays.
    std::mt19937 random(7);
    const auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); };
    SceneObject o;
    for (int i = 0; i < 300; ++i)
        addPoint(o, {uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)}, {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
    keepRest(o);
    for (int b = 0; b < 37; ++b) {
        std::vector<float> weights(b % 5 == 4 ? 150 : 300);
        for (float& w : weights) w = uniform(0, 1) < 0.2f ? 0.0f : uniform(0, 0.3f);
        SceneBone& bone = addBone(o, pose(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(0, 360),
                                          uniform(-90, 90), uniform(0, 360)),
                                  std::move(weights));
        for (int k = 0; k < 3; ++k) bone.worldRestPosition[k] = uniform(-2, 2);
        for (int k = 0; k < 9; ++k) bone.restMatrix[k] = uniform(-1, 1);
    }
    for (std::size_t b = 1; b < o.bones.size(); ++b)
        if (b % 3) o.bones[b].parent = &o.bones[b - 1];
    SceneObject expected = o;
    for (std::size_t b = 1; b < expected.bones.size(); ++b)
        if (o.bones[b].parent) expected.bones[b].parent = &expected.bones[b - 1];

    FrameContext context;
    deformBones(o, 0, context);
    for (SceneBone& bone : expected.bones) evaluateMotion(bone.motion, 0);
    referenceDeform(expected, context);
    for (std::size_t i = 0; i < o.points.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(o.points[i].position[k], expected.points[i].position[k]) << "point " << i;
            ASSERT_EQ(o.points[i].normal[k], expected.points[i].normal[k]) << "point " << i;
        }
}

TEST(Morph, AmountBlendsFromRestAndExtrapolates) {
    struct Case {
        float amount;
        std::array<float, 3> p0, n0, p1;
    };
    const Case cases[] = {
        {0, {1, 1, 1}, {0, 1, 0}, {-2, 0, 3}},
        {1, {3, 1, -1}, {0, 0, 1}, {-2, 4, 3}},
        {0.5f, {2, 1, 0}, {0, 0.5f, 0.5f}, {-2, 2, 3}},
        {2, {5, 1, -3}, {0, -1, 2}, {-2, 8, 3}},
        {-1, {-1, 1, 3}, {0, 2, -1}, {-2, -4, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        SceneObject o = morphObject(c.amount);
        applyMorph(o);
        applyMorph(o);  // rebuilt from rest, not added twice
        expectVec(o.points[0].position, c.p0[0], c.p0[1], c.p0[2]);
        expectVec(o.points[0].normal, c.n0[0], c.n0[1], c.n0[2]);
        expectVec(o.points[1].position, c.p1[0], c.p1[1], c.p1[2]);
    }
}

TEST(Morph, DifferencesAddAfterBonesWithoutRotation) {
    SceneObject o = morphObject(1);
    addBone(o, pose(0, 0, 0, 0, 0, 90), {1, 1});  // bank 90
    FrameContext context;
    deformBones(o, 0, context);
    applyMorph(o);
    // Bone: (1,1,1) -> (-1,1,1); then + (2,0,-2) unturned.
    expectVec(o.points[0].position, 1, 1, -1);
    expectVec(o.points[0].normal, -1, -1, 1);
}

TEST(Morph, ShortDeltaArrayIsNotRead) {
    SceneObject o = morphObject(1);
    o.morphDeltas.resize(1);
    applyMorph(o);
    expectVec(o.points[0].position, 3, 1, -1);
    expectVec(o.points[1].position, -2, 0, 3);
}

}  // namespace
}  // namespace zor
