#pragma once
// What the player fixes once and every part agrees on: the names of its data
// files, its window's title, the pace of its clock, the size of a particle,
// the renderer it asks for and how it takes the screen. The tools and the
// page use these, never copies of them.

#include <cstdint>

namespace zor {

// Files of the play folder: the archive, and the scene, logo and music
// found on disk first, else in the archive (the music on disk only).
inline constexpr const char* kArchiveFileName = "zor.dat";
inline constexpr const char* kSceneFileName = "glorp2.lws";
inline constexpr const char* kLogoFileName = "skane.jpg";
inline constexpr const char* kMusicFileName = "mp3.mp3";
// What the folder says about its demo (scene/demo_info.h); optional.
inline constexpr const char* kDemoInfoFileName = "demo-info.txt";

inline constexpr const char* kMainWindowTitle = "ZOR @ QUENT7";

// The clock runs 15.15 x 2 = 30.3 scene frames per second of wall time.
inline constexpr double kHalfFramesPerSecond = 15.15;
// The same rate whole, for what converts seconds to frames (exactly 30.3: the
// doubling is exact).
inline constexpr double kFramesPerSecond = 2 * kHalfFramesPerSecond;

// Half the side of a particle square, set at the start of every pass.
inline constexpr float kParticleHalfSize = 0.25f;

// The renderer slot table the player asks for: drawing on the 3D device.
inline constexpr int kDeviceRendererMode = 2;

// How the player takes the screen: full screen, exclusive, reboot allowed
// (the display layer's DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE).
inline constexpr std::uint32_t kPlayerCooperativeFlags = 0x13;

}  // namespace zor
