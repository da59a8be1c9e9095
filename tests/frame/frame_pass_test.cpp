// The frame pass through a recording slot table: order of calls, visibility,
// particle trails, flares, and the planar shadow pass.

#include <gtest/gtest.h>

#include <cmath>

#include "frame/frame_pass.h"
#include "frame/lights.h"
#include "scene/scene.h"
#include "scene_builder.h"
#include "support/recording_slots.h"

namespace zor {
namespace {

using test::addPoint;
using test::addPolygon;
using test::constantEnvelope;
using test::constantMotion;
using test::linearMotion;
using test::makeLight;
using test::pose;

constexpr std::uint8_t kOpaque = flatShaded | smoothShaded;
constexpr std::uint8_t kTransparent = kOpaque | transparent;
constexpr std::uint8_t kParticle = textured | smoothShaded;

struct Pass {
    Scene scene;
    FrameContext context;
    Viewport viewport;
    RecordingSlots slots;

    Pass() {
        setupViewport(viewport, 0, 0);
        scene.camera.motion = constantMotion(pose(0, 0, 0));
    }
    SceneObject& object(const Motion& motion) {
        SceneObject& o = scene.objects.emplace_back();
        o.motion = motion;
        return o;
    }
    void draw(float frame) {
        slots.clear();
        drawSceneFrame(scene, frame, viewport, context, slots);
    }
    std::vector<RecordedCall> draws() const { return slots.callsOf(SlotCall::drawPolygon); }
};

TEST(FramePass, CallOrderOfAWholePass) {
    Pass p;
    p.scene.objects.reserve(2);
    SceneObject& a = p.object(constantMotion(pose(0, 0, 5)));
    addPoint(a, {0, 0, 0}, {0, 0, -1});
    addPoint(a, {1, 0, 0}, {0, 0, -1});
    addPoint(a, {0, 1, 0}, {0, 0, -1});
    addPolygon(a, {0, 1, 2}, kOpaque);
    addPolygon(a, {0, 2, 1}, kTransparent);
    a.shadowOptions = 2;
    SceneObject& b = p.object(constantMotion(pose(0, 0, 6)));
    addPoint(b, {0, 0, 0});
    addPoint(b, {1, 0, 0});
    addPolygon(b, {0}, kParticle);       // a particle, transparent bit clear
    addPolygon(b, {0, 1}, kOpaque);      // a line
    p.scene.lights.push_back(makeLight(pointLight, {10, 10, 10}, 1, pose(0, 5, 0)));
    p.scene.lights.push_back(makeLight(distantLight, {10, 10, 10}, 1, pose(0, 0, 0)));
    p.scene.lights.push_back(makeLight(spotLight, {10, 10, 10}, 1, pose(0, 0, 0)));
    for (SceneLight& l : p.scene.lights) l.lensFlare = 1;

    p.draw(0);
    EXPECT_EQ(p.slots.sequence(),
              "beginScene setTransparentPass(0) drawPolygon drawPolygon "
              "setDepthBias(1) setTransparentPass(0) setWorldTransform drawPolygon setWorldTransform drawPolygon "
              "setDepthBias(0) setWorldTransform "
              "setTransparentPass(1) drawPolygon drawPolygon setTransparentPass(0) endScene "
              "drawPointFlare drawSpotFlare");
    const auto draws = p.draws();
    ASSERT_EQ(draws.size(), 6u);
    const MeshPolygon* expected[] = {&a.polygons[0], &b.polygons[1], &a.polygons[0],
                                     &a.polygons[0], &a.polygons[1], &b.polygons[0]};
    for (std::size_t i = 0; i < draws.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(draws[i].polygon, expected[i]);
        EXPECT_EQ(draws[i].scene, &p.scene);
        EXPECT_EQ(draws[i].zero, 0);
        const bool shadow = i == 2 || i == 3;
        EXPECT_EQ(draws[i].viewport, shadow ? nullptr : &p.viewport);
        EXPECT_EQ(draws[i].polygonFlags, shadow ? 0x88 : expected[i]->flags);
    }
    // Points were placed and lit before the first draw.
    EXPECT_FLOAT_EQ(draws[0].firstVertex[2], 5.0f);
    EXPECT_FLOAT_EQ(draws[1].firstVertex[2], 6.0f);
    EXPECT_GT(a.points[0].lightRed, 0u);
    const auto flares = p.slots.callsOf(SlotCall::drawPointFlare);
    EXPECT_EQ(flares[0].light, &p.scene.lights[0]);
    EXPECT_EQ(flares[0].viewport, &p.viewport);
    EXPECT_EQ(p.slots.callsOf(SlotCall::drawSpotFlare)[0].light, &p.scene.lights[2]);
}

TEST(FramePass, EverythingIsEvaluatedAtTheFrame) {
    Pass p;
    p.scene.camera.motion = linearMotion(0, pose(0, 0, 0), 10, pose(0, 0, -10));
    SceneObject& o = p.object(linearMotion(0, pose(0, 0, 0), 10, pose(20, 0, 0)));
    addPoint(o, {0, 0, 0});
    addPolygon(o, {0, 0, 0}, kTransparent);
    p.scene.lights.push_back(makeLight(pointLight, {1, 1, 1}, 1, pose(0, 0, 0)));
    p.scene.lights[0].motion = linearMotion(0, pose(0, 0, 0), 10, pose(0, 10, 0));
    p.draw(5);
    EXPECT_FLOAT_EQ(p.context.view.cameraPosition[2], -5);
    EXPECT_FLOAT_EQ(o.points[0].cameraSpacePosition[0], 10);
    EXPECT_FLOAT_EQ(o.points[0].cameraSpacePosition[2], 5);
    EXPECT_FLOAT_EQ(p.scene.lights[0].viewPosition[1], 5);
}

TEST(FramePass, DissolveHidesAtHalfAndOnlyWithTheFlag) {
    Pass p;
    p.scene.objects.reserve(4);
    auto add = [&](std::uint16_t hasDissolve, float dissolve) -> SceneObject& {
        SceneObject& o = p.object(constantMotion(pose(1, 2, 3)));
        o.hasDissolve = hasDissolve;
        o.dissolve = constantEnvelope(dissolve);
        o.shadowOptions = 2;
        addPoint(o, {0, 0, 0});
        o.points[0].cameraSpacePosition[0] = -99;  // untouched unless transformed
        addPolygon(o, {0, 0, 0}, kOpaque);
        addPolygon(o, {0}, kParticle);
        return o;
    };
    SceneObject& hidden = add(1, 0.5f);
    SceneObject& shown = add(1, 0.4999f);
    SceneObject& flagless = add(0, 1.0f);
    // A child of the hidden object is still placed against its evaluated motion.
    SceneObject& child = add(0, 0);
    child.motion = constantMotion(pose(1, 0, 0));
    child.parent = &p.scene.objects[0];
    p.scene.lights.push_back(makeLight(distantLight, {1, 1, 1}, 1, pose(0, 0, 0)));

    p.draw(0);
    EXPECT_EQ(hidden.points[0].cameraSpacePosition[0], -99);
    EXPECT_FALSE(isVisible(hidden));
    EXPECT_TRUE(isVisible(shown));
    EXPECT_TRUE(isVisible(flagless));
    std::size_t perObject[4] = {};
    for (const RecordedCall& c : p.draws()) perObject[c.object - p.scene.objects.data()]++;
    EXPECT_EQ(perObject[0], 0u);
    // Opaque triangle; both polygons on two shadow planes (particles cast
    // shadows too); the particle itself.
    EXPECT_EQ(perObject[1], 6u);
    EXPECT_EQ(perObject[2], 6u);
    EXPECT_EQ(perObject[3], 6u);
    EXPECT_FLOAT_EQ(child.points[0].cameraSpacePosition[0], 2);
    EXPECT_FLOAT_EQ(child.points[0].cameraSpacePosition[1], 2);
}

TEST(FramePass, NullObjectsPassThrough) {
    Pass p;
    p.object(constantMotion(pose(0, 0, 0))).shadowOptions = 2;
    p.scene.lights.push_back(makeLight(pointLight, {1, 1, 1}, 1, pose(0, 0, 0)));
    p.draw(3);
    EXPECT_EQ(p.slots.sequence(), "beginScene setTransparentPass(0) setDepthBias(1) setTransparentPass(0) "
                                  "setWorldTransform setWorldTransform setDepthBias(0) setWorldTransform "
                                  "setTransparentPass(1) setTransparentPass(0) endScene");
}

TEST(FramePass, NoLightsMeansNoShadowAndNoFlare) {
    Pass p;
    SceneObject& o = p.object(constantMotion(pose(0, 0, 0)));
    o.shadowOptions = 2;
    addPoint(o, {0, 0, 0}, {0, 0, -1});
    addPolygon(o, {0, 0, 0}, kOpaque);
    p.draw(0);
    EXPECT_EQ(p.slots.count(SlotCall::setWorldTransform), 0u);
    EXPECT_EQ(p.slots.count(SlotCall::drawPolygon), 1u);
    EXPECT_EQ(o.points[0].lightRed, 0u);
}

// One particle object moving along x by one unit per frame.
struct TrailPass : Pass {
    SceneObject* particles;
    TrailPass() {
        particles = &object(linearMotion(0, pose(0, 0, 0), 100, pose(100, 0, 0)));
        addPoint(*particles, {0, 0, 0});
        addPolygon(*particles, {0}, kParticle);
        addPolygon(*particles, {0, 0, 0}, kTransparent);  // not redrawn by the trail
    }
    std::vector<RecordedCall> trail() const {
        auto d = draws();
        return {d.begin() + 2, d.end()};  // after the particle and the transparent triangle
    }
};

TEST(FramePass, TrailSampleCountsFollowTheFrame) {
    const std::pair<float, std::size_t> cases[] = {{0, 0}, {1, 4}, {2.5f, 10}, {10, 20}, {4.75f, 19}, {5, 20}};
    for (auto [frame, samples] : cases) {
        SCOPED_TRACE(frame);
        TrailPass p;
        p.draw(frame);
        EXPECT_EQ(p.trail().size(), samples);
        for (const RecordedCall& c : p.trail()) EXPECT_EQ(c.polygon, &p.particles->polygons[0]);
    }
}

TEST(FramePass, TrailShrinksParticlesAndRestoresTheSize) {
    TrailPass p;
    p.slots.particleHalfSize = 0.25f;
    p.draw(1);
    const auto trail = p.trail();
    ASSERT_EQ(trail.size(), 4u);
    EXPECT_FLOAT_EQ(p.draws()[0].particleHalfSize, 0.25f);
    const float positions[] = {1, 0.75f, 0.5f, 0.25f};
    for (std::size_t k = 0; k < trail.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(trail[k].particleHalfSize, 0.25 * std::pow(0.95, k + 1), 1e-6);
        EXPECT_FLOAT_EQ(trail[k].firstVertex[0], positions[k]);
    }
    EXPECT_EQ(p.slots.particleHalfSize, 0.25f);
    // The object keeps the last sample's placement.
    EXPECT_FLOAT_EQ(p.particles->points[0].cameraSpacePosition[0], 0.25f);

    p.slots.particleHalfSize = 0.5f;
    p.draw(20);
    EXPECT_EQ(p.slots.particleHalfSize, 0.5f);
    EXPECT_NEAR(p.trail().back().particleHalfSize, 0.5 * std::pow(0.95, 20), 1e-6);
}

TEST(FramePass, TrailFollowsOwnMotionButNotTheParents) {
    TrailPass p;
    p.scene.objects.reserve(2);
    SceneObject& parent = p.object(linearMotion(0, pose(0, 0, 0), 100, pose(0, 1000, 0)));
    p.particles = &p.scene.objects[0];
    p.particles->parent = &parent;
    p.draw(2);
    const auto trail = p.trail();
    ASSERT_EQ(trail.size(), 8u);
    for (std::size_t k = 0; k < trail.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_FLOAT_EQ(trail[k].firstVertex[0], 2 - 0.25f * k);
        EXPECT_FLOAT_EQ(trail[k].firstVertex[1], 20);  // parent stays at frame 2
    }
}

// An object with a trail of its own is left at its last sample (frame 0.25
// of a pass at frame 2); what hangs below it and trails later in the array
// trails against that, through a null in between.
TEST(FramePass, DescendantsTrailAgainstWhereAnAncestorsTrailLeftIt) {
    TrailPass p;
    p.scene.objects.reserve(3);
    p.particles = &p.scene.objects[0];
    p.object(constantMotion(pose(0, 5, 0))).parent = p.particles;
    SceneObject& grandchild = p.object(constantMotion(pose(0, 0, 0)));
    grandchild.parent = &p.scene.objects[1];
    addPoint(grandchild, {0, 0, 0});
    addPolygon(grandchild, {0}, kParticle);
    p.draw(2);
    std::vector<RecordedCall> draws;
    for (const RecordedCall& c : p.draws())
        if (c.polygon == &grandchild.polygons[0]) draws.push_back(c);
    ASSERT_EQ(draws.size(), 9u);  // its particle, then 8 samples
    EXPECT_FLOAT_EQ(draws[0].firstVertex[0], 2);
    for (std::size_t k = 1; k < draws.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_FLOAT_EQ(draws[k].firstVertex[0], 0.25f);
        EXPECT_FLOAT_EQ(draws[k].firstVertex[1], 5);
    }
}

TEST(FramePass, TrailReappliesMorphAndBonesPerSample) {
    TrailPass p;
    SceneObject& o = *p.particles;
    o.motion = constantMotion(pose(0, 0, 0));
    o.restPoints = o.points;
    o.hasMorph = 1;
    o.morphDeltas = {{0, 8, 0, 0, 0, 0}};
    o.morphAmount = linearMotion(0, pose(0, 0, 0), 8, pose(1, 0, 0));
    p.draw(1);
    const auto trail = p.trail();
    ASSERT_EQ(trail.size(), 4u);
    EXPECT_FLOAT_EQ(p.draws()[0].firstVertex[1], 1);  // amount 1/8 at frame 1
    for (std::size_t k = 0; k < trail.size(); ++k) EXPECT_FLOAT_EQ(trail[k].firstVertex[1], 1 - 0.25f * k);
}

TEST(FramePass, OnlyOneVertexPolygonsMakeATrail) {
    Pass p;
    SceneObject& o = p.object(constantMotion(pose(0, 0, 0)));
    addPoint(o, {0, 0, 0});
    addPolygon(o, {0, 0}, kTransparent);
    p.draw(10);
    EXPECT_EQ(p.draws().size(), 1u);
}

TEST(FramePass, FlaresByLightType) {
    Pass p;
    // Distant, point, spot, point without flare, unknown type.
    for (int type : {0, 1, 2, 1, 7}) {
        p.scene.lights.push_back(makeLight(type, {1, 1, 1}, 1, pose(0, 0, 0)));
        p.scene.lights.back().lensFlare = 1;
    }
    p.scene.lights[3].lensFlare = 0;
    p.draw(0);
    const auto& calls = p.slots.calls;
    std::vector<std::pair<SlotCall, const SceneLight*>> flares;
    for (const RecordedCall& c : calls)
        if (c.call == SlotCall::drawPointFlare || c.call == SlotCall::drawSpotFlare) flares.emplace_back(c.call, c.light);
    const std::vector<std::pair<SlotCall, const SceneLight*>> expected = {
        {SlotCall::drawPointFlare, &p.scene.lights[1]}, {SlotCall::drawSpotFlare, &p.scene.lights[2]}};
    EXPECT_EQ(flares, expected);
    EXPECT_EQ(calls.back().call, SlotCall::drawSpotFlare);
}

TEST(Shadow, MatrixFlattensAlongTheLightRay) {
    const float light[4] = {0, 10, 0, 1};
    const float plane[4] = {0, 1, 0, 0};
    const Mat4 m = shadowMatrix(light, plane);
    const float v[4] = {1, 5, 2, 1};
    float out[4] = {};
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 4; ++r) out[k] += v[r] * m[r * 4 + k];
    EXPECT_FLOAT_EQ(out[0], 10);
    EXPECT_FLOAT_EQ(out[1], 0);
    EXPECT_FLOAT_EQ(out[2], 20);
    EXPECT_FLOAT_EQ(out[3], 5);
    // Entries: dot (10) on the diagonal minus plane[r] * light[k].
    EXPECT_FLOAT_EQ(m[0], 10);
    EXPECT_FLOAT_EQ(m[1 * 4 + 1], 0);
    EXPECT_FLOAT_EQ(m[1 * 4 + 3], -1);
    EXPECT_FLOAT_EQ(m[3 * 4 + 3], 10);
}

TEST(Shadow, PlaneNormalisation) {
    float scaled[4] = {0, 2, 0, 4};
    normalizePlane(scaled);
    EXPECT_FLOAT_EQ(scaled[1], 1);
    EXPECT_FLOAT_EQ(scaled[3], 2);
    float nearUnit[4] = {0, 1.000004f, 0, 3};
    normalizePlane(nearUnit);
    EXPECT_EQ(nearUnit[1], 1.000004f);  // within the tolerance: unchanged
    EXPECT_EQ(nearUnit[3], 3.0f);
    float degenerate[4] = {1e-6f, 0, 0, 7};
    normalizePlane(degenerate);
    for (float x : degenerate) EXPECT_EQ(x, 0.0f);
    // A plane given unnormalised gives the same shadow as the unit one.
    const float light[4] = {0, 10, 0, 1};
    const float unit[4] = {0, 1, 0, 0};
    const float big[4] = {0, 3, 0, 0};
    EXPECT_EQ(shadowMatrix(light, unit), shadowMatrix(light, big));
}

TEST(Shadow, TwoPlanesBlackDoubleSidedFlagsRestored) {
    Pass p;
    p.scene.camera.motion = constantMotion(pose(0, 3, 0));
    SceneObject& o = p.object(constantMotion(pose(0, 0, 0)));
    o.shadowOptions = 2;
    addPoint(o, {1, 5, 2});
    addPolygon(o, {0, 0, 0}, kOpaque | reflectionMapped);
    addPolygon(o, {0, 0, 0}, kTransparent);
    p.scene.lights.push_back(makeLight(pointLight, {1, 1, 1}, 1, pose(0, 10, 0)));
    evaluateSceneMotions(p.scene, 0, p.context);
    transformObject(o, p.scene, p.context);
    drawShadow(o, p.scene, p.context.view, p.slots);

    EXPECT_EQ(p.slots.sequence(), "setDepthBias(1) setTransparentPass(0) setWorldTransform drawPolygon "
                                  "setWorldTransform drawPolygon setDepthBias(0) setWorldTransform");
    for (const RecordedCall& c : p.draws()) {
        EXPECT_EQ(c.polygon, &o.polygons[0]);
        EXPECT_EQ(c.polygonFlags, 0x88);
        EXPECT_EQ(c.viewport, nullptr);
    }
    EXPECT_EQ(o.polygons[0].flags, kOpaque | reflectionMapped);
    EXPECT_EQ(o.polygons[1].flags, kTransparent);

    // The ground matrix takes the camera-space point onto world y = 0 along
    // the ray from the light: world (1,5,2) from (0,10,0) lands on (2,0,4),
    // which the camera at y = 3 sees at (2,-3,4).
    const auto transforms = p.slots.callsOf(SlotCall::setWorldTransform);
    ASSERT_EQ(transforms.size(), 3u);
    const float v[4] = {1, 2, 2, 1};
    float out[4] = {};
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 4; ++r) out[k] += v[r] * transforms[0].matrix[r * 4 + k];
    EXPECT_NEAR(out[0] / out[3], 2, 1e-5);
    EXPECT_NEAR(out[1] / out[3], -3, 1e-5);
    EXPECT_NEAR(out[2] / out[3], 4, 1e-5);
    // Second plane, world z = 0: the ray from the light through world (1,5,2)
    // meets it at the light itself, camera-space (0,7,0).
    float flat[4] = {};
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 4; ++r) flat[k] += v[r] * transforms[1].matrix[r * 4 + k];
    EXPECT_NEAR(flat[0] / flat[3], 0, 1e-5);
    EXPECT_NEAR(flat[1] / flat[3], 7, 1e-5);
    EXPECT_NEAR(flat[2] / flat[3], 0, 1e-5);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(transforms[2].matrix[i], identity[i]);
}

TEST(Shadow, OnlyWithTheShadowBit) {
    Pass p;
    SceneObject& o = p.object(constantMotion(pose(0, 0, 0)));
    addPoint(o, {0, 0, 0});
    addPolygon(o, {0, 0, 0}, kOpaque);
    p.scene.lights.push_back(makeLight(pointLight, {1, 1, 1}, 1, pose(0, 10, 0)));
    o.shadowOptions = 1 | 4;
    drawShadow(o, p.scene, p.context.view, p.slots);
    EXPECT_TRUE(p.slots.calls.empty());
    o.shadowOptions = 2;
    p.scene.lights.clear();
    drawShadow(o, p.scene, p.context.view, p.slots);
    EXPECT_TRUE(p.slots.calls.empty());
}

}  // namespace
}  // namespace zor
