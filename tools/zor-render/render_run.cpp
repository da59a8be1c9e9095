#include "render_run.h"

#include <cmath>

#include "app/scene_stage.h"
#include "archive/file_problem.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "frame/render_slots.h"
#include "frame/transform.h"
#include "object/object.h"
#include "platform/display/gl_display_layer.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"

namespace zor {

struct RenderRun::State {
    explicit State(const RenderOptions& options)
        : layer(GlDisplayOptions{options.visible, false}), context(layer) {}

    GlDisplayLayer layer;
    DisplayContext context;
    std::unique_ptr<RenderSlots> slots;
    std::unique_ptr<ObjectLoader> objects;
    Image logo;
    Scene scene;
    Viewport viewport;
    FrameContext frame;
};

RenderRun::RenderRun(RenderOptions options) : options_(std::move(options)) {}

RenderRun::~RenderRun() = default;

bool RenderRun::start() {
    state_ = std::make_unique<State>(options_);
    State& s = *state_;
    s.context.source.directory = options_.directory;
    s.context.source.archiveName = "zor.dat";
    s.context.diagnostics = &diagnostics_;
    std::string shown;
    s.context.showMessage = [&shown](std::string_view caption, std::string_view text) {
        shown = std::string(caption) + ": " + std::string(text);
    };
    // Any size: the picture is drawn off-screen.
    const bool up = initDisplay(s.context, nullptr, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE,
                                fixedModeChoice(options_.width, options_.height, options_.bits));
    if (!up) {
        error_ = "cannot bring up the display";
        if (!shown.empty()) error_ += ": " + shown;
        if (!s.layer.error().empty()) error_ += ": " + s.layer.error();
        return false;
    }
    loadImageSurface(s.context, s.logo, options_.logoName);
    s.slots = initRenderer(2, s.context);
    setupViewport(s.viewport, 0, 0);
    for (int i = 0; i < 2; ++i) {
        clearTarget(s.context);
        s.slots->endFrame();
    }
    s.objects = std::make_unique<ObjectLoader>(
        s.context.source, [&s](std::string_view name) { return s.slots->loadTexture(name); }, &diagnostics_);
    SceneLoadContext load;
    load.source = s.context.source;
    load.diagnostics = &diagnostics_;
    load.loadObject = [&s](std::string& name, Mesh& mesh) { s.objects->loadObject(name, mesh); };
    if (!readScene(s.scene, options_.sceneName, load)) {
        const std::filesystem::path onDisk = options_.directory / options_.sceneName;
        if (const std::string problem = diskFileProblem(onDisk); !problem.empty())
            error_ = onDisk.string() + ": cannot read the scene: " + problem;
        else
            error_ = options_.sceneName + ": scene not found in " + options_.directory.string() +
                     " (neither on disk nor in zor.dat)";
        return false;
    }
    return true;
}

std::int32_t RenderRun::firstFrame() const { return state_->scene.firstFrame; }

std::int32_t RenderRun::lastFrame() const { return state_->scene.lastFrame; }

void RenderRun::renderFrame(std::int32_t frame) {
    State& s = *state_;
    s.slots->beginFrame();
    s.slots->particleHalfSize = 0.25f;
    drawSceneFrame(s.scene, static_cast<float>(frame), s.viewport, s.frame, *s.slots);
    blitLogo(s.context, s.logo);
    s.slots->endFrame();
}

bool RenderRun::capture(RgbPicture& picture) {
    return state_->layer.readFrontBuffer(picture.pixels, picture.width, picture.height);
}

}  // namespace zor
