// Frame evaluation speed with the null renderer: per-point transform and
// lighting, bone deformation, and a whole frame pass of a small demo scene.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "frame/deform.h"
#include "frame/frame_pass.h"
#include "frame/lights.h"
#include "frame/transform.h"
#include "scene/scene.h"
#include "support/recording_slots.h"

namespace zor {
namespace {

using Pose = std::array<float, 9>;

Motion keyed(const Pose& a, int frames, const Pose& b) {
    Motion m;
    m.keys.resize(2);
    for (int i = 0; i < 9; ++i) {
        m.keys[0].value[i] = a[i];
        m.keys[1].value[i] = b[i];
    }
    m.keys[1].frame = frames;
    m.keys[0].next = 1;
    m.keys[1].prev = 0;
    m.keyCount = 2;
    m.channelCount = 9;
    m.lastKeyFrame = frames;
    m.endBehavior = 2;
    return m;
}

void setValue(Motion& m, const Pose& p) {
    for (int i = 0; i < 9; ++i) m.value[i] = p[i];
}

// A sphere of radius 2 sampled in rings of 250 points, in mesh order, with
// outward unit normals: neighbours face similar ways, as in real meshes.
void fillPoints(SceneObject& o, int count) {
    o.points.resize(static_cast<std::size_t>(count));
    o.pointCount = static_cast<std::uint16_t>(std::min(count, 65535));
    const int rings = std::max(1, count / 250);
    for (int i = 0; i < count; ++i) {
        const float a = static_cast<float>(i % 250) * (6.2831853f / 250);
        const float b = static_cast<float>(i / 250 + 0.5f) * (3.1415927f / static_cast<float>(rings));
        const float n[3] = {std::cos(a) * std::sin(b), std::cos(b), std::sin(a) * std::sin(b)};
        for (int k = 0; k < 3; ++k) {
            o.points[i].normal[k] = n[k];
            o.points[i].position[k] = n[k] * 2;
        }
    }
}

SceneLight light(int type, const Pose& where) {
    SceneLight l;
    l.lightType = type;
    l.color[0] = 50;
    l.color[1] = 40;
    l.color[2] = 30;
    setValue(l.motion, where);
    l.intensity.value[0] = 0.8f;
    return l;
}

// Points per object are capped by the 16-bit count, so 100 000 points are
// spread over two objects.
void BM_TransformAndLight(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int lights = static_cast<int>(state.range(1));
    constexpr int kPoints = 50000;
    Scene scene;
    setValue(scene.camera.motion, {0, 0, -10, 0, 0, 0, 1, 1, 1});
    scene.objects.resize(2);
    for (SceneObject& o : scene.objects) {
        setValue(o.motion, {0, 0, 5, 20, 10, 5, 1, 1, 1});
        fillPoints(o, kPoints);
        o.points.resize(kPoints);
    }
    for (int i = 0; i < lights; ++i) scene.lights.push_back(light(type, {i * 1.0f, 3, -4, 10.0f * i, 20, 0, 1, 1, 1}));
    FrameContext context;
    updateCamera(context.view, scene.camera.motion);
    for (SceneLight& l : scene.lights) updateLight(l, scene, context);
    for (auto _ : state) {
        for (SceneObject& o : scene.objects) transformObject(o, scene, context);
        benchmark::DoNotOptimize(scene.objects[0].points[7].lightRed);
    }
    // Inverted rate of (point-lights / 1e9) per second: nanoseconds per point per light.
    state.counters["ns_per_point_light"] = benchmark::Counter(
        static_cast<double>(2 * kPoints) * lights * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TransformAndLight)
    ->ArgNames({"type", "lights"})
    ->ArgsProduct({{0, 1, 2}, {1, 2, 4}})
    ->Unit(benchmark::kMicrosecond);

void BM_DeformBones(benchmark::State& state) {
    constexpr int kPoints = 50000, kBones = 8;
    SceneObject o;
    fillPoints(o, kPoints);
    o.restPoints = o.points;
    o.bones.resize(kBones);
    o.boneCount = kBones;
    for (int j = 0; j < kBones; ++j) {
        SceneBone& b = o.bones[j];
        b.motion = keyed({0, j * 0.1f, 0, 0, 0, 0, 1, 1, 1}, 30, {0.5f, j * 0.1f, 0, 30, 10, 0, 1, 1, 1});
        b.weights.assign(kPoints, 1.0f / kBones);
        for (int i = 0; i < 9; ++i) b.restMatrix[i] = i % 4 == 0 ? 1.0f : 0.0f;
        if (j > 0) b.parent = &o.bones[j - 1];
    }
    FrameContext context;
    float frame = 0;
    for (auto _ : state) {
        deformBones(o, frame, context);
        frame = frame < 30 ? frame + 1 : 0;
        benchmark::DoNotOptimize(o.points[11].position[0]);
    }
}
BENCHMARK(BM_DeformBones)->Unit(benchmark::kMillisecond);

// Whole passes at frames 10 to 100 and round again, through the null slots.
void drawFrames(benchmark::State& state, Scene& scene) {
    Viewport viewport;
    setupViewport(viewport, 640, 480);
    FrameContext context;
    NullSlots slots;
    float frame = 10;
    for (auto _ : state) {
        slots.particleHalfSize = 0.25f;
        drawSceneFrame(scene, frame, viewport, context, slots);
        frame = frame < 100 ? frame + 1 : 10;
    }
}

// About the size of a small demo: 20 objects of 250 points in a hierarchy,
// one boned and morphing, one with particles, three lights, shadows.
void BM_DrawSceneFrame(benchmark::State& state) {
    Scene scene;
    scene.camera.motion = keyed({0, 2, -15, 0, 5, 0, 1, 1, 1}, 100, {3, 4, -12, 20, 10, 0, 1, 1, 1});
    scene.objects.resize(20);
    for (int k = 0; k < 20; ++k) {
        SceneObject& o = scene.objects[k];
        o.motion = keyed({k * 0.5f, 0, 0, 0, 0, 0, 1, 1, 1}, 100, {k * 0.5f, 1, 0, 90, 10, 0, 1, 1, 1});
        fillPoints(o, 250);
        for (int i = 0; i + 2 < 250; i += 2) {
            MeshPolygon& p = o.polygons.emplace_back();
            p.flags = smoothShaded | (i % 10 == 0 ? transparent : 0);
            p.vertexCount = 3;
            p.pointIndices = {std::uint16_t(i), std::uint16_t(i + 1), std::uint16_t(i + 2)};
            p.u.assign(3, 0);
            p.v.assign(3, 0);
        }
        o.polygonCount = static_cast<std::uint16_t>(o.polygons.size());
        if (k % 4 != 0) o.parent = &scene.objects[k - 1];
    }
    scene.objects[3].shadowOptions = 2;
    SceneObject& particles = scene.objects[5];
    for (int i = 0; i < 50; ++i) {
        MeshPolygon& p = particles.polygons.emplace_back();
        p.flags = textured | smoothShaded;
        p.vertexCount = 1;
        p.pointIndices = {std::uint16_t(i)};
        p.u.assign(1, 0);
        p.v.assign(1, 0);
    }
    particles.polygonCount = static_cast<std::uint16_t>(particles.polygons.size());
    SceneObject& boned = scene.objects[7];
    boned.restPoints = boned.points;
    boned.bones.resize(4);
    boned.boneCount = 4;
    for (SceneBone& b : boned.bones) {
        b.motion = keyed({0, 0, 0, 0, 0, 0, 1, 1, 1}, 50, {0, 0.5f, 0, 20, 0, 0, 1, 1, 1});
        b.weights.assign(250, 0.25f);
        for (int i = 0; i < 9; ++i) b.restMatrix[i] = i % 4 == 0 ? 1.0f : 0.0f;
    }
    boned.hasMorph = 1;
    boned.morphAmount = keyed({0, 0, 0, 0, 0, 0, 0, 0, 0}, 50, {1, 0, 0, 0, 0, 0, 0, 0, 0});
    boned.morphAmount.channelCount = 1;
    boned.morphDeltas.assign(250, {0.1f, 0, 0, 0, 0, 0});
    for (int type : {0, 1, 2}) {
        scene.lights.push_back(light(type, {0, 5, -5, 0, 30, 0, 1, 1, 1}));
        scene.lights.back().motion.keys.resize(1);
        scene.lights.back().motion.keyCount = 1;
        scene.lights.back().motion.channelCount = 9;
        for (int i = 0; i < 9; ++i) scene.lights.back().motion.keys[0].value[i] = scene.lights.back().motion.value[i];
        scene.lights.back().intensity.keys.resize(1);
        scene.lights.back().intensity.keys[0].value[0] = 0.8f;
        scene.lights.back().intensity.keyCount = 1;
        scene.lights.back().intensity.channelCount = 1;
    }
    drawFrames(state, scene);
}
BENCHMARK(BM_DrawSceneFrame)->Unit(benchmark::kMicrosecond);

// A chain of N null objects, the last one carrying a chain of N bones: a
// frame places every object and bone once, so its cost grows with N, not
// with N squared (a 20 000-deep chain used to take 26 s a frame).
void BM_DeepHierarchyFrame(benchmark::State& state) {
    const auto depth = static_cast<std::size_t>(state.range(0));
    Scene scene;
    setValue(scene.camera.motion, {0, 0, -10, 0, 0, 0, 1, 1, 1});
    scene.objects.resize(depth);
    for (std::size_t k = 0; k < depth; ++k) {
        scene.objects[k].motion = keyed({1, 0, 0, 0, 0, 0, 1, 1, 1}, 100, {1, 0, 0, 5, 0, 0, 1, 1, 1});
        if (k > 0) scene.objects[k].parent = &scene.objects[k - 1];
    }
    SceneObject& boned = scene.objects.back();
    boned.bones.resize(std::min<std::size_t>(depth, 65535));
    boned.boneCount = static_cast<std::uint16_t>(boned.bones.size());
    for (std::size_t j = 0; j < boned.bones.size(); ++j) {
        boned.bones[j].motion = keyed({0, 0, 1, 0, 0, 0, 1, 1, 1}, 100, {0, 0, 1, 0, 5, 0, 1, 1, 1});
        if (j > 0) boned.bones[j].parent = &boned.bones[j - 1];
    }
    drawFrames(state, scene);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DeepHierarchyFrame)->RangeMultiplier(4)->Range(1250, 20000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zor

BENCHMARK_MAIN();
