// Per-frame code must not allocate: counts every operator new while whole
// frame passes run over a scene that uses every feature.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "frame/frame_pass.h"
#include "frame/lights.h"
#include "scene/scene.h"
#include "scene_builder.h"
#include "support/recording_slots.h"

namespace {
std::atomic<long> allocations{0};
}

// The replacements pair malloc with free themselves; GCC cannot see that the
// inlined delete belongs to this new and would warn.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace zor {
namespace {

using namespace test;

TEST(FrameAllocation, PassesAfterTheFirstAllocateNothing) {
    Scene scene;
    scene.camera.motion = linearMotion(0, pose(0, 0, -10), 50, pose(5, 2, -20, 30));
    scene.objects.resize(4);
    for (int k = 0; k < 4; ++k) {
        SceneObject& o = scene.objects[k];
        o.motion = linearMotion(0, pose(k, 0, 0, 10.0f * k), 50, pose(k, 5, 0, 90, 20, 5));
        for (int i = 0; i < 30; ++i) addPoint(o, {i * 0.1f, 1, 2}, {0, 1, 0});
        for (int i = 0; i + 2 < 30; i += 3) addPolygon(o, {std::uint16_t(i), std::uint16_t(i + 1), std::uint16_t(i + 2)});
        addPolygon(o, {0}, textured | smoothShaded);
        addPolygon(o, {1, 2, 3}, flatShaded | transparent);
        o.shadowOptions = 2;
        if (k > 0) o.parent = &scene.objects[k - 1];
    }
    SceneObject& boned = scene.objects[2];
    boned.restPoints = boned.points;
    boned.bones.resize(3);
    boned.boneCount = 3;
    for (SceneBone& b : boned.bones) {
        b.motion = linearMotion(0, pose(0, 0, 0), 50, pose(1, 1, 0, 45));
        b.weights.assign(30, 1.0f / 3);
        for (int i = 0; i < 9; ++i) b.restMatrix[i] = i % 4 == 0 ? 1.0f : 0.0f;
    }
    boned.bones[2].parent = &boned.bones[1];
    boned.bones[1].parent = &boned.bones[0];
    boned.hasMorph = 1;
    boned.morphAmount = linearMotion(0, pose(0, 0, 0), 50, pose(1, 0, 0));
    boned.morphDeltas.assign(30, {0.1f, 0, 0, 0, 0, 0});
    scene.objects[3].hasDissolve = 1;
    scene.objects[3].dissolve = linearMotion(0, pose(0, 0, 0), 50, pose(1, 0, 0));
    for (int type : {0, 1, 2}) {
        scene.lights.push_back(makeLight(type, {40, 30, 20}, 1, pose(0, 5, -5, 0, 30)));
        scene.lights.back().lensFlare = 1;
        scene.lights.back().parent = &scene.objects[1];
    }

    Viewport viewport;
    setupViewport(viewport, 640, 480);
    FrameContext context;
    NullSlots slots;
    const long start = allocations.load();
    drawSceneFrame(scene, 1, viewport, context, slots);
    EXPECT_GT(allocations.load() - start, 0);  // the placement cache grows once (and the counter counts)

    const long before = allocations.load();
    for (float frame = 2; frame < 40; frame += 1) drawSceneFrame(scene, frame, viewport, context, slots);
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_EQ(slots.particleHalfSize, 0.25f);
}

}  // namespace
}  // namespace zor
