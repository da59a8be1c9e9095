#pragma once
// The player's start-up, main loop and shutdown, in a fixed order: window,
// command line, music start-up, the display (with its set-up window), the
// archive name, the logo, the renderer, the viewport, two black frames, the
// music stream, the scene, the scene clock, the music; then passes until a
// quit message; then only the music is released. Without a sound device
// the music's steps succeed silently and one line on the errors stream says
// so: "zor: no sound device (REASON); playing without music".
//
// Every service comes in through PlayerParts, so the whole run works with the
// real SDL/OpenGL parts, headless, or with scripted and recording stand-ins.
// Nothing here ends the process: runPlayer returns the exit status.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/data_source.h"
#include "archive/diagnostics.h"
#include "frame/camera.h"
#include "frame/render_slots.h"
#include "platform/music.h"
#include "platform/window_system.h"
#include "scene/player_constants.h"
#include "scene/scene.h"

namespace zor {

// What the player exits with when it cannot go on.
inline constexpr int kPlayerFailureStatus = 1;

// The display device as the player uses it.
class PlayerDisplay {
public:
    virtual ~PlayerDisplay() = default;
    // Adapters and modes, the set-up window, the device. False on failure.
    virtual bool initDisplay(void* window) = 0;
    virtual void loadLogo(std::string_view name) = 0;
    // The slot table of the mode; null when there is none.
    virtual RenderSlots* initRenderer(int mode) = 0;
    // Clears the back buffer's colour to black.
    virtual void clearTarget() = 0;
    virtual void blitLogo() = 0;
    // Problems found while loading images and textures, printed and cleared.
    virtual void printDiagnostics(std::ostream&) {}
    // What made initDisplay fail, in words; empty when it cannot say.
    virtual std::string failure() const { return {}; }
    // initDisplay failed because the user closed the set-up window.
    virtual bool setupCancelled() const { return false; }
    // Where the logo and the textures are read from (the player's folder
    // and archive); set before the logo is loaded.
    virtual void setDataSource(const DataSource&) {}
    // The status to end with after a failure the display cannot go on from
    // (its box was shown); none while there was none.
    virtual std::optional<int> fatalStatus() const { return std::nullopt; }
};

// Reads the scene (objects from `source`, textures through the slots'
// loadTexture).
using SceneLoader =
    std::function<bool(Scene& scene, RenderSlots& slots, const DataSource& source, Diagnostics& diagnostics)>;

// The real loader: kSceneFileName from the source's folder, else its archive.
bool loadPlayerScene(Scene& scene, RenderSlots& slots, const DataSource& source, Diagnostics& diagnostics);

struct PlayerParts {
    WindowSystem& system;
    BassApi* bass = nullptr;      // needed for the BASS back end
    GaudioApi* gaudio = nullptr;  // needed for the gaudio back end
    PlayerDisplay& display;
    std::ostream& errors;         // reasons for failures, loader diagnostics
    SceneLoader loadScene = loadPlayerScene;
    // The main window's title: the demo's own (its demo-info.txt), else the
    // player's.
    std::string title = kMainWindowTitle;
    bool smooth = false;          // fractional frames (MainLoop::setSmooth)
};

class MainLoop;
class MusicPlayer;
class FramePassTarget;

// The player from start-up to shutdown in steps, for hosts that drive the
// loop themselves: the browser calls pass() once per animation frame.
// runPlayer is start(), pass() until it answers false, finish().
class PlayerSession {
public:
    explicit PlayerSession(PlayerParts& parts);
    // Releases the music if finish() was not called.
    ~PlayerSession();
    PlayerSession(const PlayerSession&) = delete;
    PlayerSession& operator=(const PlayerSession&) = delete;

    // Start-up in the player's order, from the main window to the music.
    // False when the program ends there; status() is then its exit status.
    bool start(std::string_view commandLine);
    // The message drain and, unless it took a quit message, one pass at the
    // clock's current reading. False once the quit message has been taken.
    bool pass();
    // Shutdown: only the music is released. Returns status().
    int finish();

    int status() const { return status_; }
    // After a successful start.
    MainLoop& loop() { return *loop_; }
    const Scene& scene() const { return scenes_[0]; }

private:
    bool fail(int status);

    PlayerParts& parts_;
    // The current folder, then the archive once it is named.
    DataSource source_;
    std::unique_ptr<MusicPlayer> music_;
    // Only entry 0 is ever loaded and played.
    Scene scenes_[1];
    Viewport viewport_;
    std::unique_ptr<FramePassTarget> target_;
    std::unique_ptr<MainLoop> loop_;
    int status_ = 0;
};

// Runs the player for a command line (the arguments after the program name,
// joined by single spaces); returns the exit status.
int runPlayer(PlayerParts& parts, std::string_view commandLine);

}  // namespace zor
