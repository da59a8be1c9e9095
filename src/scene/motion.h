#pragma once
// Keyframed channels: creating a key array and evaluating a Motion at a frame
// with Kochanek-Bartels (tension, continuity, bias) Hermite splines or straight
// spans. Evaluation only reads the keys, writes Motion::value and allocates
// nothing, so it can run for every item and every trail sample of a frame.

#include <array>
#include <cstdint>

#include "scene/scene.h"

namespace zor {

// The four cubic Hermite weights h1, h2, h3, h4 at parameter t.
std::array<float, 4> hermiteBasis(float t);

// Replaces the motion's keys by `keyCount` zeroed keys linked to their
// neighbours; lastKeyFrame = `lastFrame`. A negative count gives no keys.
void allocateKeys(Motion& motion, std::int32_t keyCount, std::int32_t lastFrame);

// Writes the channels of `motion` at `frame` into motion.value (the first
// channelCount entries). A motion without keys yields the neutral pose in all
// nine entries: position 0, angles 0, scale 1 (an envelope reads 0).
void evaluateMotion(Motion& motion, float frame);

}  // namespace zor
