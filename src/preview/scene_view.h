#pragma once
// The author's preview: the player's picture of a scene (SceneStage) under a
// transport (pause, seek, speed; the music in step), reloaded whenever a
// file it was read from changes, with a one-line status drawn over it.
//
// One turn of the loop takes the window's messages (keys, the mouse), polls
// the files, reloads when they have changed and settled, and draws when the
// picture moves or something happened. A reload runs inside the turn, so
// there is never more than one at a time; a failed one leaves the last good
// scene on screen and says why in the status line and on the log stream.
// Everything platform-specific (clock and keys, capture of the shown
// picture, full screen, waiting) comes in through ViewServices, so the whole
// loop runs with a scripted window and a hidden display in tests.
//
// A free look (free_look.h) takes the demo's camera's place while it is on:
// a drag turns it, the wheel moves it in and out, W/A/S/D/Q/E fly it (W and
// S save and list the warnings while it is off), C gives the demo's camera
// back. With a direction (view_direction.h: a recipe) every reload builds
// the recipe first, and keys write into it: K the camera's key at the frame
// shown (the free look's camera, else the demo's), Tab picks a model (the
// arrows and Page Up/Down then move it instead of the frame), Shift+K its
// key, [ and ] the range's first and last frame, Ctrl+Z takes the last write
// back; each write is then built and loaded at once. "," and "." step by
// one of the recipe's beats.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "preview/file_watch.h"
#include "preview/free_look.h"
#include "preview/scene_stage.h"
#include "preview/transport.h"
#include "preview/view_direction.h"
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
    // The recipe the view builds and writes keys into; none: the stage's
    // folder is shown as it is.
    ViewDirection* direction = nullptr;
    // True once the program has been asked to stop (a signal noted); the
    // loop then ends. None: never.
    std::function<bool()> stopRequested = {};
    // The music's loudness a frame (musicPeaks of the decoded music file),
    // for the timeline; asked at the start and again whenever the music
    // file in the stage's folder changes. Empty, or none: no waveform.
    std::function<std::vector<float>()> waveform = {};
};

struct ViewOptions {
    // Start paused on this frame; without one, play from the first frame.
    std::optional<std::int32_t> startFrame;
    WatchTiming watch;
    // Show the transport's fractional position (smooth motion) instead of
    // the whole frame it lies in, as the player does; M switches.
    bool smooth = false;
    // Saved frames (S) go beside this path and are named after its stem;
    // empty: beside the scene (a recipe's preview saves beside the recipe,
    // not into the folder it builds).
    std::filesystem::path savedBeside = {};
    // The check (ViewServices::check) runs beside the loop rather than in
    // it: a new scene is on screen at once and its findings follow when the
    // check is done (the status line says "checking" meanwhile).
    bool checkAside = false;
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
    // SCENE-FRAME.png (or beside ViewOptions::savedBeside, after its name),
    // or SCENE-FRAME-2.png and so on when that exists; never replaces a file. The path written, or empty with error set.
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

    const FreeLook& freeLook() const { return freeLook_; }
    // Whether the timeline strip is drawn (it is when there is a waveform or
    // a bpm, until T hides it).
    bool showsTimeline() const;
    // The rows the timeline strip covers at the picture's bottom at a
    // picture height (0 when it is not drawn).
    int timelineRows(int height) const;
    // The model Tab picked, by its name in the recipe; empty: none.
    const std::string& pickedModel() const { return picked_; }
    // How far the picked model has been moved since its key was last written.
    const Vec3& modelOffset() const { return offset_; }

private:
    class Overlay;

    // False for the command that ends the view.
    bool command(ViewCommand command, std::uint32_t now);
    // A key, with what it means while the free look is on or a model is
    // picked; false for the one that ends the view.
    bool key(const WindowMessage& message, std::uint32_t now);
    void mouse(const WindowMessage& message, std::uint32_t now);
    // The free look on, from the demo's camera at the frame shown.
    void startFreeLook(std::uint32_t now);
    void pickNextModel();
    // Writes the recipe by `write` (needs a direction) and, when written,
    // builds and loads it at once.
    void direct(const std::function<DirectionWrite(ViewDirection&)>& write, std::uint32_t now);
    void say(const std::string& note, std::uint32_t now);
    // The stage's overrides from the free look and the moved model.
    void placeOverrides();
    // A line on the free look, the picked model and the last note; empty
    // when there is nothing to say.
    std::string directionLine(std::uint32_t now);
    // The whole frame shown now.
    std::int32_t shownFrame(std::uint32_t now) { return transport_.frame(now); }
    void draw(std::uint32_t now);
    std::string statusLine(std::uint32_t now);
    void listWarnings();
    // The check of the scene now shown, when there is a check.
    void runCheck();
    // Takes the findings of a check run aside once it is done.
    void collectCheck();
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
    std::future<ViewFindings> checking_;    // a check running aside
    bool checkStale_ = false;               // a newer scene came while it ran
    FreeLook freeLook_;
    bool dragging_ = false;        // the left button is held over the picture
    int pointerX_ = 0, pointerY_ = 0;
    std::string picked_;           // the model Tab picked
    Vec3 offset_ = {};             // the picked model's move, not yet written
    std::vector<float> waveform_;  // ViewServices::waveform's
    FileStamp musicStamp_;         // of the music file it was made from
    bool timelineHidden_ = false;  // T
    std::vector<std::uint8_t> strip_;  // the timeline, painted
    // The waveform again when the music file is not the one it was made from.
    void takeWaveform();
};

}  // namespace zor
