// zor in a web page. The page (src/platform/browser/page) puts the demo's
// files into the working folder before it calls in here: fetched from the
// site, unpacked from the page itself, or opened by the viewer. From then on
// the player runs as on the desktop: the same start-up, the same pass once
// per animation frame of the browser, the same shutdown. Its messages go to
// standard error, which the page shows in its panels and logs to the console.
//
// The page's calls (the zor_* functions below) all reach the one WebPlayer.

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/device_display.h"
#include "app/main_loop.h"
#include "scene/timeline.h"
#include "app/player.h"
#include "preview/scene_stage.h"
#include "app/setup_window.h"
#include "archive/data_source.h"
#include "platform/browser/browser_dialog.h"
#include "platform/device_music.h"
#include "platform/browser/web_audio_device.h"
#include "platform/browser/browser_window_system.h"
#include "platform/browser/webgl_host.h"
#include "render/gl_display_layer.h"
#include "scene/demo_info.h"
#include "scene/player_constants.h"

namespace zor {

namespace {

EM_JS(void, pageStarted, (), { Module.page.started(); });
// status 0: the demo ended (Escape, a click, its last frame); else it failed.
EM_JS(void, pageEnded, (int status), { Module.page.ended(status); });
EM_JS(void, pageFrameShown, (int frame), { Module.page.frameShown(frame); });
EM_JS(void, pageBenchDone, (double framesPerSecond), { Module.page.benchDone(framesPerSecond); });

class WebPlayer {
public:
    WebPlayer() {
        dialog_.onEvent = [this] { pollSetup(); };
    }

    // Names of the archive's entries, one a line, for the page to look for
    // files of the same names beside it; or, when the archive cannot be used,
    // why (first line "error"): a damaged archive is named before the set-up.
    std::string archiveReport() {
        PackFile pack(kArchiveFileName);
        if (const std::string damage = pack.damage(); !damage.empty())
            return "error\n" + std::string(kArchiveFileName) + ": damaged archive: " + damage;
        if (pack.isCorrupt()) return "error\n" + pack.error();
        std::string names = "ok\n";
        for (int i = 0; i < pack.entryCount(); ++i) names += std::string(pack.entry(i).name) + "\n";
        return names;
    }

    // What the working folder says of its demo (demo-info.txt, found as the
    // player finds its files: on disk, else in the archive), for the page's
    // tab and panels: the main window's title, then the title, the author and
    // the description, one a line (the values hold no line ends).
    std::string demoInfo() {
        DataSource source;
        source.setArchiveName(kArchiveFileName);
        const std::optional<Bytes> bytes = readDataFile(source, kDemoInfoFileName);
        const DemoInfo info = bytes ? parseDemoInfo(*bytes) : DemoInfo{};
        return windowTitleOf(info) + "\n" + info.title + "\n" + info.author + "\n" + info.description + "\n";
    }

    // Whether the working folder holds the scene the player plays: a file on
    // disk, or an entry of the archive, each found as the player finds it.
    bool sceneFound() {
        if (dataFileOnDisk(DataSource{}, kSceneFileName)) return true;
        PackFile pack(kArchiveFileName);
        return !pack.isCorrupt() && pack.findEntry(kSceneFileName) >= 0;
    }

    void setSound(bool on) { commandLine_ = on ? "" : "-nosound"; }
    // Smooth motion: every pass shows the clock's own moment (the browser
    // already paces the passes at the display's refresh).
    void setSmooth(bool on) { smooth_ = on; }

    // Shows the set-up window in the page; the player starts once a choice
    // is accepted there. Again after a play (another demo opened): the last
    // play's display goes first, then its layer.
    bool openSetup() {
        setup_.reset();
        session_.reset();
        parts_.reset();
        display_.reset();
        layer_.reset();
        layer_ = makeLayer();
        adapters_ = listDisplayAdapters(*layer_);
        lists_ = setupAdapters(adapters_);
        setup_ = std::make_unique<SetupWindow>(dialog_, lists_);
        if (!setup_->open()) {
            std::cerr << "zor: cannot show the set-up window: " << dialog_.error() << '\n';
            return false;
        }
        return true;
    }

