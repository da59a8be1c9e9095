#pragma once
// Turns a SourceModel into the files of a play folder: the scene, one object
// file per mesh part (LightWave object, or binary mesh where texture
// coordinates must travel with the polygons), and JPEG images. No file is
// touched here: the result is names and bytes, written by writePlayFolder.
//
// Conventions of the result: the source's right-handed, +Y up space becomes
// the player's left-handed one by turning z around (x right, y up, z away
// from the viewer); one unit is one source unit (glTF: one metre) times the
// scale option. The camera turns around with the space, so the picture is
// the source's own: its counter-clockwise front faces are reversed to run
// clockwise, the side the player draws. Times become frames at the player's
// 30.3 frames per second.

#include <string>
#include <vector>

#include "archive/archive.h"
#include "scene/player_constants.h"
#include "writers/play_folder.h"
#include "source_model.h"

namespace zor::import {

// The player's frame rate as the conversion has always computed with it.
inline constexpr float kImportFramesPerSecond = static_cast<float>(kFramesPerSecond);
// Longest side of a converted image: sides are powers of two from 8 to this.
inline constexpr int kMaxImageSide = 256;
inline constexpr int kMinImageSide = 8;
// Object base names leave room for ".lwo" in the scene's 27-character name
// and for ".3d" in the archive's 31-character entry names.
inline constexpr std::size_t kMaxObjectBaseName = 23;
// Image names: "NAME.jpg" within the archive's 31 characters.
inline constexpr std::size_t kMaxImageBaseName = 27;
// Length of a scene played for a source without animation.
inline constexpr int kStillSceneFrames = 303;

struct ConvertOptions {
    float scale = 1.0f;
    std::string sceneName = kSceneFileName;
};

using OutputFile = write::DataFile;

struct Conversion {
    std::vector<OutputFile> files;  // the scene first
    int objects = 0;                // object files written
    int nullObjects = 0;
    int polygons = 0;
    int points = 0;
    int images = 0;
    int keys = 0;                   // motion keys of objects, lights and camera
    int lights = 0;
    int firstFrame = 0;
    int lastFrame = 0;
    std::vector<std::string> renamed;     // "source name -> new name"
    std::vector<std::string> notCarried;  // one line per kind
    std::vector<std::string> notes;       // what the import added or decided

    // Adds a kind of content to notCarried once.
    void addNotCarried(const std::string& what);
};

// Throws ImportError when the model cannot become a scene at all (no
// geometry, a scale that is not a positive number).
Conversion convertModel(const SourceModel& model, const ConvertOptions& options);

}  // namespace zor::import
