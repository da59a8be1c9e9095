#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace zor::demo {

Vec3 cross(Vec3 a, Vec3 b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 readerFaceNormal(const std::vector<Vec3>& points, const std::vector<std::uint16_t>& polygon) {
    if (polygon.size() < 3) return {0, 0, 0};
    Vec3 p = points[polygon.front()];
    Vec3 q = points[polygon[1]];
    Vec3 r = points[polygon.back()];
    return cross(p - q, p - r);
}

std::uint16_t ObjectBuilder::surface(LwSurface s) {
    object_.surfaces.push_back(std::move(s));
    return static_cast<std::uint16_t>(object_.surfaces.size());
}

std::uint16_t ObjectBuilder::point(Vec3 p) {
    if (object_.points.size() >= 65535) throw std::length_error("object has more than 65535 points");
    object_.points.push_back(p);
    return static_cast<std::uint16_t>(object_.points.size() - 1);
}

void ObjectBuilder::face(std::vector<std::uint16_t> points, std::uint16_t surface, Vec3 outward) {
    if (dot(readerFaceNormal(object_.points, points), outward) < 0) std::reverse(points.begin() + 1, points.end());
    object_.polygons.push_back(LwPolygon{std::move(points), surface});
}

void ObjectBuilder::particle(Vec3 p, std::uint16_t surface) {
    object_.polygons.push_back(LwPolygon{{point(p)}, surface});
}

void ObjectBuilder::line(Vec3 a, Vec3 b, std::uint16_t surface) {
    const std::uint16_t first = point(a);
    object_.polygons.push_back(LwPolygon{{first, point(b)}, surface});
}

void ObjectBuilder::grid(Vec3 origin, Vec3 du, Vec3 dv, int nu, int nv, std::uint16_t surface, Vec3 outward) {
    std::uint16_t first = static_cast<std::uint16_t>(object_.points.size());
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i)
            point(origin + du * (static_cast<float>(i) / nu) + dv * (static_cast<float>(j) / nv));
    auto at = [&](int i, int j) { return static_cast<std::uint16_t>(first + j * (nu + 1) + i); };
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) face({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, surface, outward);
}

void ObjectBuilder::sphere(Vec3 center, int segments, int rings, std::uint16_t surface,
                           const std::function<float(float, float)>& radius) {
    const float pi = std::numbers::pi_v<float>;
    auto place = [&](float theta, float phi) {
        float r = radius(theta, phi);
        return center + Vec3{r * std::sin(theta) * std::cos(phi), r * std::cos(theta), r * std::sin(theta) * std::sin(phi)};
    };
    std::uint16_t top = point(place(0, 0));
    std::uint16_t firstRing = static_cast<std::uint16_t>(object_.points.size());
    for (int j = 1; j < rings; ++j)
        for (int i = 0; i < segments; ++i) point(place(pi * j / rings, 2 * pi * i / segments));
    std::uint16_t bottom = point(place(pi, 0));
    auto at = [&](int i, int j) {
        return static_cast<std::uint16_t>(firstRing + (j - 1) * segments + (i % segments));
    };
    auto out = [&](std::initializer_list<std::uint16_t> ids) {
        Vec3 c{0, 0, 0};
        for (std::uint16_t id : ids) c = c + object_.points[id];
        return c * (1.0f / static_cast<float>(ids.size())) - center;
    };
    for (int i = 0; i < segments; ++i) {
        face({top, at(i, 1), at(i + 1, 1)}, surface, out({top, at(i, 1), at(i + 1, 1)}));
        for (int j = 1; j + 1 < rings; ++j) {
            std::uint16_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            face({a, b, c, d}, surface, out({a, b, c, d}));
        }
        std::uint16_t a = at(i, rings - 1), b = at(i + 1, rings - 1);
        face({bottom, a, b}, surface, out({bottom, a, b}));
    }
}