    // The test hook: frame `frame` once at width x height, then nothing more.
    bool showFrame(int frame, int width, int height) {
        if (!start(pictureOfSize(width, height))) return false;
        session_->loop().showFrame(frame);
        pageFrameShown(frame);
        return true;
    }

    // Every frame the player shows for the scene's range (its end rule)
    // once, as fast as the browser runs the loop; the page prints the rate.
    // Smooth: the player's clock at 60 passes a second instead, each pass at
    // its own fractional frame, to the pass in which the scene ends.
    bool bench(int width, int height, bool smooth) {
        if (!start(pictureOfSize(width, height))) return false;
        const Scene& scene = session_->scene();
        benchFrames_ = shownFrames(scene.firstFrame, scene.lastFrame);
        benchIndex_ = 0;
        benchSmooth_ = smooth && !benchFrames_.neverEnds;
        std::cout << "zor: " << benchFrames_.describe("the scene's range")
                  << (benchSmooth_ ? "; smooth motion runs the player's clock at 60 passes a second" : "")
                  << std::endl;
        benchStart_ = emscripten_get_now();
        emscripten_set_main_loop_arg(benchStep, this, 0, 0);
        emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
        return true;
    }

    // The same demo from its start-up again, with the same choices.
    bool playAgain() {
        if (!selection_) return false;
        return play(*selection_);
    }

private:
    void pollSetup() {
        if (!setup_) return;
        switch (setup_->poll()) {
        case SetupWindow::State::Waiting: return;
        case SetupWindow::State::Quit: setup_.reset(); return;
        case SetupWindow::State::Accepted: break;
        }
        DisplaySelection selection;
        selectionFor(adapters_, setup_->choice(), selection);
        setup_.reset();
        play(selection);
    }

    // The OpenGL layer on the page's canvas (its WebGL2 host); the canvas is
    // the main window the player hands to the display set-up.
    static std::unique_ptr<GlDisplayLayer> makeLayer() {
        const GlDisplayOptions options{true, false};
        return std::make_unique<GlDisplayLayer>(std::make_unique<WebGlHost>(), options);
    }

    // Any size in 5-6-5: the picture is drawn into a buffer of this size.
    static SetupWindowFunction pictureOfSize(int width, int height) {
        return fixedModeChoice(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 16);
    }

    // Start-up as the player does it, on a fresh display, with the mode
    // `choose` picks; false (and the page told) when the player ends there.
    bool start(SetupWindowFunction choose) {
        session_.reset();
        display_.reset();
        layer_.reset();
        layer_ = makeLayer();
        display_ = std::make_unique<DevicePlayerDisplay>(*layer_, system_, std::move(choose));
        parts_ = std::make_unique<PlayerParts>(PlayerParts{system_, &bass_, nullptr, *display_, std::cerr});
        parts_->smooth = smooth_;
        session_ = std::make_unique<PlayerSession>(*parts_);
        if (!session_->start(commandLine_)) {
            const int status = session_->finish();
            session_.reset();
            pageEnded(status);
            return false;
        }
        return true;
    }

    bool play(const DisplaySelection& selection) {
        selection_ = selection;
        const auto choose = [selection](const std::vector<DisplayAdapter>& adapters, DisplaySelection& chosen) {
            if (adapters.empty()) return false;
            chosen = selection;
            chosen.selectedGuid = adapters[0].guid;
            return true;
        };
        if (!start(choose)) return false;
        pageStarted();
        emscripten_request_animation_frame_loop(playStep, this);
        return true;
    }

    // One pass of the player per animation frame.
    static EM_BOOL playStep(double, void* self) {
        auto& player = *static_cast<WebPlayer*>(self);
        if (player.session_ && player.session_->pass()) return EM_TRUE;
        const int status = player.session_ ? player.session_->finish() : 0;
        pageEnded(status);
        return EM_FALSE;
    }

