#pragma once
// The preview's free look: a camera the author turns and flies instead of
// the demo's, drawn by the player's own view rules (only the placement is
// replaced: FrameOverrides::camera). Pure logic, in the player's axes and
// units: heading turns about y (90 looks along +x), pitch about x (90 looks
// straight down), bank about z.
//
// It starts where the demo's camera is at the frame shown, so the picture
// does not jump. A drag turns it (a pointer moved right turns right, moved
// down looks down, a quarter degree a pixel; the pitch stops short of
// straight up and down and the heading stays within -180..180); moves go
// along its own axes, right, up and ahead. Its bank is the demo camera's,
// kept.

#include "frame/camera.h"

namespace zor {

class FreeLook {
public:
    static constexpr float kDegreesPerPixel = 0.25f;
    static constexpr float kLargestPitch = 89.0f;
    // Units a fly key moves (Shift: ten times as far), and a notch of the
    // wheel (in and out along the view).
    static constexpr float kFlyStep = 0.5f;
    static constexpr float kWheelStep = 1.0f;
    static constexpr float kFastFactor = 10.0f;

    bool on() const { return on_; }
    // On, from `from` (the demo's camera at the frame shown).
    void start(const CameraPlacement& from);
    // Back to the demo's camera.
    void stop() { on_ = false; }

    // A drag of (dx, dy) pixels, right and down positive.
    void turn(int dx, int dy);
    // Along the camera's own axes, in units.
    void move(float right, float up, float ahead);

    const CameraPlacement& placement() const { return placement_; }

private:
    bool on_ = false;
    CameraPlacement placement_;
};

}  // namespace zor
