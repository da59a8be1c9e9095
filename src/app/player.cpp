#include "app/player.h"

#include <ostream>

#include "app/command_line.h"
#include "app/main_loop.h"
#include "app/music_player.h"
#include "archive/archive.h"
#include "archive/file_problem.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "object/object.h"
#include "scene/scene_reader.h"

namespace zor {

namespace {

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

void writeFailure(std::ostream& errors, std::string_view text) {
    errors << "zor: " << text << '\n';
    errors.flush();
}

// A failed music step: its box (if it has one) or its text, and its status.
int musicFailure(PlayerParts& parts, MusicPlayer& music, const MusicResult& result) {
    if (!result.caption.empty()) {
        parts.system.messageBox(result.caption, result.text);
    } else {
        writeFailure(parts.errors, result.text);
    }
    music.release();
    return result.exitStatus;
}

}  // namespace

bool loadPlayerScene(Scene& scene, RenderSlots& slots, Diagnostics& diagnostics) {
    DataSource source;  // the current folder, then ArchiveName
    ObjectLoader objects(source, [&slots](std::string_view name) { return slots.loadTexture(name); },
                         &diagnostics);
    SceneLoadContext context;
    context.source = source;
    context.loadObject = [&objects](std::string& name, Mesh& mesh) { objects.loadObject(name, mesh); };
    context.diagnostics = &diagnostics;
    return readScene(scene, kSceneFileName, context);
}

int runPlayer(PlayerParts& parts, std::string_view commandLine) {
    WindowSystem& system = parts.system;
    if (!system.createMainWindow(kMainWindowTitle)) {
        writeFailure(parts.errors, "cannot create the main window: " + system.error());
        return kPlayerFailureStatus;
    }

    MusicPlayer music(musicBackendFor(commandLine), parts.bass, parts.gaudio);
    if ((music.backend() == MusicBackend::Bass && !parts.bass) ||
        (music.backend() == MusicBackend::Gaudio && !parts.gaudio)) {
        writeFailure(parts.errors, "the chosen music library is not available; try -nosound");
        return kPlayerFailureStatus;
    }
    if (MusicResult r = music.initialise(system.nativeWindow()); !r.ok) return musicFailure(parts, music, r);

    if (!parts.display.initDisplay(system.nativeWindow())) {
        system.messageBox("brul", "Sket sig :(");
        music.release();
        return kPlayerFailureStatus;
    }
    setArchiveName(kArchiveFileName);
    parts.display.loadLogo(kLogoFileName);
    RenderSlots* slots = parts.display.initRenderer(kDirect3DRendererMode);
    if (!slots) {
        writeFailure(parts.errors, "no renderer for mode 2");
        music.release();
        return kPlayerFailureStatus;
    }
    Viewport viewport;
    setupViewport(viewport, 0, 0);
    for (int i = 0; i < 2; ++i) {
        parts.display.clearTarget();
        slots->endFrame();
    }

    if (MusicResult r = music.open(); !r.ok) return musicFailure(parts, music, r);

    // Only entry 0 is ever loaded and played.
    Scene scenes[1];
    Diagnostics diagnostics;
    const bool sceneRead = parts.loadScene(scenes[0], *slots, diagnostics);
    diagnostics.print(parts.errors);
    parts.display.printDiagnostics(parts.errors);
    if (!sceneRead) {
        const std::string problem = diskFileProblem(kSceneFileName);
        writeFailure(parts.errors, std::string("cannot read the scene \"") + kSceneFileName + "\": " +
                                       (problem.empty() ? "it is neither in the current folder nor in the archive \"" +
                                                              std::string(ArchiveName) + "\""
                                                        : "it " + problem + ", and the archive \"" +
                                                              std::string(ArchiveName) + "\" does not hold it"));
        music.release();
        return kPlayerFailureStatus;
    }

    FramePassTarget target(*slots, parts.display, viewport);
    MainLoop loop(system, *slots, target, scenes, 1);
    loop.startClock();
    if (MusicResult r = music.start(); !r.ok) return musicFailure(parts, music, r);

    loop.run();
    music.release();
    return 0;
}

}  // namespace zor