void ObjectBuilder::tube(float z0, float z1, float r0, float r1, int segments, int rings, std::uint16_t surface) {
    const float pi = std::numbers::pi_v<float>;
    std::uint16_t first = static_cast<std::uint16_t>(object_.points.size());
    for (int j = 0; j <= rings; ++j) {
        float t = static_cast<float>(j) / rings;
        float z = z0 + (z1 - z0) * t;
        float r = r0 + (r1 - r0) * t;
        for (int i = 0; i < segments; ++i) {
            float a = 2 * pi * i / segments;
            point({r * std::cos(a), r * std::sin(a), z});
        }
    }
    auto at = [&](int i, int j) { return static_cast<std::uint16_t>(first + j * segments + (i % segments)); };
    for (int j = 0; j < rings; ++j)
        for (int i = 0; i < segments; ++i) {
            Vec3 mid = (object_.points[at(i, j)] + object_.points[at(i + 1, j + 1)]) * 0.5f;
            face({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, surface, {mid[0], mid[1], 0});
        }
    std::vector<std::uint16_t> bottom, topCap;
    for (int i = 0; i < segments; ++i) {
        bottom.push_back(at(i, 0));
        topCap.push_back(at(i, rings));
    }
    face(bottom, surface, {0, 0, -1});
    face(topCap, surface, {0, 0, 1});
}

void ObjectBuilder::cylinderY(Vec3 base, float radius, float height, int segments, std::uint16_t surface) {
    const float pi = std::numbers::pi_v<float>;
    std::uint16_t first = static_cast<std::uint16_t>(object_.points.size());
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < segments; ++i) {
            float a = 2 * pi * i / segments;
            point(base + Vec3{radius * std::cos(a), height * j, radius * std::sin(a)});
        }
    auto at = [&](int i, int j) { return static_cast<std::uint16_t>(first + j * segments + (i % segments)); };
    std::vector<std::uint16_t> bottom, topCap;
    for (int i = 0; i < segments; ++i) {
        float a = 2 * pi * (i + 0.5f) / segments;
        face({at(i, 0), at(i + 1, 0), at(i + 1, 1), at(i, 1)}, surface, {std::cos(a), 0, std::sin(a)});
        bottom.push_back(at(i, 0));
        topCap.push_back(at(i, 1));
    }
    face(bottom, surface, {0, -1, 0});
    face(topCap, surface, {0, 1, 0});
}

void ObjectBuilder::annulus(Vec3 center, float inner, float outer, int segments, std::uint16_t surface) {
    const float pi = std::numbers::pi_v<float>;
    std::uint16_t first = static_cast<std::uint16_t>(object_.points.size());
    for (int i = 0; i < segments; ++i) {
        float a = 2 * pi * i / segments;
        point(center + Vec3{inner * std::cos(a), 0, inner * std::sin(a)});
        point(center + Vec3{outer * std::cos(a), 0, outer * std::sin(a)});
    }
    auto at = [&](int i, int k) { return static_cast<std::uint16_t>(first + (i % segments) * 2 + k); };
    for (int i = 0; i < segments; ++i) face({at(i, 0), at(i, 1), at(i + 1, 1), at(i + 1, 0)}, surface, {0, 1, 0});
}

void ObjectBuilder::box(Vec3 c, Vec3 h, std::uint16_t surface) {
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            Vec3 n{0, 0, 0};
            n[axis] = static_cast<float>(side);
            Vec3 u{0, 0, 0}, v{0, 0, 0};
            u[(axis + 1) % 3] = 2 * h[(axis + 1) % 3];
            v[(axis + 2) % 3] = 2 * h[(axis + 2) % 3];
            Vec3 origin = c + Vec3{n[0] * h[0], n[1] * h[1], n[2] * h[2]} - u * 0.5f - v * 0.5f;
            grid(origin, u, v, 1, 1, surface, n);
        }
}

}  // namespace zor::demo
