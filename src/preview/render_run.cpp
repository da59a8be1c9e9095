#include "preview/render_run.h"

#include "preview/scene_stage.h"
#include "archive/file_problem.h"
#include "platform/native_gl_host.h"
#include "render/gl_display_layer.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "system/text.h"

namespace zor {

namespace {

StageOptions stageOptions(const RenderOptions& options) {
    StageOptions stage;
    stage.directory = options.directory;
    stage.sceneName = options.sceneName;
    stage.logoName = options.logoName;
    stage.width = options.width;
    stage.height = options.height;
    stage.bits = options.bits;
    stage.samples = options.samples;
    stage.startFromBlack = false;  // the player's pass, flip chain and all
    return stage;
}

GlDisplayOptions displayOptions(const RenderOptions& options) {
    GlDisplayOptions display;
    display.visible = options.visible;
    display.allowFullScreen = false;
    display.stretch = options.stretch;
    return display;
}

}  // namespace

struct RenderRun::State {
    explicit State(const RenderOptions& options)
        : layer(makeNativeGlHost(displayOptions(options)), displayOptions(options)),
          stage(layer, stageOptions(options)) {}

    GlDisplayLayer layer;
    SceneStage stage;
};

RenderRun::RenderRun(RenderOptions options) : options_(std::move(options)) {}

RenderRun::~RenderRun() = default;

bool RenderRun::start() {
    state_ = std::make_unique<State>(options_);
    State& s = *state_;
    if (!s.stage.start(nullptr, error_)) {
        if (!s.layer.error().empty()) error_ += ": " + s.layer.error();
        return false;
    }
    StageLoad load = s.stage.load();
    diagnostics_ = std::move(load.diagnostics);
    if (!load.sceneRead) {
        const std::filesystem::path onDisk = options_.directory / pathFromUtf8(options_.sceneName);
        if (const std::string problem = diskFileProblem(onDisk); !problem.empty())
            error_ = utf8Of(onDisk) + ": cannot read the scene: " + problem;
        else
            error_ = options_.sceneName + ": scene not found in " + utf8Of(options_.directory) +
                     " (neither on disk nor in " + kArchiveFileName + "); " + nothingFoundHint(options_.directory);
        return false;
    }
    // A picture with nothing in it is no picture of the scene.
    if (loadedNoObject(*s.stage.scene())) {
        error_ = options_.sceneName + ": " + describeNoObject(load.objects, options_.directory);
        return false;
    }
    return true;
}

std::int32_t RenderRun::firstFrame() const { return state_->stage.scene()->firstFrame; }

std::int32_t RenderRun::lastFrame() const { return state_->stage.scene()->lastFrame; }

void RenderRun::renderFrame(float frame) {
    state_->stage.drawFrameAt(frame);
    state_->stage.present();
}

int RenderRun::sampleCount() const { return state_->layer.sampleCount(); }

bool RenderRun::capture(RgbPicture& picture) {
    return state_->layer.readFrontBuffer(picture.pixels, picture.width, picture.height);
}

}  // namespace zor
