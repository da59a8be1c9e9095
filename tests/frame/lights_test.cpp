// Light placement and per-point lighting.

#include <gtest/gtest.h>

#include <cmath>

#include "frame/camera.h"
#include "frame/lights.h"
#include "frame/transform.h"
#include "scene/scene.h"
#include "scene_builder.h"

namespace zor {
namespace {

using test::addPoint;
using test::makeLight;
using test::pose;
using test::setPose;

// Camera at the origin looking along +z; one object at the origin.
struct LitScene {
    Scene scene;
    FrameContext context;

    LitScene() {
        setPose(scene.camera.motion, pose(0, 0, 0));
        updateCamera(context.view, scene.camera.motion);
        setPose(scene.objects.emplace_back().motion, pose(0, 0, 0));
    }
    SceneObject& object() { return scene.objects[0]; }
    SceneLight& light(int type, std::array<int, 3> color, float intensity, const test::Pose& where) {
        return scene.lights.emplace_back(makeLight(type, color, intensity, where));
    }
    // Places the lights and lights the object; returns point i's sums.
    std::array<unsigned, 3> lit(int i = 0) {
        for (SceneLight& l : scene.lights) updateLight(l, scene, context);
        transformObject(object(), scene, context);
        const MeshPoint& p = object().points[i];
        return {p.lightRed, p.lightGreen, p.lightBlue};
    }
};

using Rgb = std::array<unsigned, 3>;

TEST(Lights, UnlitObjectsGetFixedGreyAndNoLightsGiveBlack) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    EXPECT_EQ(s.lit(), (Rgb{0, 0, 0}));
    s.object().unlit = 1;
    EXPECT_EQ(s.lit(), (Rgb{127, 127, 127}));
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, 0));
    EXPECT_EQ(s.lit(), (Rgb{127, 127, 127}));
}

TEST(Lights, DistantWrapsAroundTheObject) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});  // faces the light, which shines along +z
    addPoint(s.object(), {0, 0, 5}, {1, 0, 0});   // edge-on
    addPoint(s.object(), {0, 0, 5}, {0, 0, 1});   // facing away
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, -100));
    EXPECT_EQ(s.lit(0), (Rgb{126, 126, 126}));  // 63 * (1 - (-1))
    EXPECT_EQ(s.lit(1), (Rgb{63, 63, 63}));
    EXPECT_EQ(s.lit(2), (Rgb{0, 0, 0}));
}

TEST(Lights, SumsClampAt255) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, 0));
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, 0));
    EXPECT_EQ(s.lit(), (Rgb{252, 252, 252}));
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, 0));
    EXPECT_EQ(s.lit(), (Rgb{255, 255, 255}));  // 378 clamped
}

TEST(Lights, EachLightIsTruncatedOnItsOwn) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    // Straight on f = 2, so intensity 0.45 gives a factor of 0.9 per light.
    for (int i = 0; i < 3; ++i) s.light(distantLight, {1, 2, 0}, 0.45f, pose(0, 0, 0));
    // Red: three times trunc(0.9) = 0, not trunc(2.7) = 2; green: 3 * trunc(1.8) = 3.
    EXPECT_EQ(s.lit(), (Rgb{0, 3, 0}));
}

TEST(Lights, PointLightFallsOffWithDistance) {
    LitScene s;
    addPoint(s.object(), {0, 0, 0}, {0, 1, 0});
    addPoint(s.object(), {0, 0, 0}, {0, -1, 0});  // faces away
    addPoint(s.object(), {0, -4, 0}, {0, 1, 0});  // twice as far
    s.light(pointLight, {40, 40, 40}, 1, pose(0, 4, 0));
    EXPECT_EQ(s.lit(0), (Rgb{10, 10, 10}));
    EXPECT_EQ(s.lit(1), (Rgb{0, 0, 0}));
    EXPECT_EQ(s.lit(2), (Rgb{5, 5, 5}));
}

// c x I / d is formed in double: 50 x 1 / 12.5 is exactly 4, while 50 times
// the single-precision 1/12.5 falls just short of it and truncates to 3.
TEST(Lights, PointLightDividesByTheDistance) {
    LitScene s;
    addPoint(s.object(), {0, 0, 0}, {0, 1, 0});
    s.light(pointLight, {50, 50, 50}, 1, pose(0, 12.5f, 0));
    EXPECT_EQ(s.lit(), (Rgb{4, 4, 4}));
}

TEST(Lights, PointOrSpotLightOnThePointAddsNothing) {
    LitScene s;
    addPoint(s.object(), {1, 2, 3}, {0, 1, 0});
    s.light(pointLight, {40, 40, 40}, 1, pose(1, 2, 3));
    s.light(spotLight, {40, 40, 40}, 1, pose(1, 2, 3));
    s.light(distantLight, {10, 20, 30}, 1, pose(0, 0, 0));  // edge-on: adds the colour once
    EXPECT_EQ(s.lit(), (Rgb{10, 20, 30}));
}

TEST(Lights, SpotHasAFixedCone) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});  // on the axis, facing the spot
    const float r = 5.0f;
    addPoint(s.object(), {r * std::sin(1.0471976f), 0, r * std::cos(1.0471976f)}, {0, 0, -1});  // 60 deg off
    addPoint(s.object(), {0, 0, 5}, {0, 0, 1});   // facing along the axis
    s.light(spotLight, {63, 0, 0}, 1, pose(0, 0, 0));
    // s = 1 + 3.0191052 * (1 - 0.9659258) = 1.1028749; e = 1: 63 * s * 1.5 = 104.2
    EXPECT_EQ(s.lit(0), (Rgb{104, 0, 0}));
    EXPECT_EQ(s.lit(1), (Rgb{0, 0, 0}));
    EXPECT_EQ(s.lit(2), (Rgb{0, 0, 0}));
}

