// zor-view: a preview window for authors. Shows the player's picture of a
// scene in a resizable window with a transport, keeps the music in step, and
// loads the scene again whenever a file it came from changes. Given a
// recipe instead of a folder, it builds the recipe into a temporary folder
// of its own, rebuilds on every save, and writes the keys the author sets
// in the window back into the recipe.

#include <CLI/CLI.hpp>


#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "preview/tool_usage.h"
#include "preview/recipe_direction.h"
#include "preview/timeline.h"
#include "preview/scene_stage.h"
#include "preview/scene_view.h"
#include "preview/transport.h"
#include "check/check.h"
#include "object/object.h"
#include "platform/device_music.h"
#include "platform/mp3_decoder.h"
#include "platform/native_gl_host.h"
#include "platform/preview_platform.h"
#include "system/disk_files.h"
#include "system/stop_signals.h"
#include "system/text.h"
#include "render/gl_display_layer.h"
#include "scene/player_constants.h"
#include "scene/scene_reader.h"

namespace {

constexpr const char* kKeys =
    "\nKeys:\n"
    "  Space            pause / play\n"
    "  Left, Right      one frame back / forward when paused, one second when playing\n"
    "  Page Up, Down    ten seconds back / forward\n"
    "  Home, End        first / last frame\n"
    "  , .              one beat back / forward (a recipe's bpm)\n"
    "  - +              half / double speed (the music plays at speed 1 only)\n"
    "  R                load the scene again now (it also reloads by itself when a file changes)\n"
    "  F                full screen on / off\n"
    "  S                save the frame as SCENE-FRAME.png beside the scene or the recipe (never replaces a file)\n"
    "  W                list the scene's warnings (those of zor-inspect --check) on standard error\n"
    "  B                show the back faces the player culls, in magenta (B again: the player's picture)\n"
    "  M                smooth motion on / off (the clock's own moment, not the whole frame it falls in)\n"
    "  T                the timeline on / off: a strip at the bottom across the range, with the music's\n"
    "                   waveform, a recipe's beats and bars (bars brighter) and the frame shown\n"
    "  Escape           quit\n"
    "\nFree look (the demo's camera replaced in the picture, nothing written):\n"
    "  drag             turn (left button held)\n"
    "  wheel            move in / out\n"
    "  W A S D Q E      fly ahead, left, back, right, down, up (Shift: ten times as far); while the free look\n"
    "                   is off, W and S list the warnings and save the frame\n"
    "  C                back to the demo's camera\n"
    "\nDirecting a recipe (zor-view demo.toml; each write changes only the lines of its key, is written\n"
    "beside the recipe and renamed into place, then built and shown at once):\n"
    "  K                write a camera key at the frame shown: the free look's camera, else the demo's\n"
    "  Tab              pick the next model (its name in the status line; Tab past the last: none)\n"
    "  arrows, Page Up/Down  move the picked model along x, z and y (Shift: ten times as far)\n"
    "  Shift+K          write the picked model's key (its position) at the frame shown\n"
    "  [ ]              set the range's start / end (start, length) to the frame shown\n"
    "  Ctrl+Z           take back the last write (the recipe as it was before it, written again)\n";

int fail(const std::string& message) {
    std::cerr << "zor-view: " << message << '\n';
    return 1;
}

// Nothing to show is a failure at start-up, before a window opens (once
// running, a scene that goes missing is waited for). Objects are read as the
// player reads them; images are not decoded here.
std::string nothingToShow(const zor::StageOptions& stage) {
    zor::DataSource source;
    source.directory = stage.directory;
    source.archiveName = stage.archiveName;
    zor::Diagnostics found;
    zor::ObjectLoader objects(source, [](std::string_view) { return -1; }, &found);
    zor::SceneLoadContext load;
    load.source = source;
    load.diagnostics = &found;
    load.loadObject = [&objects](std::string& name, zor::Mesh& mesh) { objects.loadObject(name, mesh); };
    zor::Scene scene;
    if (!zor::readScene(scene, stage.sceneName, load)) {
        std::string why = stage.sceneName + ": the scene cannot be read";
        for (const zor::Diagnostic& d : found.items())
            if (d.severity == zor::Severity::Error) {
                why = d.text();
                break;
            }
        if (const std::string damage = zor::archiveDamage(source); !damage.empty()) return damage;
        return why + "; " + zor::nothingFoundHint(stage.directory);
    }
    if (zor::loadedNoObject(scene))
        return stage.sceneName + ": " + zor::describeNoObject(objects.loads(), stage.directory);
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const zor::ProgramArguments given = zor::startProgram(argc, argv);
    zor::installStopSignals();
    CLI::App app{"Shows a scene as the player does, in a window, with a transport and live reload; given an "
                 "author's recipe (demo.toml), builds it as zor-build does, rebuilds it on every save, and writes "
                 "the keys set in the window back into it."};
    app.set_version_flag("--version", "zor-view " ZOR_VERSION);
    app.footer(kKeys);
    std::string directory = ".";
    zor::StageOptions stage;
    std::string size = "640x480";
    std::optional<std::int32_t> frame;
    bool noSound = false;
    bool trueColour = false;
    zor::ViewOptions viewOptions;
    zor::GlDisplayOptions windowed{true, false};
    std::string recipeFile;
    app.add_option("recipe", recipeFile,
                   "An author's recipe (demo.toml) to build, show and direct, instead of a play folder: built as "
                   "zor-build builds it into a temporary folder (removed at the end), built again whenever it or a "
                   "model, the music or the logo it names is saved, at the same frame; a bad recipe shows its "
                   "\"demo.toml:LINE:COLUMN: what\" line and the last good scene stays (at the start: status 1)");
    CLI::Option* dirOption = app.add_option(
        "--dir", directory, "Folder holding the scene, its files and the archive (default: current folder)");
    CLI::Option* archiveOption =
        app.add_option("--archive", stage.archiveName, "Archive read after the folder")->capture_default_str();
    CLI::Option* sceneOption = app.add_option("--scene", stage.sceneName, "Scene file")->capture_default_str();
    app.add_option("--size", size, "Picture size WxH (the window can be resized)")->capture_default_str();
    app.add_option("--frame", frame, "Start paused on this frame (default: play from the first)");
    app.add_flag("--nosound,-n", noSound, "No music (also spelt -nosound, as for the player)");
    app.add_flag("--smooth", viewOptions.smooth, "Start in smooth motion (M switches it)");
    app.add_flag("--true-colour,--true-color", trueColour, "8 bits a colour channel instead of the original 5-6-5");
    app.add_option("--msaa", stage.samples, "Multisample each pixel N times, as far as the device offers")
        ->check(CLI::Range(1u, 64u));
    app.add_flag("--stretch", windowed.stretch,
                 "Spread the view over the whole of a --size that is not 4:3 (by default it keeps its shape)");

    // The player's spelling of the switch.
    std::vector<std::string> list = given.list();
    for (std::string& argument : list)
        if (argument == "-nosound") argument = "--nosound";
    zor::ProgramArguments arguments(std::move(list));
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;
    const bool directing = !recipeFile.empty();
    if (directing && (dirOption->count() || archiveOption->count() || sceneOption->count()))
        return zor::usageError("zor-view", "a recipe builds its own folder: give it without --dir, --archive and --scene");
    stage.directory = zor::pathFromUtf8(directory);
    if (trueColour) stage.bits = 32;
    // An author's editor may write a file in place, in several steps: a file
    // is taken once it has been still for two polls.
    const std::uint32_t settle = 2 * zor::WatchTiming{}.pollInterval;
    stage.settleMilliseconds = settle;
    if (!zor::parsePictureSize(size, stage.width, stage.height))
        return zor::usageError("zor-view", "--size wants WxH, e.g. 640x480: " + size);

    // A recipe is built into a folder of its own, which goes at the end; a
    // stop signal is then noted, and ends the program once it has gone.
    zor::TemporaryFolder built;
    std::unique_ptr<zor::RecipeDirection> direction;
    std::optional<zor::StopDeferral> deferral;
    std::string title = stage.sceneName;
    if (directing) {
        const std::filesystem::path recipePath = zor::pathFromUtf8(recipeFile);
        zor::WriteFailure failure;
        if (!built.create("zor-view-", failure)) return fail(failure.reason);
        // The first build takes the files as they are; a bad recipe ends the
        // program. Later ones wait for a file that is being written.
        direction = std::make_unique<zor::RecipeDirection>(
            zor::RecipeDirectionOptions{recipePath, built.path(), 0, &std::cerr});
        if (const zor::DirectionBuild first = direction->build(); !first.error.empty()) {
            std::cerr << first.error << '\n';
            return 1;
        }
        direction->setSettleMilliseconds(settle);
        stage.directory = built.path();
        // The folder's files are written whole by the build, each renamed
        // into place; the recipe's own files are waited for by the direction.
        stage.settleMilliseconds = 0;
        title = zor::utf8Of(recipePath.filename());
        deferral.emplace();
    }

    if (const std::string problem = nothingToShow(stage); !problem.empty()) return fail(problem);

    const int status = [&]() -> int {
    try {
        const std::unique_ptr<zor::PreviewPlatform> platform =
            zor::makePreviewPlatform(static_cast<int>(stage.width), static_cast<int>(stage.height));
        zor::WindowSystem& system = platform->windowSystem();
        if (!system.createMainWindow("zor-view: " + title)) return fail(system.error());
        if (const std::string why = platform->whyNoScreen(); !why.empty()) return fail(why);
        windowed.vsync = viewOptions.smooth;
        zor::GlDisplayLayer layer(zor::makeNativeGlHost(windowed), windowed);
        zor::SceneStage scene(layer, stage);
        std::string error;
        if (!scene.start(system.nativeWindow(), error)) {
            if (!layer.error().empty()) error += ": " + layer.error();
            return fail(error);
        }

        zor::DeviceGaudio gaudio(platform->soundDevice());
        zor::PreviewMusic music(noSound ? nullptr : &gaudio, zor::utf8Of(stage.directory / zor::kMusicFileName));
        if (!noSound && !music.open()) {
            std::cerr << "zor-view: playing without music: " << music.error() << '\n';
        } else if (const std::string silence = music.silence(); !silence.empty()) {
            std::cerr << "zor-view: no sound device (" << silence << "); playing without music\n";
        }

        zor::ViewServices services{system, scene, std::cerr};
        if (music.isOpen()) services.music = &music;
        services.painter = &platform->painter();
        services.capture = [&layer](zor::RgbPicture& picture) {
            return layer.readFrontBuffer(picture.pixels, picture.width, picture.height);
        };
        services.setFullScreen = [&platform](bool on) { return platform->setFullScreen(on); };
        services.sleep = [&platform](std::uint32_t ms) { platform->sleep(ms); };
        zor::DataSource source;
        source.directory = stage.directory;
        source.archiveName = stage.archiveName;
        services.check = [source, &stage] {
            zor::ViewFindings found;
            for (const zor::check::Finding& f : zor::check::checkScene(source, stage.sceneName))
                found.add(f.severity == zor::Severity::Error, f.format());
            return found;
        };
        // The music's waveform for the timeline, decoded once (again when
        // a rebuild brings other music).
        services.waveform = [&stage] {
            zor::Pcm pcm;
            std::string error;
            if (!zor::readMp3File(zor::utf8Of(stage.directory / zor::kMusicFileName), pcm, error)) {
                std::cerr << "zor-view: no waveform in the timeline: " << error << '\n';
                return std::vector<float>();
            }
            return zor::musicPeaks(pcm);
        };
        viewOptions.startFrame = frame;
        viewOptions.checkAside = true;
        if (direction) {
            services.direction = direction.get();
            services.stopRequested = [] { return zor::stopSignal() != 0; };
            viewOptions.savedBeside = zor::pathFromUtf8(recipeFile);
        }
        zor::SceneView view(services, viewOptions);
        return view.run();
    } catch (const std::bad_alloc&) {
        std::cerr << "OUT OF MEMORY!!!\n(Is that bad eh?)" << std::endl;
        return 1;
    }
    }();
    direction.reset();
    built.remove();
    if (const int signal = zor::stopSignal()) zor::endByStopSignal(signal);
    return status;
}
