// Scene reading throughput on a large generated scene, and the cost of one
// motion evaluation at random frames.
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "scene/bones.h"
#include "scene/motion.h"
#include "scene/scene_reader.h"

namespace {

// Objects with 9-channel motions of `keys` keys, a parent and a dissolve
// envelope each, plus unknown lines the reader must skip.
std::string generateScene(int objects, int keys) {
    std::mt19937 random(42);
    std::uniform_real_distribution<float> value(-500.0f, 500.0f);
    std::string text = "LWSC\n1\n\nFirstFrame 1\nLastFrame 2000\nFrameStep 1\nPreviewFirstFrame 1\n"
                       "PreviewLastFrame 2000\nPreviewFrameStep 1\nFramesPerSecond 30.000000\n\n";
    char number[32];
    for (int o = 0; o < objects; ++o) {
        text += "LoadObject Objects\\Part" + std::to_string(o) + ".lwo\nShowObject 8 7\nObjectMotion (unnamed)\n  9\n  " +
                std::to_string(keys) + "\n";
        for (int k = 0; k < keys; ++k) {
            text += " ";
            for (int c = 0; c < 9; ++c) {
                std::snprintf(number, sizeof number, " %f", static_cast<double>(value(random)));
                text += number;
            }
            text += "\n  " + std::to_string(k * 10) + " 0 0.0 0.0 0.0\n";
        }
        text += "EndBehavior 1\n";
        if (o > 0) text += "ParentObject " + std::to_string(o) + "\n";
        text += "ObjDissolve (envelope)\n  1\n  2\n  0.0\n  0 0 0.0 0.0 0.0\n  1.0\n  30 0 0.0 0.0 0.0\nEndBehavior 1\n"
                "ShadowOptions 7\n\n";
    }
    return text;
}

void BM_ParseScene(benchmark::State& state) {
    const std::string text = generateScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        zor::Scene scene;
        zor::Diagnostics diagnostics;
        zor::parseScene(scene, text, "bench.lws", {}, &diagnostics);
        benchmark::DoNotOptimize(scene.objects.data());
        if (!diagnostics.empty()) state.SkipWithError("the generated scene gave diagnostics");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseScene)->Args({2000, 100})->Args({5000, 20})->Unit(benchmark::kMillisecond);

void BM_EvaluateMotion(benchmark::State& state) {
    zor::Motion motion;
    const int keys = 32;
    zor::allocateKeys(motion, keys, 0);
    motion.channelCount = 9;
    motion.endBehavior = 2;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    std::uniform_real_distribution<float> tcb(-0.5f, 0.5f);
    for (int k = 0; k < keys; ++k) {
        zor::MotionKey& key = motion.keys[k];
        key.frame = k * 15 + (k % 3);
        for (float& v : key.value) v = value(random);
        key.tension = tcb(random);
        key.continuity = tcb(random);
        key.bias = tcb(random);
    }
    motion.lastKeyFrame = motion.keys.back().frame;
    std::uniform_real_distribution<float> frame(-10.0f, static_cast<float>(motion.lastKeyFrame) * 1.2f);
    std::vector<float> frames(4096);
    for (float& f : frames) f = frame(random);
    std::size_t i = 0;
    for (auto _ : state) {
        zor::evaluateMotion(motion, frames[i++ & 4095]);
        benchmark::DoNotOptimize(motion.value);
    }
}
BENCHMARK(BM_EvaluateMotion);

}  // namespace


namespace {

// Bone preparation for an object of 50 000 points and 20 bones in a chain,
// with falloff type 2 and every other bone range-limited.
void BM_PrepareBones(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const int bones = static_cast<int>(state.range(1));
    std::mt19937 random(9);
    std::uniform_real_distribution<float> coordinate(-5.0f, 5.0f);
    zor::SceneObject templateObject;
    zor::allocateMesh(templateObject, static_cast<std::uint16_t>(points), 0);
    for (auto& p : templateObject.points)
        for (float& c : p.position) c = coordinate(random);
    for (auto _ : state) {
        state.PauseTiming();
        zor::SceneObject object;
        static_cast<zor::Mesh&>(object) = templateObject;
        object.boneFalloffType = 2;
        for (int b = 0; b < bones; ++b) {
            zor::SceneBone& bone = zor::appendBone(object);
            bone.restLength = 1.0f;
            bone.strength = 1.0f;
            bone.restPosition[2] = b == 0 ? -5.0f : 0.5f;
            bone.restDirection[0] = 10.0f * static_cast<float>(b % 3);
            bone.limitedRange = static_cast<std::uint8_t>(b % 2);
            bone.maxRange = 4.0f;
        }
        for (int b = 1; b < bones; ++b) object.bones[b].parent = &object.bones[b - 1];
        state.ResumeTiming();
        zor::prepareBones(object);
        benchmark::DoNotOptimize(object.bones.back().weights.data());
    }
}
BENCHMARK(BM_PrepareBones)->Args({50000, 20})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