    static void benchStep(void* self) {
        auto& player = *static_cast<WebPlayer*>(self);
        if (player.benchSmooth_) {
            const auto milliseconds = static_cast<std::uint32_t>(std::llround(player.benchIndex_ * 1000.0 / 60.0));
            const float t = sceneTime(milliseconds, 0.0f);
            const ShownFrames& range = player.benchFrames_;
            player.session_->loop().showFrameAt(smoothFrameNumber(range.first, t));
            ++player.benchIndex_;
            if (!sceneEnded(range.first, range.last, t)) return;
        } else {
            player.session_->loop().showFrame(player.benchFrames_.frame(player.benchIndex_));
            if (++player.benchIndex_ < player.benchFrames_.count) return;
        }
        emscripten_cancel_main_loop();
        // Reading the picture back waits until every frame is drawn.
        std::vector<std::uint8_t> rgb;
        int width = 0, height = 0;
        player.layer_->readFrontBuffer(rgb, width, height);
        const double seconds = (emscripten_get_now() - player.benchStart_) / 1000.0;
        const double frames = double(player.benchIndex_);
        const double rate = seconds > 0 ? frames / seconds : 0.0;
        char text[64];
        std::snprintf(text, sizeof text, "%.1f frames/s", rate);
        std::cout << text << std::endl;
        pageBenchDone(rate);
    }

    BrowserWindowSystem system_;
    WebAudioSoundDevice sound_;
    DeviceBass bass_{sound_};
    BrowserDialog dialog_;
    std::string commandLine_;
    bool smooth_ = false;
    std::unique_ptr<GlDisplayLayer> layer_;
    std::vector<DisplayAdapter> adapters_;
    std::vector<SetupAdapter> lists_;
    std::unique_ptr<SetupWindow> setup_;
    std::optional<DisplaySelection> selection_;
    std::unique_ptr<DevicePlayerDisplay> display_;
    std::unique_ptr<PlayerParts> parts_;
    std::unique_ptr<PlayerSession> session_;
    ShownFrames benchFrames_;
    std::uint64_t benchIndex_ = 0;
    bool benchSmooth_ = false;
    double benchStart_ = 0;
};

WebPlayer* thePlayer = nullptr;

// Results handed to the page stay valid until the next such call.
std::string lastText;

}  // namespace

}  // namespace zor

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* zor_archive_report() {
    zor::lastText = zor::thePlayer->archiveReport();
    return zor::lastText.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* zor_demo_info() {
    zor::lastText = zor::thePlayer->demoInfo();
    return zor::lastText.c_str();
}

EMSCRIPTEN_KEEPALIVE int zor_scene_found() { return zor::thePlayer->sceneFound() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE void zor_set_sound(int on) { zor::thePlayer->setSound(on != 0); }

EMSCRIPTEN_KEEPALIVE void zor_set_smooth(int on) { zor::thePlayer->setSmooth(on != 0); }

EMSCRIPTEN_KEEPALIVE int zor_open_setup() { return zor::thePlayer->openSetup() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE int zor_show_frame(int frame, int width, int height) {
    return zor::thePlayer->showFrame(frame, width, height) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int zor_bench(int width, int height, int smooth) {
    return zor::thePlayer->bench(width, height, smooth != 0) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int zor_play_again() { return zor::thePlayer->playAgain() ? 1 : 0; }

// "zor VERSION", as the native player's --version prints it.
EMSCRIPTEN_KEEPALIVE const char* zor_version() { return "zor " ZOR_VERSION; }

}  // extern "C"

int main() {
    // Lives as long as the page; the page calls in from here on.
    static zor::WebPlayer player;
    zor::thePlayer = &player;
    EM_ASM({ if (Module.page) Module.page.ready(); });
    return 0;
}