TEST(Lights, SpotJustInsideFifteenDegrees) {
    LitScene s;
    // 10 degrees off the axis: s = 1 + 3.0191052 * (cos 10 - 0.9659258) = 1.0577...
    const float a = 10.0f * 3.14159265f / 180.0f;
    addPoint(s.object(), {5 * std::sin(a), 0, 5 * std::cos(a)}, {0, 0, -1});
    s.light(spotLight, {0, 0, 60}, 2, pose(0, 0, 0));
    const double expected = 60 * (1 + 3.0191052 * (std::cos(static_cast<double>(a)) - 0.9659258)) * 2 * 1.5;
    EXPECT_EQ(s.lit()[2], static_cast<unsigned>(expected));  // 190
}

TEST(Lights, NegativeIntensityDarkensButNeverWraps) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    s.light(distantLight, {63, 63, 63}, 1, pose(0, 0, 0));
    s.light(distantLight, {63, 0, 0}, -0.25f, pose(0, 0, 0));  // -31.5 -> -31
    EXPECT_EQ(s.lit()[0], 95u);
    s.light(distantLight, {63, 0, 0}, -2, pose(0, 0, 0));
    EXPECT_EQ(s.lit()[0], 0u);  // below zero is black, not 255
}

TEST(Lights, HugeIntensityClampsWithoutOverflow) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    s.light(distantLight, {63, 63, 63}, 1e30f, pose(0, 0, 0));
    s.light(distantLight, {63, 63, 63}, 1e30f, pose(0, 0, 0));
    s.light(distantLight, {1, 0, 0}, std::nanf(""), pose(0, 0, 0));
    EXPECT_EQ(s.lit(), (Rgb{255, 255, 255}));
}

TEST(Lights, UnknownTypeAddsNothing) {
    LitScene s;
    addPoint(s.object(), {0, 0, 5}, {0, 0, -1});
    s.light(3, {63, 63, 63}, 1, pose(0, 0, 0));
    EXPECT_EQ(s.lit(), (Rgb{0, 0, 0}));
}

TEST(Lights, LightObjectAddsToTheSumsAlreadyThere) {
    // lightObject on its own reads the camera-space values as they stand.
    LitScene s;
    addPoint(s.object(), {0, 0, 0});
    MeshPoint& p = s.object().points[0];
    p.cameraSpacePosition[2] = 5;
    p.cameraSpaceNormal[2] = -1;
    p.lightRed = 100;
    p.lightGreen = 200;
    SceneLight& l = s.light(distantLight, {10, 63, 0}, 1, pose(0, 0, 0));
    l.viewDirection[2] = 1;
    lightObject(s.object(), s.scene);
    EXPECT_EQ(p.lightRed, 120u);
    EXPECT_EQ(p.lightGreen, 255u);  // 200 + 126 clamped
    EXPECT_EQ(p.lightBlue, 0u);
}

TEST(LightPlacement, CameraSpaceAndDirection) {
    LitScene s;
    setPose(s.scene.camera.motion, pose(0, 0, -10, 90));  // looks along world +x
    updateCamera(s.context.view, s.scene.camera.motion);
    SceneLight& l = s.light(spotLight, {1, 1, 1}, 1, pose(3, 0, -10, 90));
    updateLight(l, s.scene, s.context);
    EXPECT_NEAR(l.viewPosition[0], 0, 1e-5);
    EXPECT_NEAR(l.viewPosition[2], 3, 1e-5);
    EXPECT_NEAR(l.viewDirection[0], 0, 1e-5);  // shines the way the camera looks
    EXPECT_NEAR(l.viewDirection[1], 0, 1e-5);
    EXPECT_NEAR(l.viewDirection[2], 1, 1e-5);
}

TEST(LightPlacement, ParentPivotDoesNotOffsetTheLightButGrandparentPivotDoes) {
    LitScene s;
    // objects[0] is the grandparent at the origin with pivot (0, 5, 0).
    s.scene.objects[0].pivot[1] = 5;
    SceneObject& parent = s.scene.objects.emplace_back();
    setPose(parent.motion, pose(10, 0, 0, 90));
    parent.pivot[0] = 1;
    parent.parent = &s.scene.objects[0];
    SceneLight& l = s.light(pointLight, {1, 1, 1}, 1, pose(0, 0, 2));
    l.parent = &s.scene.objects[1];
    updateLight(l, s.scene, s.context);
    // Parent at (10, 0, 0) - (0, 5, 0); the light's (0, 0, 2) turned by heading
    // 90 to (2, 0, 0), with no pivot subtracted.
    EXPECT_NEAR(l.viewPosition[0], 12, 1e-5);
    EXPECT_NEAR(l.viewPosition[1], -5, 1e-5);
    EXPECT_NEAR(l.viewPosition[2], 0, 1e-5);
    EXPECT_NEAR(l.viewDirection[0], 1, 1e-5);  // forward turned by the parent
    EXPECT_NEAR(l.viewDirection[2], 0, 1e-5);
}

TEST(LightPlacement, ScaledParentScalesTheLightOffset) {
    LitScene s;
    setPose(s.scene.objects[0].motion, pose(1, 0, 0, 0, 0, 0, 2, 3, 4));
    SceneLight& l = s.light(pointLight, {1, 1, 1}, 1, pose(1, 1, 1));
    l.parent = &s.scene.objects[0];
    updateLight(l, s.scene, s.context);
    EXPECT_NEAR(l.viewPosition[0], 3, 1e-5);
    EXPECT_NEAR(l.viewPosition[1], 3, 1e-5);
    EXPECT_NEAR(l.viewPosition[2], 4, 1e-5);
}

}  // namespace
}  // namespace zor
