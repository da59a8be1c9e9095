#pragma once
// The sample demo itself: a gallery room in which the camera visits four
// set pieces in four acts of 480 frames (8 bars of music each), at 30.3
// frames per second:
//   I    the orrery: spinning hierarchy of nulls with pivots and scales, a
//        planet with rings and a moon that carries a point light;
//   II   the creature: a bone-deformed tentacle under a spot light, a
//        double-sided banner;
//   III  metamorph: a chrome blob morphing into a star inside an outline
//        cage, crystals dissolving in and out;
//   IV   fireworks: particle fountains with trails over a pool, flashes.

#include <string>
#include <utility>
#include <vector>

#include "scene/player_constants.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"
#include "writers/scene_writer.h"

namespace zor::demo {

// The demo is written with the format writers.
using namespace zor::write;

inline constexpr int kActFrames = 480;
inline constexpr int kActs = 4;
inline constexpr int kFirstFrame = 0;
inline constexpr int kLastFrame = kActFrames * kActs;  // 1920 frames: 63.4 s at 30.3 fps

inline constexpr const char* kSceneFile = kSceneFileName;
inline constexpr const char* kBinaryOnlyObject = "Something";  // scene says Something.lwo, only Something.3d exists
// The image whose mip levels are turned off by a companion file ending in "avi".
inline constexpr const char* kNoMipImage = "water.jpg";
inline constexpr const char* kNoMipCompanion = "water.avi";

struct NamedObject {
    std::string fileName;  // e.g. "Planet.lwo"
    LwObject object;
};

struct DemoContent {
    LwsScene scene;
    std::vector<NamedObject> objects;  // every LWOB file the scene loads
    std::string binaryMeshFile;        // "Something.3d"
    BinaryMesh binaryMesh;
};

DemoContent buildDemoContent();

}  // namespace zor::demo
