#include "frame/point_lighting.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/lights.h"

namespace zor {
namespace {

// Limit for one contribution, far beyond any visible value, so that the
// conversion to an integer is always defined.
constexpr double kContributionLimit = 1 << 30;

struct LightTerms {
    double intensity;
    double red, green, blue;
    double factorLimit;  // |g| above this would take a contribution past the limit
};

LightTerms termsOf(const SceneLight& light) {
    LightTerms t{light.intensity.value[0], static_cast<double>(light.color[0]),
                 static_cast<double>(light.color[1]), static_cast<double>(light.color[2]), 0};
    const double largest = std::max({1.0, std::fabs(t.red), std::fabs(t.green), std::fabs(t.blue)});
    t.factorLimit = kContributionLimit / largest;
    return t;
}

// Adds trunc(colour x g) to each channel. The factor is held within the
// limit first, and a NaN factor (an infinite intensity times 0) adds nothing.
// Written with plain selects so the loops below stay branch-free and vectorise.
[[gnu::always_inline]] inline void addColour(PointBlock& b, std::size_t i, const LightTerms& t, double g) {
    g = g == g ? g : 0.0;
    g = g < -t.factorLimit ? -t.factorLimit : g;
    g = g > t.factorLimit ? t.factorLimit : g;
    b.red[i] += static_cast<double>(static_cast<std::int32_t>(t.red * g));
    b.green[i] += static_cast<double>(static_cast<std::int32_t>(t.green * g));
    b.blue[i] += static_cast<double>(static_cast<std::int32_t>(t.blue * g));
}

// A light that does not reach a point adds trunc(0): no branch to mispredict
// on meshes whose normals turn toward and away from a light.
[[gnu::always_inline]] inline void addDistant(PointBlock& b, const SceneLight& light) {
    const LightTerms t = termsOf(light);
    const float dx = light.viewDirection[0], dy = light.viewDirection[1], dz = light.viewDirection[2];
    for (std::size_t i = 0; i < b.count; ++i) {
        const float f = 1.0f - (dx * b.nx[i] + dy * b.ny[i] + dz * b.nz[i]);
        const double g = f >= 0 ? static_cast<double>(f) * t.intensity : 0.0;
        addColour(b, i, t, g);
    }
}

// Unit vector from point i to a point or spot light and its distance; the
// direction is scaled by the single-precision reciprocal of the distance. At
// d = 0 there is no direction (the callers add nothing there).
struct ToLight {
    float x, y, z;
    float distance;
};

[[gnu::always_inline]] inline ToLight toLight(const PointBlock& b, std::size_t i, const SceneLight& light) {
    const float vx = light.viewPosition[0] - b.x[i], vy = light.viewPosition[1] - b.y[i],
                vz = light.viewPosition[2] - b.z[i];
    const float d = std::sqrt(vx * vx + vy * vy + vz * vz);
    const float inverse = 1.0f / d;
    return {vx * inverse, vy * inverse, vz * inverse, d};
}

// Point lights fall off as c x I / d, divided in double: the single-precision
// reciprocal is a little below 1/d for most distances (1/12.5 is 0.0799999982),
// enough to lose one whole level of a channel (50 x 1 / 12.5 would give 3).
// A light sitting on the point adds nothing.
[[gnu::always_inline]] inline void addPoint(PointBlock& b, const SceneLight& light) {
    const LightTerms t = termsOf(light);
    for (std::size_t i = 0; i < b.count; ++i) {
        const ToLight l = toLight(b, i, light);
        const float c = l.x * b.nx[i] + l.y * b.ny[i] + l.z * b.nz[i];
        const bool reached = l.distance > 0 && c > 0;
        const double g = reached ? static_cast<double>(c) * t.intensity / static_cast<double>(l.distance) : 0.0;
        addColour(b, i, t, g);
    }
}

// The spot cone is fixed: s falls from 1 at 15 degrees off the axis to 0, and
// e is how squarely the point faces against the spot's direction.
[[gnu::always_inline]] inline void addSpot(PointBlock& b, const SceneLight& light) {
    const LightTerms t = termsOf(light);
    const float bx = -light.viewDirection[0], by = -light.viewDirection[1], bz = -light.viewDirection[2];
    for (std::size_t i = 0; i < b.count; ++i) {
        const ToLight l = toLight(b, i, light);
        const float a = bx * l.x + by * l.y + bz * l.z;
        const float s = 1.0f - (a - kSpotCosine) * kSpotSlope;
        const float e = bx * b.nx[i] + by * b.ny[i] + bz * b.nz[i];
        const bool reached = l.distance > 0 && s > 0 && e > 0;
        const double g =
            reached ? static_cast<double>(s) * t.intensity * (static_cast<double>(e) + 0.5) : 0.0;
        addColour(b, i, t, g);
    }
}

}  // namespace

void gatherBlock(PointBlock& block, const MeshPoint* points, std::size_t count) {
    block.count = count < PointBlock::kCapacity ? count : PointBlock::kCapacity;
    for (std::size_t i = 0; i < block.count; ++i) {
        const MeshPoint& p = points[i];
        block.x[i] = p.cameraSpacePosition[0];
        block.y[i] = p.cameraSpacePosition[1];
        block.z[i] = p.cameraSpacePosition[2];
        block.nx[i] = p.cameraSpaceNormal[0];
        block.ny[i] = p.cameraSpaceNormal[1];
        block.nz[i] = p.cameraSpaceNormal[2];
        block.red[i] = p.lightRed;
        block.green[i] = p.lightGreen;
        block.blue[i] = p.lightBlue;
    }
}

// On x86 built twice, for AVX2 (four doubles at a time) and for the baseline; the
// results are the same bit for bit, as neither contracts into fused
// multiply-adds.
ZOR_POINT_LOOP void lightBlock(PointBlock& block, const LightList& lights) {
    for (std::size_t k = 0; k < lights.count; ++k) {
        const SceneLight& light = lights.lights[k];
        switch (light.lightType) {
            case distantLight: addDistant(block, light); break;
            case pointLight: addPoint(block, light); break;
            case spotLight: addSpot(block, light); break;
            default: break;  // unknown types add nothing
        }
    }
}

// The sums are whole numbers already: clamped to 0..255 in place, as whole
// vectors, then converted one by one into the point records.
ZOR_POINT_LOOP void storeBlockSums(PointBlock& block, MeshPoint* points) {
    for (double* sums : {block.red, block.green, block.blue})
        for (std::size_t i = 0; i < block.count; ++i) {
            const double sum = sums[i] > 0 ? sums[i] : 0.0;
            sums[i] = sum < 255 ? sum : 255.0;
        }
    for (std::size_t i = 0; i < block.count; ++i) {
        points[i].lightRed = static_cast<std::uint32_t>(static_cast<std::int32_t>(block.red[i]));
        points[i].lightGreen = static_cast<std::uint32_t>(static_cast<std::int32_t>(block.green[i]));
        points[i].lightBlue = static_cast<std::uint32_t>(static_cast<std::int32_t>(block.blue[i]));
    }
}

}  // namespace zor
