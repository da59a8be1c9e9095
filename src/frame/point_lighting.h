#pragma once
// Private: lighting of one point by all lights, shared by lightObject and the
// fused transform loop. Sums are kept signed and wide while the lights add up
// and clamped to 0..255 once at the end; integer sums do not depend on the
// order the lights are added in.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "frame/lights.h"
#include "frame/linear.h"
#include "scene/scene.h"

namespace zor {

struct LightSums {
    std::int64_t red = 0;
    std::int64_t green = 0;
    std::int64_t blue = 0;
};

struct LightList {
    const SceneLight* lights = nullptr;
    std::size_t count = 0;
};

// Limit for one contribution, far beyond any visible value, so that the
// conversion to an integer is always defined.
inline constexpr double kContributionLimit = 1 << 30;

// Adds trunc(colour * g) to each channel (toward zero, like the conversion).
// Ordinary factors and colours take the direct path; huge or NaN products are
// clamped or dropped so the conversion stays defined.
inline void addColour(LightSums& sums, const std::int32_t color[3], double g) {
    const double c0 = color[0], c1 = color[1], c2 = color[2];
    if (std::fabs(g) <= 1e6 && std::fabs(c0) + std::fabs(c1) + std::fabs(c2) <= 1e3) {
        sums.red += static_cast<std::int64_t>(c0 * g);
        sums.green += static_cast<std::int64_t>(c1 * g);
        sums.blue += static_cast<std::int64_t>(c2 * g);
        return;
    }
    if (std::isnan(g)) return;
    const auto bounded = [](double product) {
        return static_cast<std::int64_t>(std::clamp(product, -kContributionLimit, kContributionLimit));
    };
    sums.red += bounded(c0 * g);
    sums.green += bounded(c1 * g);
    sums.blue += bounded(c2 * g);
}

inline std::uint32_t clampSum(std::int64_t sum) { return static_cast<std::uint32_t>(std::clamp<std::int64_t>(sum, 0, 255)); }

inline void storeSums(MeshPoint& point, const LightSums& sums) {
    point.lightRed = clampSum(sums.red);
    point.lightGreen = clampSum(sums.green);
    point.lightBlue = clampSum(sums.blue);
}

// Adds every light's contribution at the point's camera-space position and
// normal. The products are carried in double into each colour's truncation.
// A light that does not reach the point adds trunc(0): no branch to mispredict
// on meshes whose normals turn toward and away from a light.
[[gnu::always_inline]] inline void lightPoint(LightSums& sums, const MeshPoint& point, const LightList& list) {
    const Vec3 v = load3(point.cameraSpacePosition);
    const Vec3 n = load3(point.cameraSpaceNormal);
    for (std::size_t k = 0; k < list.count; ++k) {
        const SceneLight& light = list.lights[k];
        const double intensity = light.intensity.value[0];
        switch (light.lightType) {
            case distantLight: {
                const float f = 1.0f - dot(load3(light.viewDirection), n);
                addColour(sums, light.color, f >= 0 ? static_cast<double>(f) * intensity : 0.0);
                break;
            }
            case pointLight:
            case spotLight: {
                const Vec3 lv = {light.viewPosition[0] - v[0], light.viewPosition[1] - v[1],
                                 light.viewPosition[2] - v[2]};
                const float d = std::sqrt(dot(lv, lv));
                if (!(d > 0)) break;  // the light sits on the point: no direction to it
                // One division per point and light: the reciprocal serves both
                // the direction and the falloff.
                const float inverse = 1.0f / d;
                const Vec3 toLight = {lv[0] * inverse, lv[1] * inverse, lv[2] * inverse};
                if (light.lightType == pointLight) {
                    const float c = dot(toLight, n);
                    addColour(sums, light.color, c > 0 ? static_cast<double>(c) * intensity * inverse : 0.0);
                    break;
                }
                const Vec3 back = {-light.viewDirection[0], -light.viewDirection[1], -light.viewDirection[2]};
                const float a = dot(back, toLight);
                const float s = 1.0f - (a - kSpotCosine) * kSpotSlope;
                const float e = dot(back, n);
                const bool reached = s > 0 && e > 0;
                addColour(sums, light.color,
                          reached ? static_cast<double>(s) * intensity * (static_cast<double>(e) + 0.5) : 0.0);
                break;
            }
            default: break;  // unknown types add nothing
        }
    }
}

}  // namespace zor
