#pragma once
// The OpenGL layer's host in a web page (Emscripten builds only): the page's
// canvas and a WebGL2 context on it, which is OpenGL ES 3.0 to the drawing
// code. The canvas's drawing buffer takes the display mode's size; the page
// scales the canvas to the window. The browser shows what was drawn when the
// page's task ends, so swap() has nothing to do.
//
// The one display is the canvas; it offers the usual 4:3 sizes.

#include <emscripten/html5.h>

#include <string>

#include "render/gl_host.h"

namespace zor {

class WebGlHost final : public GlHost {
public:
    explicit WebGlHost(std::string canvas = "#screen") : canvas_(std::move(canvas)) {}
    ~WebGlHost() override { shutdown(); }
    WebGlHost(const WebGlHost&) = delete;
    WebGlHost& operator=(const WebGlHost&) = delete;

    bool start() override { return true; }
    std::string driverName() const override { return "WebGL2"; }
    std::vector<HostDisplay> displays() override;
    // nativeWindow: the canvas's CSS selector, a zero-terminated text.
    void adoptWindow(void* nativeWindow) override;
    bool createContext(int width, int height) override;
    void showMode(int display, int width, int height, bool fullScreen) override;
    void drawableSize(int& width, int& height) const override;
    bool presents() const override { return context_ != 0; }
    void swap() override {}
    void makeCurrent() override;
    void shutdown() override;
    const std::string& error() const override { return error_; }

private:
    std::string canvas_;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context_ = 0;
    std::string error_;
};

}  // namespace zor
