#include <cmath>

#include "frame/frame_pass.h"
#include "frame/render_slots.h"
#include "scene/scene.h"

namespace zor {

namespace {

constexpr int kCastsShadows = 0x2;
constexpr std::uint8_t kShadowFlags = black | doubleSided;
constexpr Mat4 kIdentity4 = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

}  // namespace

void normalizePlane(float plane[4]) {
    const float s = plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2];
    if (std::fabs(s - 1.0f) <= 0.00001f) return;
    if (s > 1e-10f) {
        const float k = 1.0f / std::sqrt(s);
        for (int i = 0; i < 4; ++i) plane[i] *= k;
    } else {
        for (int i = 0; i < 4; ++i) plane[i] = 0;
    }
}

Mat4 shadowMatrix(const float light[4], const float plane[4]) {
    float p[4] = {plane[0], plane[1], plane[2], plane[3]};
    normalizePlane(p);
    const float d = p[0] * light[0] + p[1] * light[1] + p[2] * light[2] + p[3] * light[3];
    Mat4 m;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) m[r * 4 + k] = (r == k ? d : 0.0f) - p[r] * light[k];
    return m;
}

void drawShadow(SceneObject& object, Scene& scene, const CameraView& view, RenderSlots& slots) {
    if (!(object.shadowOptions & kCastsShadows)) return;
    if (scene.lights.empty()) return;  // no light, no shadow
    const SceneLight& first = scene.lights.front();
    const float light[4] = {first.viewPosition[0], first.viewPosition[1], first.viewPosition[2], 1.0f};
    const Mat3& c = view.viewRotation;
    // World planes y = 0 and z = 0 expressed in camera space: a column of the
    // view rotation and the camera's distance from the plane.
    const float planes[2][4] = {{c[1], c[4], c[7], view.cameraPosition[1]},
                                {c[2], c[5], c[8], view.cameraPosition[2]}};

    slots.setDepthBias(1);
    slots.setTransparentPass(0);
    for (const auto& plane : planes) {
        const Mat4 m = shadowMatrix(light, plane);
        slots.setWorldTransform(m.data());
        for (MeshPolygon& polygon : object.polygons) {
            if (polygon.flags & transparent) continue;
            const std::uint8_t saved = polygon.flags;
            polygon.flags = kShadowFlags;
            slots.drawPolygon(object, polygon, nullptr, scene, 0);
            polygon.flags = saved;
        }
    }
    slots.setDepthBias(0);
    slots.setWorldTransform(kIdentity4.data());
}

}  // namespace zor
