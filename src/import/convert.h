#pragma once
// Turns SourceModels into the files of a play folder: the scene, one object
// file per mesh part (LightWave object, or binary mesh where texture
// coordinates must travel with the polygons), and JPEG images. No file is
// touched here: the result is names and bytes, written by writePlayFolder.
//
// Conventions of the result: the source's right-handed, +Y up space becomes
// the player's left-handed one by turning z around (x right, y up, z away
// from the viewer); one unit is one source unit (glTF: one metre) times the
// source's scale. The camera turns around with the space, so the picture is
// the source's own: its counter-clockwise front faces are reversed to run
// clockwise, the side the player draws. Times become frames at the player's
// 30.3 frames per second.
//
// Every source hangs below a root null named after its file, which carries
// its placement and nothing else: the model's own scale and rotation stay on
// the nodes below, so a new motion for the root moves the model without
// resizing it. The scene holds only what the player reads.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/data_source.h"
#include "scene/player_constants.h"
#include "writers/play_folder.h"
#include "writers/scene_writer.h"
#include "import/source_model.h"

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
// The see-through logo of a new scene: the logo's size, all of it in the
// colour the player keys out.
inline constexpr int kLogoSide = 256;
// Last frame of a scene of sources without animation (10 s).
inline constexpr int kStillSceneFrames = 303;
// A model fitted into the view (when no scale is given and no camera of its
// own is used) is made about this many units across (its longest side).
inline constexpr double kFittedSize = 10;

// One source of a scene.
struct SourceInput {
    const SourceModel* model = nullptr;
    std::string name;                  // names the root null: the file's name ("arm.glb" gives arm_glb)
    std::array<float, 3> at{0, 0, 0};  // where the root stands, in player units
    std::optional<float> scale;        // player units per source unit; none: 1, or fitted into the view
};

// What a recipe directs of one source (zor-import directs nothing).
struct SourceDirection {
    // The root null's own motion, in place of one still key at `at`.
    std::optional<write::LwsMotion> rootMotion;
    // The source's own animation repeats: every motion and envelope of it
    // ends in "repeat", each running to the end of the longest, so that all
    // start again together.
    bool loop = false;
    bool doubleSided = false;  // every surface of this source drawn from both sides
};

// A scene already in a play folder that sources are added to: its text
// stays byte for byte and the new items follow it.
struct ExistingScene {
    std::string text;
    int objects = 0;  // as the player counts them, null objects included
    int lights = 0;
    int firstFrame = 0;
    int lastFrame = 0;
    // Names the folder already holds (files, archive entries, the scene's
    // objects and nulls), which the new files and nulls keep clear of.
    std::vector<std::string> names;
};

struct ConvertOptions {
    std::optional<float> scale;  // for convertModel's one source
    std::string sceneName = kSceneFileName;
    bool doubleSided = false;    // every surface drawn from both sides
    // A new scene's folder gets a see-through logo (the player shows a logo
    // in every frame); false where the folder has a logo of its own.
    bool logo = true;
    // Per source, in order, what a recipe directs; empty: nothing.
    std::vector<SourceDirection> directions;
    // A new scene's camera: the own camera of source `cameraFrom` (an index
    // into the sources), or `camera` as given (a recipe's keys); neither: the
    // first source's own camera, else a view framing the scene.
    std::optional<int> cameraFrom;
    std::optional<write::LwsMotion> camera;
    // A new scene's first and last frame; none: 0 to the end of the longest
    // animation (a still scene's 10 s without one).
    std::optional<std::array<int, 2>> range;
    // A room of this colour (red, green, blue) around a new scene: its walls
    // face inward and show the colour as far as the scene's distant lights
    // allow (backdrop.h).
    std::optional<std::array<std::uint8_t, 3>> backdrop;
    // How messages name the way to choose a scale ("--scale", or a recipe's key).
    std::string scaleOption = "--scale";
};

using OutputFile = write::DataFile;

// What an import wrote and what it has to say. The counts are of what this
// import added.
struct Conversion {
    std::vector<OutputFile> files;  // the scene first
    int objects = 0;                // object files in the scene
    int nullObjects = 0;
    int polygons = 0;
    int points = 0;
    int images = 0;
    int keys = 0;                   // motion and envelope keys of objects, lights and camera
    int lights = 0;
    int firstFrame = 0;             // the scene's range
    int lastFrame = 0;
    std::vector<std::string> roots;  // per source, the name of its root null
    std::vector<float> scales;       // per source, the scale it was converted at
    int cameraSource = -1;           // the source whose own camera the scene's is; -1: none
    std::array<float, 6> cameraStart{};  // a new scene's camera at its first key: x y z, heading pitch bank
    std::vector<std::string> renamed;     // "source name -> new name"
    std::vector<std::string> notCarried;  // one line per kind
    std::vector<std::string> notes;       // what the import added or decided
    std::vector<std::string> warnings;    // what will not look as the author expects

    // Adds a kind of content to notCarried once.
    void addNotCarried(const std::string& what);
};

// One source into a new scene, its root named after the model's file.
// Throws ImportError when the model cannot become a scene at all (no
// geometry, a scale that is not a positive number).
Conversion convertModel(const SourceModel& model, const ConvertOptions& options);

// Several sources into one scene, or added to `existing`. Throws
// ImportError as convertModel does, naming the source.
Conversion composeScene(const std::vector<SourceInput>& sources, const ConvertOptions& options,
                        const ExistingScene* existing = nullptr);

}  // namespace zor::import
