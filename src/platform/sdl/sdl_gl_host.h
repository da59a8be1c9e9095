#pragma once
// The OpenGL layer's host on SDL2: SDL's displays, the player's main window
// (or a window of its own) and an OpenGL ES 3.0 context on it, with the
// renderer's functions fetched through SDL (render/gl_loader.h). Works on an
// X server (GLX) and with SDL's "offscreen" video driver (EGL, no screen).
//
// An ES 3.0 context first rather than a desktop core one: ES 3.0 is exactly
// what WebGL2 and GLES boards offer, so the desktop runs, and every test,
// exercise the very API the other targets get, and Mesa gives one both
// through GLX and through EGL. The desktop core contexts Windows falls back
// on are tried after it, or alone with ZOR_GL_CONTEXT=core or core33, so the
// loader's 3.3 path runs here too.

#include <SDL.h>

#include <string>

#include "render/gl_host.h"

namespace zor {

struct GlContextKind;

class SdlGlHost final : public GlHost {
public:
    explicit SdlGlHost(GlDisplayOptions options) : options_(options) {}
    ~SdlGlHost() override { shutdown(); }
    SdlGlHost(const SdlGlHost&) = delete;
    SdlGlHost& operator=(const SdlGlHost&) = delete;

    bool start() override;
    std::string driverName() const override;
    std::vector<HostDisplay> displays() override;
    void adoptWindow(void* nativeWindow) override;
    bool createContext(int width, int height) override;
    void showMode(int display, int width, int height, bool fullScreen) override;
    void drawableSize(int& width, int& height) const override;
    bool presents() const override { return options_.visible && window_; }
    void swap() override;
    void makeCurrent() override;
    void shutdown() override;
    const std::string& error() const override { return error_; }

    SDL_Window* window() const { return window_; }
    // The context's version text ("OpenGL ES 3.2 Mesa ...").
    const std::string& version() const { return version_; }

private:
    bool fail(std::string text);
    bool makeContext(const GlContextKind& kind);

    GlDisplayOptions options_;
    bool sdlReady_ = false;
    SDL_Window* window_ = nullptr;
    bool ownsWindow_ = false;
    SDL_GLContext context_ = nullptr;
    std::string version_;
    std::string tried_;  // the contexts tried and why they were not taken
    std::string error_;
};

}  // namespace zor
