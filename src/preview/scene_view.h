#pragma once
// The author's preview: the player's picture of a scene (SceneStage) under a
// transport (pause, seek, speed; the music in step), reloaded whenever a
// file it was read from changes, with a one-line status drawn over it.
//
// One turn of the loop takes the window's messages (keys), polls the files,
// reloads when they have changed and settled, and draws when the picture
// moves or something happened. A reload runs inside the turn, so there is
// never more than one at a time; a failed one leaves the last good scene on
// screen and says why in the status line and on the log stream. Everything
// platform-specific (clock and keys, capture of the shown picture, full
// screen, waiting) comes in through ViewServices, so the whole loop runs with
// a scripted window and a hidden display in tests.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "preview/file_watch.h"
#include "preview/scene_stage.h"
#include "preview/transport.h"
#include "display/png_file.h"
#include "platform/text_painter.h"
#include "platform/window_system.h"

namespace zor {

// What a check of the shown scene found (zor-inspect --check's findings),
// for the status line's count and W.
struct ViewFindings {
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::vector<std::string> lines;  // one "FILE:LINE: warning: text" each

    void add(bool error, std::string line) {
        ++(error ? errors : warnings);
        lines.push_back(std::move(line));
    }
};

struct ViewServices {
    WindowSystem& system;
    SceneStage& stage;
    std::ostream& log;                  // reloads, failures, warnings (W)
    TransportMusic* music = nullptr;    // none: silent
    TextPainter* painter = nullptr;     // none: no status line on the picture
    // The picture presented last, top row first; needed for S.
    std::function<bool(RgbPicture& picture)> capture = {};
    // The window on the whole screen or back; needed for F.
    std::function<bool(bool on)> setFullScreen = {};
    // Lets the machine rest while nothing moves; none: no waiting.
    std::function<void(std::uint32_t milliseconds)> sleep = {};
    // Checks the scene after every load that shows a new one; its findings
    // are what the status line counts and W lists. None: the load's own
    // diagnostics are.
    std::function<ViewFindings()> check = {};
};

struct ViewOptions {
    // Start paused on this frame; without one, play from the first frame.
    std::optional<std::int32_t> startFrame;
    WatchTiming watch;
    // Show the transport's fractional position (smooth motion) instead of
    // the whole frame it lies in, as the player does; M switches.
    bool smooth = false;
};

class SceneView {
public:
    SceneView(ViewServices services, ViewOptions options);
    ~SceneView();

    // Loads the scene (an unreadable one is shown as an error and watched
    // for a fix) and sets the transport.
    void begin();
    // One turn of the loop; false once the view is asked to end.
    bool turn();
    // begin, then turns until the end; the exit status.
    int run();

    // Loads again now; true when the new scene is shown.
    bool reload();
    // Writes the current frame (without the status line) beside the scene as
    // SCENE-FRAME.png, or SCENE-FRAME-2.png and so on when that exists; never
    // replaces a file. The path written, or empty with error set.
    std::filesystem::path saveFrame(std::string& error);

    Transport& transport() { return transport_; }
    const ReloadWatch& watch() const { return watch_; }
    // The text over the last picture: a load error (wrapped), then the
    // status line, joined by line ends.
    const std::string& status() const { return status_; }
    // Why the last load failed; empty after a good one.
    const std::string& loadError() const { return loadError_; }
    std::uint64_t reloads() const { return reloads_; }
    // Whether the last reload put its scene on screen (a file still being
    // written is waited for: no error, and nothing taken yet).
    bool lastReloadTook() const { return lastReloadTook_; }

private:
    class Overlay;

    // False for the command that ends the view.
    bool command(ViewCommand command, std::uint32_t now);
    void draw(std::uint32_t now);
    std::string statusLine(std::uint32_t now);
    void listWarnings();
    // The check of the scene now shown, when there is a check.
    void runCheck();
    // The scene's range, then the start frame (paused) or play from the first.
    void startTransport(std::uint32_t now);

    ViewServices services_;
    ViewOptions options_;
    Transport transport_;
    ReloadWatch watch_;
    std::unique_ptr<Overlay> overlay_;
    std::string status_;
    std::string loadError_;
    std::string note_;             // a passing message (a saved frame)
    std::uint32_t noteUntil_ = 0;
    bool dirty_ = true;            // something changed since the last picture
    bool smooth_ = false;          // fractional frames (ViewOptions::smooth, M)
    bool fullScreen_ = false;
    std::uint32_t lastDraw_ = 0;
    // Pictures per second while playing, over windows of half a second.
    std::uint32_t rateStart_ = 0;
    int rateCount_ = 0;
    double rate_ = 0;
    std::uint64_t reloads_ = 0;
    bool lastReloadTook_ = false;
    std::optional<ViewFindings> findings_;  // of the shown scene
};

}  // namespace zor
