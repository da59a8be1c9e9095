// Frame numbers follow a clock that does not divide the frame range evenly,
// so the run visits fractional frames, both ends of the range and the wrap,
// as a real play does.

#include "soak.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "demo_set.h"
#include "display/display.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "object/object.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"
#include "scene/scene_reader.h"
#include "support/recording_display_layer.h"
#include "support/recording_slots.h"

namespace zor::soak {

namespace {

long statusField(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0) return std::strtol(line.c_str() + n, nullptr, 10);
    }
    return 0;
}

// Counts polygons and passes every call on to the real table, if any.
class CountingSlots : public RenderSlots {
public:
    explicit CountingSlots(RenderSlots* inner) : inner_(inner) {}
    void beginFrame() override { if (inner_) inner_->beginFrame(); }
    void endFrame() override { if (inner_) inner_->endFrame(); }
    void beginScene() override { if (inner_) inner_->beginScene(); }
    void endScene() override { if (inner_) inner_->endScene(); }
    void setTransparentPass(std::uint8_t on) override { if (inner_) inner_->setTransparentPass(on); }
    void drawPolygon(SceneObject& o, MeshPolygon& p, const Viewport* v, Scene& s, std::uint16_t zero) override {
        ++polygons;
        if (!inner_) return;
        inner_->particleHalfSize = particleHalfSize;
        inner_->drawPolygon(o, p, v, s, zero);
    }
    int loadTexture(std::string_view name) override { return inner_ ? inner_->loadTexture(name) : -1; }
    void drawSpotFlare(SceneLight& l, const Viewport* v) override { if (inner_) inner_->drawSpotFlare(l, v); }
    void drawPointFlare(SceneLight& l, const Viewport* v) override { if (inner_) inner_->drawPointFlare(l, v); }
    void setDepthBias(int bias) override { if (inner_) inner_->setDepthBias(bias); }
    void setWorldTransform(const float m[16]) override { if (inner_) inner_->setWorldTransform(m); }
    std::int64_t polygons = 0;

private:
    RenderSlots* inner_;
};

// The display and its renderer slots for the GL mode.
struct GlRenderer {
    const GlDisplayOptions options{false, false};
    GlDisplayLayer layer{std::make_unique<SdlGlHost>(options), options};
    DisplayContext context{layer};
    std::unique_ptr<RenderSlots> slots;

    GlRenderer(const SoakOptions& options, Diagnostics& diagnostics) {
        context.source = DataSource{options.folder, "zor.dat"};
        context.diagnostics = &diagnostics;
        context.showMessage = [&diagnostics](std::string_view caption, std::string_view text) {
            diagnostics.error("display", 0, std::string(caption) + ": " + std::string(text));
        };
        const auto mode = makeDisplayMode(static_cast<std::uint32_t>(options.width),
                                          static_cast<std::uint32_t>(options.height), 16);
        const bool up = initDisplay(context, nullptr, 0x13,
                                    [&mode](const std::vector<DisplayAdapter>& adapters, DisplaySelection& s) {
                                        if (adapters.empty()) return false;
                                        s.selectedGuid = adapters[0].guid;
                                        s.selectedMode = mode;
                                        return true;
                                    });
        if (!up) {
            diagnostics.error("display", 0, "cannot bring up the headless display: " + layer.error());
            return;
        }
        slots = initRenderer(2, context);
    }
};

}  // namespace

long residentKiB() { return statusField("VmRSS:"); }
long peakResidentKiB() { return statusField("VmHWM:"); }

void writeDemoArchive(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path archive = folder / "zor.dat";
    std::filesystem::remove(archive);
    PackFile pack(archive.string());
    for (const demo::DataFile& file : demo::demoDataFiles()) {
        if (!pack.addData(file.bytes, file.name)) throw std::runtime_error(pack.error());
    }
    if (!pack.flush()) throw std::runtime_error(pack.error());
}

SoakResult runSoak(const SoakOptions& options) {
    SoakResult result;
    std::unique_ptr<GlRenderer> gl;
    if (options.renderer == SoakRenderer::Gl) {
        gl = std::make_unique<GlRenderer>(options, result.diagnostics);
        if (!gl->slots) return result;
    }
    CountingSlots slots(gl ? gl->slots.get() : nullptr);
    const DataSource source{options.folder, "zor.dat"};
    ObjectLoader objects(source, [&slots](std::string_view name) { return slots.loadTexture(name); },
                         &result.diagnostics);
    SceneLoadContext context{source, [&objects](std::string& name, Mesh& mesh) { objects.loadObject(name, mesh); },
                             &result.diagnostics};
    Scene scene;
    if (!readScene(scene, options.scene, context) || scene.objects.empty()) return result;
    result.loaded = true;
    result.objects = scene.objectCount();
    result.lights = scene.lightCount();

    Viewport viewport;
    setupViewport(viewport, options.width, options.height);
    FrameContext frameContext;
    const float first = static_cast<float>(scene.firstFrame);
    const float span = options.frameSpan > 0 ? static_cast<float>(options.frameSpan)
                                             : static_cast<float>(scene.lastFrame - scene.firstFrame) + 1.0f;
    // 60 player frames per second against the scene's rate.
    const double step = (scene.framesPerSecond > 0 ? scene.framesPerSecond : 30.0f) / 60.0 * 1.0137;

    const auto start = std::chrono::steady_clock::now();
    double clock = 0;
    for (std::int64_t i = 0; i < options.frames; ++i) {
        if (i == options.warmUpFrames) result.rssStartKiB = residentKiB();
        const float frame = span > 0 ? first + static_cast<float>(std::fmod(clock, static_cast<double>(span))) : first;
        slots.beginFrame();
        slots.particleHalfSize = 0.25f;
        drawSceneFrame(scene, frame, viewport, frameContext, slots);
        slots.endFrame();
        clock += step;
        ++result.framesRun;
        if (options.progress && options.reportEvery > 0 && result.framesRun % options.reportEvery == 0) {
            options.progress(result.framesRun, residentKiB());
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.rssStartKiB == 0) result.rssStartKiB = residentKiB();
    result.rssEndKiB = residentKiB();
    result.peakRssKiB = peakResidentKiB();
    result.polygonsDrawn = slots.polygons;
    return result;
}

}  // namespace zor::soak
