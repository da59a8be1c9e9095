#pragma once
// What the preview directs when it shows an author's recipe rather than a
// play folder: before every load of the stage the direction brings the
// stage's folder up to date (the recipe built into it), and what the author
// sets in the preview (camera and model keys, the range) is written back
// into the recipe, then built and loaded like any save. The view knows only
// this interface; recipe_direction.h is the real one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/camera.h"
#include "preview/file_watch.h"

namespace zor {

struct DirectionBuild {
    // What the build read (the recipe and every file it names) with the
    // stamps it saw, to be watched for the next change.
    FileStamps files;
    // Why the stage's folder was not brought up to date, in one line
    // ("demo.toml:3:5: what is wrong"); the folder holds the last good build.
    std::string error;
    // A file was still being written: nothing was built and nothing is
    // wrong; its stamp is unknown, so the watch builds again once it is still.
    bool unsettled = false;
    bool ok() const { return error.empty() && !unsettled; }
};

// What became of a write: `said` goes to the status line and the log
// ("camera key at frame 120 written", or why nothing was written).
struct DirectionWrite {
    bool written = false;
    std::string said;
};

class ViewDirection {
public:
    virtual ~ViewDirection() = default;

    // Reads the recipe and, when it and every file it names are whole and
    // sound, builds it into the stage's folder.
    virtual DirectionBuild build() = 0;

    // The recipe's file name, for messages ("demo.toml").
    virtual std::string name() const = 0;
    // The names of the recipe's models, in its order (of the last good read).
    virtual std::vector<std::string> models() const = 0;
    // Its beats a minute, when it gives them.
    virtual std::optional<double> beatsPerMinute() const = 0;

    // The camera's key at `frame`: where the camera stands and how it is
    // turned.
    virtual DirectionWrite writeCameraKey(std::int32_t frame, const CameraPlacement& camera) = 0;
    // The model's key at `frame` with its position (a key already at that
    // frame keeps its rotation and scale).
    virtual DirectionWrite writeModelKey(const std::string& model, std::int32_t frame, const Vec3& position) = 0;
    // The range's first frame, its last, or both; none: as it is.
    virtual DirectionWrite writeRange(std::optional<std::int32_t> first, std::optional<std::int32_t> last) = 0;
    // The recipe as it was before the last write still standing, written
    // again; refused when the recipe has changed since that write.
    virtual DirectionWrite takeBack() = 0;
};

}  // namespace zor
