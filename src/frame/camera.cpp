#include "frame/camera.h"

#include <cmath>

#include "scene/scene.h"

namespace zor {

void setupViewport(Viewport& viewport, int width, int height) {
    viewport = Viewport{};
    viewport.width = static_cast<std::uint16_t>(width);
    viewport.height = static_cast<std::uint16_t>(height);
    viewport.focal = static_cast<float>(viewport.width);
    if (viewport.height > viewport.width) viewport.focal = static_cast<float>(viewport.height);
    viewport.centerX = static_cast<float>(viewport.width * 0.5);
    viewport.centerY = static_cast<float>(viewport.height * 0.5);
    // The denominators are signed, so a 0 x 0 viewport gives atan(0 / -1) = 0;
    // a zero denominator gives atan(inf), a right angle, without trapping.
    const int w = static_cast<int>(viewport.width) - 2;
    const int h = static_cast<int>(viewport.height) - 1;
    viewport.angleX = std::atan(viewport.focal / (w * 0.5));
    viewport.angleY = std::atan(viewport.focal / (h * 0.5));
    viewport.sinX = std::sin(viewport.angleX);
    viewport.cosX = std::cos(viewport.angleX);
    viewport.sinY = std::sin(viewport.angleY);
    viewport.cosY = std::cos(viewport.angleY);
}

Mat3 itemRotation(float heading, float pitch, float bank) {
    const float h = heading * kDegreesToRadians;
    const float p = pitch * kDegreesToRadians;
    const float b = bank * kDegreesToRadians;
    const float ch = static_cast<float>(std::cos(static_cast<double>(h)));
    const float sh = static_cast<float>(std::sin(static_cast<double>(h)));
    const float cp = static_cast<float>(std::cos(static_cast<double>(p)));
    const float sp = static_cast<float>(std::sin(static_cast<double>(p)));
    const float cb = static_cast<float>(std::cos(static_cast<double>(b)));
    const float sb = static_cast<float>(std::sin(static_cast<double>(b)));
    return {ch * cb + sh * sp * sb, sh * sp * cb - ch * sb, sh * cp,
            cp * sb,                cp * cb,                -sp,
            ch * sp * sb - sh * cb, sh * sb + ch * sp * cb, ch * cp};
}

Mat3 motionRotation(const Motion& motion) {
    return itemRotation(motion.value[3], motion.value[4], motion.value[5]);
}

void updateCamera(CameraView& view, const Motion& cameraMotion) { updateCamera(view, cameraPlacementOf(cameraMotion)); }

CameraPlacement cameraPlacementOf(const Motion& cameraMotion) {
    const float* v = cameraMotion.value;
    return {{v[0], v[1], v[2]}, v[3], v[4], v[5]};
}

void updateCamera(CameraView& view, const CameraPlacement& placement) {
    // Negating the angles transposes the rotation exactly (cosines are even,
    // sines odd), so the transpose is formed directly.
    view.viewRotation = transpose(itemRotation(placement.heading, placement.pitch, placement.bank));
    view.cameraPosition = placement.position;
}

}  // namespace zor
