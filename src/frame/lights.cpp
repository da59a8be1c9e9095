#include "frame/lights.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/placement_chain.h"
#include "frame/transform.h"
#include "scene/scene.h"

namespace zor {

void updateLight(SceneLight& light, const Scene& scene, FrameContext& context) {
    const Placement placement =
        placeUnder(light.parent, light.motion.value, false, context.objectChain, scene.objects.size());
    const CameraView& view = context.view;
    const Mat3 full = multiply(placement.rotation, motionRotation(light.motion));
    const Vec3 offset = {placement.position[0] - view.cameraPosition[0],
                         placement.position[1] - view.cameraPosition[1],
                         placement.position[2] - view.cameraPosition[2]};
    store3(light.viewPosition, mul(view.viewRotation, offset));
    // The forward axis (0, 0, 1) of the full rotation is its third column.
    store3(light.viewDirection, mul(view.viewRotation, Vec3{full[2], full[5], full[8]}));
}

namespace {

// Limit for one contribution, far beyond any visible value, so that the
// conversion to an integer is always defined.
constexpr double kContributionLimit = 1 << 30;

// Adds trunc(product) to a light sum that is kept as a signed value until the
// final clamp.
inline void addLight(std::uint32_t& sum, double product) {
    if (std::isnan(product)) return;
    product = std::clamp(product, -kContributionLimit, kContributionLimit);
    const std::int64_t total = static_cast<std::int64_t>(static_cast<std::int32_t>(sum)) +
                               static_cast<std::int64_t>(product);
    const std::int64_t bounded = std::clamp<std::int64_t>(total, INT32_MIN, INT32_MAX);
    sum = static_cast<std::uint32_t>(static_cast<std::int32_t>(bounded));
}

inline void addColour(MeshPoint& point, const std::int32_t color[3], double g) {
    addLight(point.lightRed, color[0] * g);
    addLight(point.lightGreen, color[1] * g);
    addLight(point.lightBlue, color[2] * g);
}

inline std::uint32_t clampSum(std::uint32_t sum) {
    const std::int32_t value = static_cast<std::int32_t>(sum);
    if (value < 0) return 0;
    return value > 255 ? 255u : sum;
}

void addDistant(MeshPoint* points, std::size_t count, const SceneLight& light, double intensity) {
    const Vec3 d = load3(light.viewDirection);
    for (std::size_t i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        const float f = 1.0f - dot(d, load3(point.cameraSpaceNormal));
        if (f >= 0) addColour(point, light.color, static_cast<double>(f) * intensity);
    }
}

void addPoint(MeshPoint* points, std::size_t count, const SceneLight& light, double intensity) {
    const Vec3 p = load3(light.viewPosition);
    for (std::size_t i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        const Vec3 lv = {p[0] - point.cameraSpacePosition[0], p[1] - point.cameraSpacePosition[1],
                         p[2] - point.cameraSpacePosition[2]};
        const float d = std::sqrt(dot(lv, lv));
        if (!(d > 0)) continue;  // the light sits on the point: no direction to it
        const Vec3 toLight = {lv[0] / d, lv[1] / d, lv[2] / d};
        const float c = dot(toLight, load3(point.cameraSpaceNormal));
        if (c > 0) addColour(point, light.color, static_cast<double>(c) * intensity / d);
    }
}

void addSpot(MeshPoint* points, std::size_t count, const SceneLight& light, double intensity) {
    const Vec3 p = load3(light.viewPosition);
    const Vec3 back = {-light.viewDirection[0], -light.viewDirection[1], -light.viewDirection[2]};
    for (std::size_t i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        const Vec3 lv = {p[0] - point.cameraSpacePosition[0], p[1] - point.cameraSpacePosition[1],
                         p[2] - point.cameraSpacePosition[2]};
        const float d = std::sqrt(dot(lv, lv));
        if (!(d > 0)) continue;
        const Vec3 toLight = {lv[0] / d, lv[1] / d, lv[2] / d};
        const float a = dot(back, toLight);
        const float s = 1.0f - (a - kSpotCosine) * kSpotSlope;
        const float e = dot(back, load3(point.cameraSpaceNormal));
        if (s > 0 && e > 0)
            addColour(point, light.color, static_cast<double>(s) * intensity * (static_cast<double>(e) + 0.5));
    }
}

}  // namespace

void lightObject(SceneObject& object, const Scene& scene) {
    const std::size_t count = usablePointCount(object);
    MeshPoint* points = object.points.data();
    if (object.unlit == 1) {
        for (std::size_t i = 0; i < count; ++i)
            points[i].lightRed = points[i].lightGreen = points[i].lightBlue = kUnlitLevel;
        return;
    }
    for (const SceneLight& light : scene.lights) {
        const double intensity = light.intensity.value[0];
        switch (light.lightType) {
            case distantLight: addDistant(points, count, light, intensity); break;
            case pointLight: addPoint(points, count, light, intensity); break;
            case spotLight: addSpot(points, count, light, intensity); break;
            default: break;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        points[i].lightRed = clampSum(points[i].lightRed);
        points[i].lightGreen = clampSum(points[i].lightGreen);
        points[i].lightBlue = clampSum(points[i].lightBlue);
    }
}

}  // namespace zor
