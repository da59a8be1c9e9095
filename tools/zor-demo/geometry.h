#pragma once
// Building LightWave objects from code: points, faces turned to face a given
// direction, and the few solids the sample demo is made of.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "writers/lwob_writer.h"

namespace zor::demo {

// The demo is written with the format writers.
using namespace zor::write;

using Vec3 = std::array<float, 3>;

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec3 operator*(Vec3 a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline float dot(Vec3 a, Vec3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(Vec3 a, Vec3 b);

// The face normal as the object reader forms it from the first, second and
// last vertex: (p - q) x (p - r).
Vec3 readerFaceNormal(const std::vector<Vec3>& points, const std::vector<std::uint16_t>& polygon);

class ObjectBuilder {
public:
    // Adds a surface; returns its 1-based number.
    std::uint16_t surface(LwSurface s);
    std::uint16_t point(Vec3 p);
    // Adds a polygon, reversing its winding when needed so that its face
    // normal points along `outward` (the side it is seen from).
    void face(std::vector<std::uint16_t> points, std::uint16_t surface, Vec3 outward);
    // A one-vertex polygon: a particle when its surface is textured and smooth.
    void particle(Vec3 p, std::uint16_t surface);
    // A two-vertex polygon, drawn as a line; it has no face normal and adds
    // nothing to its points' normals.
    void line(Vec3 a, Vec3 b, std::uint16_t surface);

    // A grid of nu x nv quads spanning origin .. origin + du + dv.
    void grid(Vec3 origin, Vec3 du, Vec3 dv, int nu, int nv, std::uint16_t surface, Vec3 outward);
    // A latitude-longitude sphere; radius(theta, phi) may reshape it while
    // keeping the same points in the same order (for morph targets).
    void sphere(Vec3 center, int segments, int rings, std::uint16_t surface,
                const std::function<float(float theta, float phi)>& radius);
    // A closed tube along +z from z0 to z1, its radius changing linearly.
    void tube(float z0, float z1, float r0, float r1, int segments, int rings, std::uint16_t surface);
    // A capped cylinder along +y.
    void cylinderY(Vec3 base, float radius, float height, int segments, std::uint16_t surface);
    // A flat ring in the xz plane (seen from both sides when its surface is).
    void annulus(Vec3 center, float inner, float outer, int segments, std::uint16_t surface);
    // An axis-aligned box with its own four points per side.
    void box(Vec3 center, Vec3 half, std::uint16_t surface);

    const LwObject& object() const { return object_; }
    LwObject take() { return std::move(object_); }

private:
    LwObject object_;
};

}  // namespace zor::demo
