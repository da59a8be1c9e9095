#pragma once
// Small hand-built scenes for the frame tests.

#include <array>
#include <cstdint>
#include <initializer_list>

#include <gtest/gtest.h>

#include "scene/scene.h"

namespace zor::test {

using Pose = std::array<float, 9>;

// Position, heading/pitch/bank in degrees, scale.
inline Pose pose(float x, float y, float z, float h = 0, float p = 0, float b = 0, float sx = 1, float sy = 1,
                 float sz = 1) {
    return {x, y, z, h, p, b, sx, sy, sz};
}

// Sets the evaluated channels directly, as if the motion had been evaluated.
inline void setPose(Motion& motion, const Pose& values) {
    for (int i = 0; i < 9; ++i) motion.value[i] = values[i];
}

// A motion of one key: the same values at every frame.
inline Motion constantMotion(const Pose& values, int channels = 9) {
    Motion m;
    m.keys.resize(1);
    for (int i = 0; i < 9; ++i) m.keys[0].value[i] = values[i];
    m.keyCount = 1;
    m.channelCount = channels;
    for (int i = 0; i < 9; ++i) m.value[i] = values[i];
    return m;
}

inline Motion constantEnvelope(float v) { return constantMotion({v, 0, 0, 0, 0, 0, 0, 0, 0}, 1); }

// Two linear keys: values a at frame fa, b at frame fb; held after fb.
inline Motion linearMotion(int fa, const Pose& a, int fb, const Pose& b) {
    Motion m;
    m.keys.resize(2);
    for (int i = 0; i < 9; ++i) {
        m.keys[0].value[i] = a[i];
        m.keys[1].value[i] = b[i];
    }
    m.keys[0].frame = fa;
    m.keys[1].frame = fb;
    m.keys[0].next = 1;
    m.keys[1].prev = 0;
    m.keys[1].linear = 1;
    m.keyCount = 2;
    m.channelCount = 9;
    m.lastKeyFrame = fb;
    m.endBehavior = 1;
    return m;
}

inline void addPoint(Mesh& mesh, std::array<float, 3> position, std::array<float, 3> normal = {0, 0, 0}) {
    MeshPoint p;
    for (int i = 0; i < 3; ++i) {
        p.position[i] = position[i];
        p.normal[i] = normal[i];
    }
    mesh.points.push_back(p);
    mesh.pointCount = static_cast<std::uint16_t>(mesh.points.size());
}

inline MeshPolygon& addPolygon(Mesh& mesh, std::initializer_list<std::uint16_t> indices, std::uint8_t flags = 0x05) {
    MeshPolygon& polygon = mesh.polygons.emplace_back();
    polygon.flags = flags;
    polygon.vertexCount = static_cast<std::uint8_t>(indices.size());
    polygon.pointIndices.assign(indices);
    polygon.u.assign(indices.size(), 0.0f);
    polygon.v.assign(indices.size(), 0.0f);
    mesh.polygonCount = static_cast<std::uint16_t>(mesh.polygons.size());
    return polygon;
}

// A light with a constant motion and intensity; colour in 0..63.
inline SceneLight makeLight(int type, std::array<int, 3> color, float intensity, const Pose& where) {
    SceneLight light;
    light.lightType = type;
    for (int i = 0; i < 3; ++i) light.color[i] = color[i];
    light.motion = constantMotion(where);
    light.intensity = constantEnvelope(intensity);
    return light;
}

inline void expectVec(const float* got, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(got[0], x, tolerance);
    EXPECT_NEAR(got[1], y, tolerance);
    EXPECT_NEAR(got[2], z, tolerance);
}

// Copies points into restPoints, as loading does for bones and morphs.
inline void keepRest(SceneObject& object) { object.restPoints = object.points; }

}  // namespace zor::test
