// Camera view, rotation convention and placement through parent chains.

#include <gtest/gtest.h>

#include <cmath>

#include "frame/camera.h"
#include "frame/transform.h"
#include "scene/scene.h"
#include "scene_builder.h"

namespace zor {
namespace {

using test::addPoint;
using test::pose;
using test::setPose;

using test::expectVec;

// A scene with one object holding the given points; camera set from a pose.
struct Fixture {
    Scene scene;
    FrameContext context;

    explicit Fixture(const test::Pose& camera = pose(0, 0, 0)) {
        setPose(scene.camera.motion, camera);
        updateCamera(context.view, scene.camera.motion);
    }
    SceneObject& add(const test::Pose& where) {
        SceneObject& object = scene.objects.emplace_back();
        setPose(object.motion, where);
        return object;
    }
    // Camera-space position of point i of object k after transformObject.
    const float* place(int k, int i = 0) {
        transformObject(scene.objects[k], scene, context);
        return scene.objects[k].points[i].cameraSpacePosition;
    }
};

TEST(Viewport, SizesAnglesAndZeroCase) {
    Viewport vp;
    setupViewport(vp, 64, 64);
    EXPECT_EQ(vp.flag, 0);
    EXPECT_EQ(vp.width, 64);
    EXPECT_FLOAT_EQ(vp.focal, 64.0f);
    EXPECT_FLOAT_EQ(vp.centerX, 32.0f);
    EXPECT_FLOAT_EQ(vp.centerY, 32.0f);
    EXPECT_DOUBLE_EQ(vp.angleX, std::atan(64.0 / 31.0));
    EXPECT_DOUBLE_EQ(vp.angleY, std::atan(64.0 / 31.5));
    EXPECT_DOUBLE_EQ(vp.cosY, std::cos(std::atan(64.0 / 31.5)));

    setupViewport(vp, 320, 480);
    EXPECT_FLOAT_EQ(vp.focal, 480.0f);  // the larger side

    setupViewport(vp, 0, 0);
    EXPECT_EQ(vp.focal, 0.0f);
    EXPECT_EQ(vp.centerX, 0.0f);
    EXPECT_EQ(vp.angleX, 0.0);
    EXPECT_EQ(vp.angleY, 0.0);
    EXPECT_EQ(vp.sinX, 0.0);
    EXPECT_EQ(vp.cosX, 1.0);
    EXPECT_EQ(vp.cosY, 1.0);
}

TEST(ItemRotation, UsesTheSinglePrecisionDegreeFactor) {
    // 90 * 0.01745328 is slightly less than pi/2, so cos(90) is not 0 but
    // about 7.9e-7 -- the exact factor would give about -4.4e-8.
    const Mat3 r = itemRotation(90, 0, 0);
    const double expected = std::cos(static_cast<double>(90.0f * 0.01745328f));
    EXPECT_FLOAT_EQ(r[0], static_cast<float>(expected));
    EXPECT_GT(r[0], 5e-7f);
}

TEST(ItemRotation, OrderIsBankThenPitchThenHeading) {
    // Bank 90 then heading 90: (1,0,0) -> bank -> (0,1,0) -> heading leaves y alone.
    Mat3 r = itemRotation(90, 0, 90);
    Vec3 v = mul(r, Vec3{1, 0, 0});
    expectVec(v.data(), 0, 1, 0);
    // Pitch 90 then heading 90: (0,0,1) -> pitch -> (0,-1,0) -> heading keeps it.
    r = itemRotation(90, 90, 0);
    v = mul(r, Vec3{0, 0, 1});
    expectVec(v.data(), 0, -1, 0);
    // Heading applied last: (0,1,0) under pitch 90 goes to (0,0,1), then heading 90 to (1,0,0).
    v = mul(r, Vec3{0, 1, 0});
    expectVec(v.data(), 1, 0, 0);
}

TEST(Camera, PositionAndRotation) {
    {
        Fixture f(pose(0, 0, -10));
        for (int i = 0; i < 9; ++i) EXPECT_EQ(f.context.view.viewRotation[i], kIdentity3[i]) << i;
        SceneObject& o = f.add(pose(0, 0, 0));
        addPoint(o, {0, 0, 0});
        expectVec(f.place(0), 0, 0, 10);
    }
    {
        Fixture f(pose(0, 0, 0, 90));  // heading 90 looks along world +x
        addPoint(f.add(pose(0, 0, 0)), {1, 0, 0});
        expectVec(f.place(0), 0, 0, 1);
    }
    {
        Fixture f(pose(0, 0, 0, 0, 90));  // pitch 90 looks down
        addPoint(f.add(pose(0, 0, 0)), {0, -1, 0});
        expectVec(f.place(0), 0, 0, 1);
    }
    {
        // Scale channels of the camera change nothing.
        Fixture f(pose(1, 2, 3, 0, 0, 0, 5, 6, 7));
        addPoint(f.add(pose(0, 0, 0)), {1, 1, 1});
        expectVec(f.place(0), 0, -1, -2);
        EXPECT_EQ(f.context.view.cameraPosition, (Vec3{1, 2, 3}));
    }
}

TEST(Transform, PlainObjectAddsPosition) {
    Fixture f;
    SceneObject& o = f.add(pose(1, 2, 3));
    addPoint(o, {0.5f, -1, 4});
    expectVec(f.place(0), 1.5f, 1, 7);
}

TEST(Transform, HeadingPitchBankOnPoints) {
    Fixture f;
    addPoint(f.add(pose(0, 0, 0, 90)), {0, 0, 1});
    addPoint(f.add(pose(0, 0, 0, 0, 90)), {0, 0, 1});
    addPoint(f.add(pose(0, 0, 0, 0, 0, 90)), {1, 0, 0});
    expectVec(f.place(0), 1, 0, 0);
    expectVec(f.place(1), 0, -1, 0);
    expectVec(f.place(2), 0, 1, 0);
}

TEST(Transform, PivotShiftsPointsAndRotationSwingsAroundPosition) {
    Fixture f;
    SceneObject& plain = f.add(pose(5, 0, 0));
    plain.pivot[0] = 1;
    addPoint(plain, {0, 0, 0});
    expectVec(f.place(0), 4, 0, 0);

    SceneObject& turned = f.add(pose(5, 0, 0, 180));
    turned.pivot[0] = 1;
    addPoint(turned, {0, 0, 0});
    addPoint(turned, {1, 0, 0});  // the pivot itself stays on the object's position
    expectVec(f.place(1, 0), 6, 0, 0);
    expectVec(f.scene.objects[1].points[1].cameraSpacePosition, 5, 0, 0);
}

TEST(Transform, ChildUnderScaledParentWithPivot) {
    Fixture f;
    SceneObject& parent = f.add(pose(10, 0, 0, 0, 0, 0, 3, 3, 3));
    parent.pivot[0] = 1;
    SceneObject& child = f.add(pose(2, 0, 0));
    addPoint(child, {0, 0, 0});
    addPoint(child, {1, 0, 0});
    f.scene.objects[1].parent = &f.scene.objects[0];
    expectVec(f.place(1, 0), 13, 0, 0);  // parent position + (2 - 1) * 3
    expectVec(f.scene.objects[1].points[1].cameraSpacePosition, 16, 0, 0);  // child points scaled by 3 too
}

TEST(Transform, NonUniformScaleActsInTheObjectsOwnFrame) {
    Fixture f;
    f.add(pose(0, 0, 0, 0, 0, 0, 2, 1, 1));
    SceneObject& child = f.add(pose(0, 0, 0, 90));
    addPoint(child, {1, 0, 0});
    f.scene.objects[1].parent = &f.scene.objects[0];
    // The child's own x axis is stretched (then turned to -z); a world-x
    // stretch would leave the turned point at length 1.
    expectVec(f.place(1), 0, 0, -2);
}

TEST(Transform, RotatedParentCarriesChildOffset) {
    Fixture f;
    f.add(pose(0, 0, 5, 90));  // heading 90 turns the child's +z offset to +x
    SceneObject& child = f.add(pose(0, 0, 2));
    addPoint(child, {0, 0, 1});
    f.scene.objects[1].parent = &f.scene.objects[0];
    expectVec(f.place(1), 3, 0, 5);
}

TEST(Transform, NormalsAreTurnedButNotScaled) {
    Fixture f(pose(0, 0, 0, 0, 0, 90));  // camera bank 90
    SceneObject& o = f.add(pose(0, 0, 0, 0, 0, 0, 3, 3, 3));
    addPoint(o, {1, 1, 1}, {0, 2, 0});
    transformObject(o, f.scene, f.context);
    // A camera banked 90 degrees sees world +y as its +x; the length stays 2.
    const float* n = o.points[0].cameraSpaceNormal;
    EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 2.0f, 1e-5f);
    expectVec(n, 2, 0, 0);
}

TEST(Transform, ClearsLightSumsAndLeavesNormalCount) {
    Fixture f;
    SceneObject& o = f.add(pose(0, 0, 0));
    addPoint(o, {0, 0, 0}, {0, 0, -1});
    o.points[0].lightRed = 77;
    o.points[0].lightBlue = 300;
    o.points[0].normalCount = 4;
    transformObject(o, f.scene, f.context);  // no lights: black
    EXPECT_EQ(o.points[0].lightRed, 0u);
    EXPECT_EQ(o.points[0].lightBlue, 0u);
    EXPECT_EQ(o.points[0].normalCount, 4);
}

TEST(Transform, DeepChainsHaveNoFixedLimit) {
    Fixture f;
    constexpr int depth = 2000;
    f.scene.objects.reserve(depth + 1);
    for (int i = 0; i < depth; ++i) f.add(pose(1, 0, 0));
    for (int i = 1; i < depth; ++i) f.scene.objects[i].parent = &f.scene.objects[i - 1];
    addPoint(f.scene.objects.back(), {0, 0, 0});
    expectVec(f.place(depth - 1), static_cast<float>(depth), 0, 0);
}

TEST(Transform, ParentCycleEndsInsteadOfLooping) {
    Fixture f;
    f.add(pose(1, 0, 0));
    f.add(pose(1, 0, 0));
    f.scene.objects[0].parent = &f.scene.objects[1];
    f.scene.objects[1].parent = &f.scene.objects[0];
    addPoint(f.scene.objects[0], {0, 0, 0});
    const float* p = f.place(0);
    EXPECT_TRUE(std::isfinite(p[0]));
}

TEST(Transform, PointCountBeyondTheArrayIsNotRead) {
    Fixture f;
    SceneObject& o = f.add(pose(0, 0, 0));
    addPoint(o, {1, 0, 0});
    o.pointCount = 50;  // lies: only one record
    transformObject(o, f.scene, f.context);
    expectVec(o.points[0].cameraSpacePosition, 1, 0, 0);
}

}  // namespace
}  // namespace zor
