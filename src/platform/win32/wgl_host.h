#pragma once
// The OpenGL layer's host on Windows: the displays and their modes as
// Windows lists them, the player's main window (or a window of its own,
// hidden for headless work) and a WGL context on it, made through
// wglCreateContextAttribsARB: OpenGL ES 3.0 where the driver offers ES
// contexts, else a core context of 4.3 or later, else 3.3 core; the
// renderer's functions are then fetched through wglGetProcAddress
// (render/gl_loader.h). A full-screen mode changes the display's mode when
// it offers that size (ChangeDisplaySettingsEx; the desktop's comes back on
// every way out, win32_display_modes.h), and the window covers the display.
//
// ZOR_GL_CONTEXT=es, core or core33 asks for one kind of context only, to
// try a driver's other paths.

#include <windows.h>

#include "platform/win32/win32_window_system.h"

#include <string>

#include "render/gl_host.h"

namespace zor {

class WglHost final : public GlHost {
public:
    explicit WglHost(GlDisplayOptions options) : options_(options) {}
    ~WglHost() override { shutdown(); }
    WglHost(const WglHost&) = delete;
    WglHost& operator=(const WglHost&) = delete;

    bool start() override;
    std::string driverName() const override { return "WGL"; }
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

    HWND window() const { return window_; }
    // What the context is, e.g. "OpenGL ES 3.2 Mesa 22.3.6".
    const std::string& contextVersion() const { return version_; }

private:
    bool fail(std::string text);
    bool makeWindow(int width, int height);
    bool makeContext();

    GlDisplayOptions options_;
    HINSTANCE instance_ = nullptr;
    bool classRegistered_ = false;
    HWND window_ = nullptr;
    bool ownsWindow_ = false;
    WindowFrame frame_;  // of a window of the host's own
    HDC dc_ = nullptr;
    HGLRC context_ = nullptr;
    std::string version_;
    std::string error_;
};

}  // namespace zor
