#pragma once
// Headless capture of the player's picture, for zor-render's frames and
// videos and zor-publish's poster: the scene is loaded as the player loads it
// and every requested frame goes through the player's pass (depth clear,
// particle size, frame pass, logo, flip); the presented buffer is read back.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/diagnostics.h"
#include "display/display.h"
#include "display/png_file.h"
#include "preview/scene_stage.h"
#include "scene/player_constants.h"

namespace zor {

struct RenderOptions {
    // The scene, the picture's size and depth, as the stage takes them; a
    // run always starts from the player's pass (startFromBlack is not used).
    StageOptions stage;
    bool stretch = false;        // the view over the whole of a size that is not 4:3
    bool visible = false;        // show a window while rendering
};

class RenderRun {
public:
    explicit RenderRun(RenderOptions options);
    ~RenderRun();

    // Brings up the display, the logo and the renderer, then reads the
    // scene. False with error() set when any of it fails.
    bool start();
    const std::string& error() const { return error_; }
    const Diagnostics& diagnostics() const { return diagnostics_; }

    std::int32_t firstFrame() const;
    std::int32_t lastFrame() const;

    // One pass of the player at frame f (fractional in smooth motion); the
    // picture is the presented buffer.
    void renderFrame(float frame);
    // Samples a pixel the device gave (1 without multisampling).
    int sampleCount() const;
    bool capture(RgbPicture& picture);

private:
    struct State;
    RenderOptions options_;
    std::unique_ptr<State> state_;
    Diagnostics diagnostics_;
    std::string error_;
};

}  // namespace zor
