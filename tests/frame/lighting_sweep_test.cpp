// The lighting sweep over many points at once, checked point by point against
// the lighting rules written out plainly here: every light type, many lights,
// object sizes on and off the sweep's internal block boundaries, and the
// factors that would overflow or are not numbers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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
using Rgb = std::array<unsigned, 3>;

float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// One point lit by every light, the rules as stated: each light's factor g in
// double, each channel's colour x g truncated toward zero on its own, the
// sums clamped to 0..255 at the end. Only for ordinary values: no clamping of
// huge products.
Rgb referenceLight(const MeshPoint& p, const std::vector<SceneLight>& lights, Rgb start = {0, 0, 0}) {
    std::int64_t sum[3] = {start[0], start[1], start[2]};
    const float* v = p.cameraSpacePosition;
    const float* n = p.cameraSpaceNormal;
    for (const SceneLight& light : lights) {
        const double intensity = light.intensity.value[0];
        double g = 0;
        if (light.lightType == distantLight) {
            const float f = 1.0f - dot3(light.viewDirection, n);
            if (f >= 0) g = static_cast<double>(f) * intensity;
        } else if (light.lightType == pointLight || light.lightType == spotLight) {
            const float lv[3] = {light.viewPosition[0] - v[0], light.viewPosition[1] - v[1],
                                 light.viewPosition[2] - v[2]};
            const float d = std::sqrt(dot3(lv, lv));
            if (!(d > 0)) continue;
            const float inverse = 1.0f / d;
            const float toLight[3] = {lv[0] * inverse, lv[1] * inverse, lv[2] * inverse};
            if (light.lightType == pointLight) {
                const float c = dot3(toLight, n);
                if (c > 0) g = static_cast<double>(c) * intensity / static_cast<double>(d);
            } else {
                const float back[3] = {-light.viewDirection[0], -light.viewDirection[1], -light.viewDirection[2]};
                const float s = 1.0f - (dot3(back, toLight) - kSpotCosine) * kSpotSlope;
                const float e = dot3(back, n);
                if (s > 0 && e > 0) g = static_cast<double>(s) * intensity * (static_cast<double>(e) + 0.5);
            }
        }
        for (int k = 0; k < 3; ++k) sum[k] += static_cast<std::int64_t>(light.color[k] * g);
    }
    Rgb out;
    for (int k = 0; k < 3; ++k) out[k] = static_cast<unsigned>(std::clamp<std::int64_t>(sum[k], 0, 255));
    return out;
}

Rgb sumsOf(const MeshPoint& p) { return {p.lightRed, p.lightGreen, p.lightBlue}; }

struct RandomScene {
    Scene scene;
    FrameContext context;
    std::mt19937 random{12345};

    float uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); }

    RandomScene(std::size_t points, int lights) {
        setPose(scene.camera.motion, pose(1, 2, -12, 10, -5, 3));
        updateCamera(context.view, scene.camera.motion);
        SceneObject& o = scene.objects.emplace_back();
        setPose(o.motion, pose(0.5f, -1, 2, 30, 15, -20, 1.5f, 0.75f, 2));
        o.pivot[0] = 0.25f;
        for (std::size_t i = 0; i < points; ++i) {
            const float n[3] = {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const float length = std::sqrt(dot3(n, n)) + 1e-3f;
            addPoint(o, {uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)},
                     {n[0] / length, n[1] / length, n[2] / length});
        }
        for (int i = 0; i < lights; ++i) {
            const int type = i % 3;
            const std::array<int, 3> color = {static_cast<int>(uniform(0, 64)), static_cast<int>(uniform(0, 64)),
                                              static_cast<int>(uniform(0, 64))};
            scene.lights.push_back(makeLight(type, color, uniform(-0.5f, 2.5f),
                                             pose(uniform(-4, 4), uniform(-4, 4), uniform(-4, 4), uniform(0, 360),
                                                  uniform(-90, 90), 0)));
        }
        for (SceneLight& l : scene.lights) updateLight(l, scene, context);
    }
    SceneObject& object() { return scene.objects[0]; }
};

TEST(LightingSweep, EveryPointMatchesTheRulesAcrossBlockBoundaries) {
    for (const std::size_t count : {1u, 7u, 63u, 64u, 65u, 130u, 1000u}) {
        for (const int lights : {1, 2, 3, 7}) {
            RandomScene s(count, lights);
            transformObject(s.object(), s.scene, s.context);
            std::size_t lit = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const MeshPoint& p = s.object().points[i];
                const Rgb expected = referenceLight(p, s.scene.lights);
                ASSERT_EQ(sumsOf(p), expected) << count << " points, " << lights << " lights, point " << i;
                lit += expected != Rgb{0, 0, 0};
            }
            if (count >= 64) {
                EXPECT_GT(lit, count / 4) << "the random lights should reach many points";
            }
        }
    }
}

