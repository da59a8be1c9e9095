#pragma once
// The still scene of the picture tests (the player on X and on Windows
// against zor-render): nothing in it moves, so every frame is frame 0.

namespace zor::test {

// A room with its checker-textured floor and a column lit by one light,
// nothing moving: every frame is frame 0.
inline constexpr const char* kStillScene = R"(LWSC
1

FirstFrame 0
LastFrame 1000000
FrameStep 1
PreviewFirstFrame 0
PreviewLastFrame 1000000
PreviewFrameStep 1
FramesPerSecond 30.3

LoadObject Objects\Room.lwo
ShowObject 6 7
ObjectMotion (unnamed)
  9
  1
  0 0 0 0 0 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ShadowOptions 0

LoadObject Objects\Column.lwo
ShowObject 6 7
ObjectMotion (unnamed)
  9
  1
  0 0 -20 0 0 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ShadowOptions 2

AddLight
LightName Sun
ShowLight 1 7
LightMotion (unnamed)
  9
  1
  -6 30 -45 11.3 44.4 0 1 1 1
  0 0 0 0 0
EndBehavior 1
LightColor 255 244 224
LgtIntensity 1.3
LightType 0
ShadowType 1

ShowCamera 1 7
CameraMotion (unnamed)
  9
  1
  0 12 -45 0 15 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ZoomFactor 3.2
)";

}  // namespace zor::test
