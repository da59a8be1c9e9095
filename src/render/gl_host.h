#pragma once
// Where the OpenGL layer's pictures go: the platform's displays, a window (or
// a canvas) and an OpenGL ES 3.0 context current on it, its drawable size and
// the swap that shows the last picture. The drawing code never talks to the
// window system; each platform has one host: SDL2 on Linux
// (platform/sdl/sdl_gl_host.h), WGL on Windows (platform/win32/wgl_host.h),
// the page's canvas in a browser (platform/browser/webgl_host.h). Linux and
// Windows fill the renderer's functions through gl_loader.h once the context
// is current.

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zor {

struct GlDisplayOptions {
    // Show the window; a hidden window never presents (headless capture).
    bool visible = true;
    // Take the whole screen when asked for the full-screen cooperative level.
    bool allowFullScreen = true;
    // Spread the view over the whole surface of a mode that is not 4:3
    // instead of keeping its shape in a centred 4:3 area (picture_area.h).
    bool stretch = false;
    // Present at the display's refresh (vertical sync) when the host can.
    bool vsync = false;
    // The title of a window the host makes itself.
    std::string title = "zor";
};

// One display the host can show a picture on.
struct HostDisplay {
    std::string name;
    // Distinct sizes the display offers, largest or first as reported; may be
    // empty when the display cannot say (a headless one).
    std::vector<std::pair<int, int>> sizes;
};

class GlHost {
public:
    virtual ~GlHost() = default;

    // Brings up the platform's video system; false with error() set.
    virtual bool start() = 0;
    // The platform's name for its video driver.
    virtual std::string driverName() const = 0;
    // The displays, the primary one first.
    virtual std::vector<HostDisplay> displays() = 0;
    // The platform window to draw into instead of one of the host's own; only
    // taken before the context exists.
    virtual void adoptWindow(void* nativeWindow) = 0;
    // Makes the window (when none was adopted) and an OpenGL ES 3.0 context
    // (or a desktop core one that takes the renderer's calls) on it, current
    // from then on; width and height size a window of its own.
    // Framebuffer 0 must be single-sampled (a WebGL2 canvas without
    // antialiasing): each picture is copied into it with glBlitFramebuffer.
    // False with error() set.
    virtual bool createContext(int width, int height) = 0;
    // Shows the window for a display mode: full screen on the display when
    // asked (the mouse pointer hidden over it), else at the mode's size; a
    // visible window takes the keyboard.
    virtual void showMode(int display, int width, int height, bool fullScreen) = 0;
    // Pixels of the window's own framebuffer (framebuffer 0).
    virtual void drawableSize(int& width, int& height) const = 0;
    // False when nothing is ever shown (a hidden window): the layer then
    // never swaps and waits on a fence for the frame before instead, which
    // WebGL2 cannot do; a browser's host always presents.
    virtual bool presents() const = 0;
    // Shows what was drawn into framebuffer 0.
    virtual void swap() = 0;
    // Makes the context current again (before releasing GL objects).
    virtual void makeCurrent() = 0;
    // The context and any window of the host's own are gone afterwards.
    virtual void shutdown() = 0;
    virtual const std::string& error() const = 0;
};

}  // namespace zor
