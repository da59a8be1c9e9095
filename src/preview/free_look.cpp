#include "preview/free_look.h"

#include <algorithm>
#include <cmath>

namespace zor {

namespace {

// An angle in degrees as the same turn within -180..180.
float withinHalfTurn(float degrees) {
    float a = std::fmod(degrees, 360.0f);
    if (a > 180.0f) a -= 360.0f;
    if (a <= -180.0f) a += 360.0f;
    return a;
}

}  // namespace

void FreeLook::start(const CameraPlacement& from) {
    placement_ = from;
    placement_.heading = withinHalfTurn(from.heading);
    placement_.pitch = std::clamp(withinHalfTurn(from.pitch), -kLargestPitch, kLargestPitch);
    on_ = true;
}

void FreeLook::turn(int dx, int dy) {
    placement_.heading = withinHalfTurn(placement_.heading + static_cast<float>(dx) * kDegreesPerPixel);
    placement_.pitch =
        std::clamp(placement_.pitch + static_cast<float>(dy) * kDegreesPerPixel, -kLargestPitch, kLargestPitch);
}

void FreeLook::move(float right, float up, float ahead) {
    // The camera's axes in the world are the columns of its item rotation.
    const Mat3 r = itemRotation(placement_.heading, placement_.pitch, placement_.bank);
    for (int i = 0; i < 3; ++i)
        placement_.position[i] += r[i * 3] * right + r[i * 3 + 1] * up + r[i * 3 + 2] * ahead;
}

}  // namespace zor