TEST(LightingSweep, EveryPointIsPlacedAsIfItWereAlone) {
    // An object of 150 points against 150 objects of one point each, so
    // that a mistake in walking the points in blocks shows up.
    RandomScene s(150, 2);
    s.scene.objects.reserve(2);
    transformObject(s.object(), s.scene, s.context);
    const SceneObject& whole = s.object();
    for (std::size_t i = 0; i < 150; ++i) {
        SceneObject& single = s.scene.objects.emplace_back();
        for (int k = 0; k < 9; ++k) single.motion.value[k] = whole.motion.value[k];
        for (int k = 0; k < 3; ++k) single.pivot[k] = whole.pivot[k];
        single.points.push_back(whole.points[i]);
        single.pointCount = 1;
        transformObject(single, s.scene, s.context);
        const MeshPoint& a = whole.points[i];
        const MeshPoint& b = single.points[0];
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(a.cameraSpacePosition[k], b.cameraSpacePosition[k]) << "point " << i;
            ASSERT_EQ(a.cameraSpaceNormal[k], b.cameraSpaceNormal[k]) << "point " << i;
        }
        ASSERT_EQ(sumsOf(a), sumsOf(b)) << "point " << i;
        s.scene.objects.pop_back();
    }
}

TEST(LightingSweep, LightObjectAddsToEveryPointsSums) {
    RandomScene s(100, 4);
    transformObject(s.object(), s.scene, s.context);
    std::vector<Rgb> before;
    for (MeshPoint& p : s.object().points) {
        p.lightRed = 40;
        p.lightGreen = 250;
        p.lightBlue = 0;
        before.push_back(sumsOf(p));
    }
    lightObject(s.object(), s.scene);
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(sumsOf(s.object().points[i]), referenceLight(s.object().points[i], s.scene.lights, before[i]))
            << "point " << i;
}

TEST(LightingSweep, UnlitObjectsSkipEveryLight) {
    RandomScene s(70, 3);
    s.object().unlit = 1;
    transformObject(s.object(), s.scene, s.context);
    for (const MeshPoint& p : s.object().points) ASSERT_EQ(sumsOf(p), (Rgb{127, 127, 127}));
}

// A distant light along the normal has f = 1 - D.N = 0 there.
struct EdgeScene {
    Scene scene;
    FrameContext context;
    EdgeScene() {
        setPose(scene.camera.motion, pose(0, 0, 0));
        updateCamera(context.view, scene.camera.motion);
        setPose(scene.objects.emplace_back().motion, pose(0, 0, 0));
        addPoint(scene.objects[0], {0, 0, 5}, {0, 0, 1});
        scene.lights.push_back(makeLight(distantLight, {20, 30, 40}, 1, pose(0, 0, 0, 0, 0, 0)));
    }
    Rgb lit() {
        for (SceneLight& l : scene.lights) updateLight(l, scene, context);
        transformObject(scene.objects[0], scene, context);
        return sumsOf(scene.objects[0].points[0]);
    }
};

TEST(LightingSweep, InfiniteIntensityTimesZeroAddsNothing) {
    EdgeScene s;
    s.scene.lights.push_back(makeLight(distantLight, {63, 63, 63}, INFINITY, pose(0, 0, 0)));
    s.scene.lights.push_back(makeLight(pointLight, {63, 63, 63}, 1, pose(0, 0, 5)));  // on the point
    // f is 0 for both distant lights: 0 x 1 and 0 x infinity add nothing.
    EXPECT_EQ(s.lit(), (Rgb{0, 0, 0}));
    // Turned round, the first light reaches the point with f = 2.
    s.scene.lights.push_back(makeLight(distantLight, {20, 30, 40}, 1, pose(0, 0, 0, 180, 0, 0)));
    EXPECT_EQ(s.lit(), (Rgb{40, 60, 80}));
}

TEST(LightingSweep, HugeFactorsAreHeldAndCancelWithoutOverflow) {
    EdgeScene s;
    s.scene.lights.clear();
    // Both add colour x 2 x 1e30, held at the limit: +limit and -limit cancel
    // exactly, and the small light decides the result.
    s.scene.lights.push_back(makeLight(distantLight, {63, 63, 63}, 1e30f, pose(0, 0, 0, 180, 0, 0)));
    s.scene.lights.push_back(makeLight(distantLight, {63, 63, 63}, -1e30f, pose(0, 0, 0, 180, 0, 0)));
    s.scene.lights.push_back(makeLight(distantLight, {5, 6, 7}, 1, pose(0, 0, 0, 180, 0, 0)));
    EXPECT_EQ(s.lit(), (Rgb{10, 12, 14}));
}

}  // namespace
}  // namespace zor
