#pragma once
// The pieces a headless run of the whole player needs, shared by the
// end-to-end tests and the player benchmark: a window system that also
// injects SDL events (and can step its clock), a display layer that offers
// desktop-like modes under SDL's offscreen driver, and the sample demo's
// scene with another frame range.

#include <SDL2/SDL.h>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "archive/pack_file.h"
#include "platform/sdl/sdl_gl_host.h"
#include "platform/sdl/sdl_window_system.h"
#include "render/gl_display_layer.h"

namespace zor::test {

// The real window system, which also pushes SDL events at chosen clock
// readings (the first reading starts the scene clock).
class InjectingWindowSystem final : public WindowSystem {
public:
    void injectAtReading(int reading, SDL_Event event) { injections_.push_back({reading, event}); }
    // Each clock reading returns 1000 + the number of readings before it,
    // so the frames drawn do not depend on how fast this machine draws.
    void useSteppingClock() { stepping_ = true; }
    int readings() const { return readings_; }

    bool createMainWindow(std::string_view title) override { return real_.createMainWindow(title); }
    bool peekMessage(WindowMessage& message) override { return real_.peekMessage(message); }
    void postQuitMessage() override { real_.postQuitMessage(); }
    std::uint32_t milliseconds() override {
        ++readings_;
        for (auto& [at, event] : injections_) {
            if (at == readings_) SDL_PushEvent(&event);
        }
        const std::uint32_t now = real_.milliseconds();
        return stepping_ ? 1000u + static_cast<std::uint32_t>(readings_ - 1) : now;
    }
    void messageBox(std::string_view caption, std::string_view text) override {
        boxes.push_back(std::string(caption) + ": " + std::string(text));
        real_.messageBox(caption, text);
    }
    void* nativeWindow() const override { return real_.nativeWindow(); }
    const std::string& error() const override { return real_.error(); }

    std::vector<std::string> boxes;

private:
    SdlWindowSystem real_;
    std::vector<std::pair<int, SDL_Event>> injections_;
    int readings_ = 0;
    bool stepping_ = false;
};

// SDL's offscreen driver reports a single 0 x 0 display mode; offer the
// sizes a desktop would, so the set-up window has a real choice.
class OffscreenModesLayer final : public GlDisplayLayer {
public:
    OffscreenModesLayer()
        : GlDisplayLayer(std::make_unique<SdlGlHost>(GlDisplayOptions{true, false}), GlDisplayOptions{true, false}) {}
    HResult enumerateDisplayModes(DriverId, const ModeCallback& callback) override {
        const std::uint32_t modes[][3] = {{320, 200, 16}, {640, 480, 15}, {640, 480, 16}};
        for (const auto& m : modes) {
            SurfaceDesc d;
            d.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
            d.width = m[0];
            d.height = m[1];
            d.pitch = static_cast<std::int32_t>(m[0] * 2);
            d.pixelFormat = m[2] == 16 ? rgb565Format() : rgb555Format();
            d.pixelFormat.rgbBitCount = m[2];
            if (!callback(d)) break;
        }
        return kOk;
    }
};

inline std::string sceneText(const std::filesystem::path& demoDir) {
    PackFile archive((demoDir / "zor.dat").string());
    std::optional<Bytes> bytes = archive.readEntry("glorp2.lws");
    if (!bytes) return {};
    return std::string(bytes->begin(), bytes->end());
}

inline std::string withFrameRange(std::string text, int first, int last) {
    text = std::regex_replace(text, std::regex("FirstFrame [-0-9]+"), "FirstFrame " + std::to_string(first));
    text = std::regex_replace(text, std::regex("LastFrame [-0-9]+"), "LastFrame " + std::to_string(last));
    return text;
}

}  // namespace zor::test
