#pragma once
// A recipe (recipe/recipe.h) into the files of a play folder: zor-build's
// work, and the preview's when it plays a recipe. Everything goes through
// the importer's one conversion (composeScene): each model is a source
// below a root null named as the recipe names it, and the root null carries
// the model's direction:
//   - its placement: `position`, `rotation` (heading, pitch, bank) and
//     `scale` at the range's first frame, then its keys (values a key leaves
//     out hold from the key before; between keys the player's own curve);
//     `spin` on top, sampled once a frame (recipe_motion.h);
//   - `scale`: a model with a scale is converted at it (a uniform one, or the
//     cube root of the product of the three, baked into the model's points)
//     and the root's scale channels carry what is left of it; a key's scale
//     replaces the model's, in the same units. A model without one is fitted
//     into the view as zor-import fits it (or scaled with its own camera
//     when that is the camera used) and a key's scale is a factor on that
//     fitted size;
//   - `loop`: the source's own animation repeats (its motions end in
//     "repeat", all over the length of its longest);
//   - `double_sided`: every surface of the model drawn from both sides.
// The camera: `camera.from` names a model whose own camera is used; else the
// recipe's keys (look_at turned into heading and pitch); else the
// importer's choice (the first model with a camera, else a view framing the
// scene). `notes` say which and why.
// The range: `start` to `length`; without a length, to the end of the
// longest animation (10 s for still sources) or the last key, whichever is
// later. `backdrop` adds a room of its colour around the scene
// (backdrop.h), `music` becomes "mp3.mp3" (music.h), `logo` the 256 x 256
// logo (logo.h), and `title`, `author` and `description` "demo-info.txt".
//
// Nothing is written here: the result is names and bytes for
// writePlayFolder. The same recipe and files give the same bytes: no times,
// no random names, files in the order of the recipe.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/source_model.h"
#include "recipe/recipe.h"
#include "writers/play_folder.h"

namespace zor::import {

// A fault of the build, said as "demo.toml:LINE:COLUMN: what" where the
// recipe says where (the key naming the file that cannot be read, ...).
struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Sources already read, kept by path and taken again while the file's size
// and modification time stay the same (the preview rebuilds on every save).
// Files the source reads beside it (a .gltf's buffers and images, an .obj's
// .mtl) are not looked at: touch the main file after changing one. Not for
// several threads at once.
class SourceCache {
public:
    // The source read from `path` (readSource), or the one kept for it.
    // Throws ImportError as readSource does.
    std::shared_ptr<const SourceModel> read(const std::filesystem::path& path);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        std::shared_ptr<const SourceModel> model;
    };
    std::map<std::filesystem::path, Entry> entries_;
};

struct DemoBuildOptions {
    bool pack = true;  // the data files go into zor.dat; false: loose files (the preview, for speed)
    std::function<void(const std::string&)> progress;  // one line per step; may be empty
    SourceCache* cache = nullptr;                      // sources already read; none: every one is read
};

struct DemoBuild {
    std::vector<write::DataFile> files;     // the scene first, as writePlayFolder takes them
    std::vector<write::DataFile> diskOnly;  // beside the archive, never in it
    std::optional<Bytes> music;             // mp3.mp3
    bool pack = true;
    std::int32_t firstFrame = 0, lastFrame = 0;
    // The counts of what the scene holds, as the conversion made it.
    int objects = 0, nullObjects = 0, points = 0, polygons = 0, images = 0, lights = 0, keys = 0;
    std::vector<std::string> notes;     // what was built and decided (which camera and why, ...)
    std::vector<std::string> warnings;  // what will not look as the author expects

    // The play folder to write, at `folder`.
    write::PlayFolder playFolder(const std::filesystem::path& folder) const;
};

// Builds the demo a recipe directs. Throws BuildError.
DemoBuild buildDemo(const recipe::Recipe& recipe, const DemoBuildOptions& options = {});

// The play folder a recipe builds into by default: the recipe's path
// without ".toml" ("demos/cubes.toml" gives "demos/cubes").
std::filesystem::path defaultFolderOf(const std::filesystem::path& recipePath);

}  // namespace zor::import
