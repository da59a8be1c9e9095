#include "app/player.h"

#include <ostream>

#include "app/command_line.h"
#include "app/main_loop.h"
#include "app/music_player.h"
#include "app/window_procedure.h"
#include "archive/data_source.h"
#include "archive/file_problem.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "object/object.h"
#include "scene/scene_reader.h"

namespace zor {

// The frame pass and the logo, for the main loop.
class FramePassTarget final : public PassTarget {
public:
    FramePassTarget(RenderSlots& slots, PlayerDisplay& display, const Viewport& viewport)
        : slots_(slots), display_(display), viewport_(viewport) {}

    void drawScene(Scene& scene, float frame) override {
        drawSceneFrame(scene, frame, viewport_, context_, slots_);
    }
    void blitLogo() override { display_.blitLogo(); }

private:
    RenderSlots& slots_;
    PlayerDisplay& display_;
    const Viewport& viewport_;
    FrameContext context_;
};

namespace {

void writeFailure(std::ostream& errors, std::string_view text) {
    errors << "zor: " << text << '\n';
    errors.flush();
}

}  // namespace

bool loadPlayerScene(Scene& scene, RenderSlots& slots, const DataSource& source, Diagnostics& diagnostics) {
    ObjectLoader objects(source, [&slots](std::string_view name) { return slots.loadTexture(name); },
                         &diagnostics);
    SceneLoadContext context;
    context.source = source;
    context.loadObject = [&objects](std::string& name, Mesh& mesh) { objects.loadObject(name, mesh); };
    context.diagnostics = &diagnostics;
    return readScene(scene, kSceneFileName, context);
}

PlayerSession::PlayerSession(PlayerParts& parts) : parts_(parts) {}

PlayerSession::~PlayerSession() {
    if (music_) music_->release();
}

bool PlayerSession::fail(int status) {
    if (music_) music_->release();
    status_ = status;
    return false;
}

bool PlayerSession::start(std::string_view commandLine) {
    WindowSystem& system = parts_.system;
    if (!system.createMainWindow(parts_.title)) {
        writeFailure(parts_.errors, "cannot create the main window: " + system.error());
        return fail(kPlayerFailureStatus);
    }

    music_ = std::make_unique<MusicPlayer>(musicBackendFor(commandLine), parts_.bass, parts_.gaudio);
    MusicPlayer& music = *music_;
    if ((music.backend() == MusicBackend::Bass && !parts_.bass) ||
        (music.backend() == MusicBackend::Gaudio && !parts_.gaudio)) {
        writeFailure(parts_.errors, "the chosen music library is not available; try -nosound");
        return fail(kPlayerFailureStatus);
    }
    // A failed music step: its box (if it has one) or its text, and its status.
    const auto musicFailure = [&](const MusicResult& result) {
        if (!result.caption.empty()) {
            system.messageBox(result.caption, result.text);
        } else {
            writeFailure(parts_.errors, result.text);
        }
        return fail(result.exitStatus);
    };
    if (MusicResult r = music.initialise(system.nativeWindow()); !r.ok) return musicFailure(r);
    if (const std::string silence = music.silence(); !silence.empty())
        writeFailure(parts_.errors, "no sound device (" + silence + "); playing without music");

    if (!parts_.display.initDisplay(system.nativeWindow())) {
        system.messageBox("brul", "Sket sig :(");
        // Closed by the user: the box above is all, and the end is a clean one.
        if (parts_.display.setupCancelled()) return fail(0);
        const std::string why = parts_.display.failure();
        writeFailure(parts_.errors, "the display could not be set up" + (why.empty() ? std::string() : ": " + why));
        return fail(kPlayerFailureStatus);
    }
    source_.setArchiveName(kArchiveFileName);
    // The logo, the scene, its objects and images all from one archive, even
    // when a writer replaces it during the start-up.
    const ArchiveCache::Hold oneArchive = source_.holdArchive();
    parts_.display.setDataSource(source_);
    parts_.display.loadLogo(kLogoFileName);
    if (const std::optional<int> status = parts_.display.fatalStatus()) return fail(*status);
    RenderSlots* slots = parts_.display.initRenderer(kDeviceRendererMode);
    if (!slots) {
        writeFailure(parts_.errors, "no renderer for mode 2");
        return fail(kPlayerFailureStatus);
    }
    setupViewport(viewport_, 0, 0);
    for (int i = 0; i < 2; ++i) {
        parts_.display.clearTarget();
        slots->endFrame();
    }

    if (MusicResult r = music.open(); !r.ok) return musicFailure(r);

    Diagnostics diagnostics;
    const bool sceneRead = parts_.loadScene(scenes_[0], *slots, source_, diagnostics);
    if (const std::optional<int> status = parts_.display.fatalStatus()) return fail(*status);
    diagnostics.print(parts_.errors);
    parts_.display.printDiagnostics(parts_.errors);
    if (!sceneRead) {
        if (const std::string damage = archiveDamage(source_); !damage.empty()) {
            writeFailure(parts_.errors, damage);
            return fail(kPlayerFailureStatus);
        }
        const std::string problem = diskFileProblem(kSceneFileName);
        writeFailure(parts_.errors, std::string("cannot read the scene \"") + kSceneFileName + "\": " +
                                       (problem.empty() ? "it is neither in the current folder nor in the archive \"" +
                                                              source_.archiveName + "\""
                                                        : "it " + problem + ", and the archive \"" +
                                                              source_.archiveName + "\" does not hold it"));
        return fail(kPlayerFailureStatus);
    }

    target_ = std::make_unique<FramePassTarget>(*slots, parts_.display, viewport_);
    loop_ = std::make_unique<MainLoop>(system, *slots, *target_, scenes_, 1);
    loop_->setSmooth(parts_.smooth);
    loop_->startClock();
    if (MusicResult r = music.start(); !r.ok) return musicFailure(r);
    return true;
}

bool PlayerSession::pass() {
    if (!loop_ || drainMessages(parts_.system)) return false;
    loop_->runPass(parts_.system.milliseconds());
    return true;
}

int PlayerSession::finish() {
    if (music_) music_->release();
    return status_;
}

int runPlayer(PlayerParts& parts, std::string_view commandLine) {
    PlayerSession session(parts);
    if (!session.start(commandLine)) return session.status();
    while (session.pass()) {
    }
    return session.finish();
}

}  // namespace zor
