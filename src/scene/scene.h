#pragma once
// The scene records: what the scene reader fills from the scene file, what the
// preparation completes once after loading, and what frame evaluation reads and
// updates every frame. Links (parents, bones) are pointers set after the whole
// file has been read, when no array moves any more; a Scene is therefore not
// copyable.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "object/object.h"

namespace zor {

struct MotionKey {
    float value[9] = {};      // channel values (first channelCount read)
    float tension = 0;
    float continuity = 0;
    float bias = 0;
    std::int32_t linear = 0;  // non-zero: the span ending at this key is linear
    std::int32_t frame = 0;
    int prev = -1;            // index of the previous key, -1 for the first
    int next = -1;            // index of the next key, -1 for the last
};

// A keyframed set of up to 9 channels: position x, y, z; heading, pitch, bank
// (degrees); scale x, y, z. An envelope is a Motion of one channel.
struct Motion {
    float value[9] = {};      // values at the frame evaluated last
    std::vector<MotionKey> keys;
    std::int32_t keyCount = 0;
    std::int32_t channelCount = 0;
    std::int32_t lastKeyFrame = 0;
    std::int32_t endBehavior = 0;  // 0 reset, 1 stop, 2 repeat
};

struct SceneCamera {
    Motion zoomFactor;  // read, never evaluated
    Motion motion;
};

struct SceneObject;

struct SceneBone {
    Motion motion;
    std::vector<float> weights;   // one per point of the owning object
    std::int32_t active = 0;
    std::int32_t scaleStrength = 0;
    float restLength = 0;
    float strength = 0;
    float minRange = 0;
    float maxRange = 0;
    float restPosition[3] = {};
    float worldRestPosition[3] = {};
    float restDirection[3] = {};  // heading, pitch, bank relative to the parent bone
    std::uint8_t limitedRange = 0;
    float restMatrix[9] = {};     // row-major, object-space offset -> rest frame
    SceneBone* parent = nullptr;
};

struct SceneObject : Mesh {
    Motion motion;
    Motion dissolve;
    Motion morphAmount;
    std::string name;             // stored base name, at most 27 characters
    std::uint16_t boneCount = 0;
    std::uint16_t hasDissolve = 0;
    std::uint16_t hasMorph = 0;
    SceneObject* parent = nullptr;
    std::int32_t boneFalloffType = 0;
    std::vector<SceneBone> bones;
    std::vector<MeshPoint> restPoints;                // the points as loaded
    std::vector<float> weightSums;                    // only while preparing bones
    std::vector<std::array<float, 6>> morphDeltas;   // target - own: position, normal
    float pivot[3] = {};
    std::uint8_t unlit = 0;
    std::int32_t shadowOptions = 0;                   // 0x2: casts planar shadows
};

struct SceneLight {
    Motion motion;
    Motion intensity;
    Motion flareIntensity;        // read, never evaluated
    std::int32_t color[3] = {};   // 0..63 (file colour / 4)
    std::int32_t lightType = 0;   // 0 distant, 1 point, 2 spot
    std::int32_t lensFlare = 0;
    SceneObject* parent = nullptr;
    float viewPosition[3] = {};
    float viewDirection[3] = {};
};

struct Scene {
    std::int32_t firstFrame = 0;
    std::int32_t lastFrame = 0;
    std::int32_t frameStep = 0;
    float framesPerSecond = 0;
    std::vector<SceneObject> objects;
    std::vector<SceneLight> lights;
    SceneCamera camera;

    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) = default;
    Scene& operator=(Scene&&) = default;

    int objectCount() const { return static_cast<int>(objects.size()); }
    int lightCount() const { return static_cast<int>(lights.size()); }
};

}  // namespace zor
