// Bones and morph targets rebuilding points from the rest copy.

#include <gtest/gtest.h>

#include "frame/deform.h"
#include "frame/transform.h"
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
