#pragma once
// The camera view and the screen record. The view (rotation and position of
// the camera) is written once per frame by updateCamera and read by object
// placement, lights and the shadow pass; it is an explicit value handed to
// them rather than shared state.

#include <cstdint>

#include "frame/linear.h"

namespace zor {

struct Motion;

// Degrees to radians, deliberately the single-precision constant rather than
// the exact value: every angle in the data goes through it.
inline constexpr float kDegreesToRadians = 0.01745328f;

struct CameraView {
    // Transpose of the camera's itemRotation; camera space = viewRotation * (w - cameraPosition).
    Mat3 viewRotation = {};
    Vec3 cameraPosition = {};
};

struct Viewport {
    std::uint8_t flag = 0;  // always 0
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    float focal = 0;        // the larger of width and height
    float centerX = 0;
    float centerY = 0;
    double angleX = 0;      // radians
    double angleY = 0;
    double sinX = 0;
    double cosX = 0;
    double sinY = 0;
    double cosY = 0;
};

void setupViewport(Viewport& viewport, int width, int height);

// Ry(h) * Rx(p) * Rz(b) for heading, pitch and bank in degrees; sines and
// cosines are taken in double and stored as floats.
Mat3 itemRotation(float heading, float pitch, float bank);

// itemRotation of a motion's evaluated heading, pitch, bank (value[3..5]).
Mat3 motionRotation(const Motion& motion);

// Sets the view from the camera motion's evaluated position and angles; the
// scale channels are ignored.
void updateCamera(CameraView& view, const Motion& cameraMotion);

// Where a camera stands and how it is turned: what its motion's first six
// channels hold.
struct CameraPlacement {
    Vec3 position = {};
    float heading = 0, pitch = 0, bank = 0;  // degrees
    bool operator==(const CameraPlacement&) const = default;
};

// The placement an evaluated camera motion holds.
CameraPlacement cameraPlacementOf(const Motion& cameraMotion);
// Sets the view from a placement, by the same rule as from a motion.
void updateCamera(CameraView& view, const CameraPlacement& placement);

}  // namespace zor
