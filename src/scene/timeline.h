#pragma once
// The scene's timeline as the player runs it: the wall clock in milliseconds
// becomes scene time in frames (30.3 a second from the scene's first frame),
// scene time becomes the frame drawn, and the range ends by the player's own
// rule. Every tool that walks a scene's range uses these, so it shows what
// the player shows.

#include <cstdint>

namespace zor {

// Elapsed scene time in frames for a clock reading: (now - start) x 0.001 x
// 15.15 from the exact reading and the float start, stored as a float, then
// doubled as a float.
float sceneTime(std::uint32_t now, float start);
// trunc(first + t), first taken as unsigned; a sum outside the 32-bit range
// gives INT32_MIN, as the processor's conversion does.
std::int32_t frameNumber(std::int32_t first, float t);
// first + t without truncation, first taken as unsigned: the frame of smooth
// motion, which moves at the display's rate instead of in whole frames. A sum
// outside the 32-bit range gives INT32_MIN, as frameNumber does.
float smoothFrameNumber(std::int32_t first, float t);
// last < first + t, both frame bounds taken as unsigned, t before truncation.
bool sceneEnded(std::int32_t first, std::int32_t last, float t);

}  // namespace zor
