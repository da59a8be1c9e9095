#include "platform/sdl/sdl_gl_host.h"
#include "platform/sdl/sdl_video.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>

#include "platform/native_gl_host.h"
#include "render/gl_loader.h"

namespace zor {

std::unique_ptr<GlHost> makeNativeGlHost(const GlDisplayOptions& options) {
    return std::make_unique<SdlGlHost>(options);
}

namespace {

// Keeps the GL driver libraries loaded until the process ends. Mesa's drivers
// keep a few allocations past their unloading, which leak checkers would
// otherwise report against a module that no longer exists.
void pinDriverLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("dri") != std::string::npos || name.find("gallium") != std::string::npos ||
                name.find("LLVM") != std::string::npos || name.find("GL") != std::string::npos)
                dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

}  // namespace

bool SdlGlHost::fail(std::string text) {
    error_ = std::move(text);
    return false;
}

bool SdlGlHost::start() {
    if (sdlReady_) return true;
    std::string why;
    if (!startSdlVideo(!options_.visible, why)) return fail("cannot start SDL's video: " + why);
    sdlReady_ = true;
    return true;
}

std::string SdlGlHost::driverName() const {
    const char* driver = sdlReady_ ? SDL_GetCurrentVideoDriver() : nullptr;
    return driver ? driver : "SDL";
}

std::vector<HostDisplay> SdlGlHost::displays() {
    std::vector<HostDisplay> list;
    if (!start()) return list;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        HostDisplay display;
        const char* name = SDL_GetDisplayName(i);
        display.name = name ? name : ("Display " + std::to_string(i + 1));
        const int modes = SDL_GetNumDisplayModes(i);
        for (int k = 0; k < modes; ++k) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(i, k, &mode) != 0 || mode.w <= 0 || mode.h <= 0) continue;
            const auto size = std::make_pair(mode.w, mode.h);
            if (std::find(display.sizes.begin(), display.sizes.end(), size) == display.sizes.end())
                display.sizes.push_back(size);
        }
        list.push_back(std::move(display));
    }
    return list;
}

void SdlGlHost::adoptWindow(void* nativeWindow) {
    if (!context_ && nativeWindow) window_ = static_cast<SDL_Window*>(nativeWindow);
}

namespace {

void* lookupFunction(const char* name, void*) { return SDL_GL_GetProcAddress(name); }

}  // namespace

bool SdlGlHost::makeContext(const GlContextKind& kind) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK,
                        kind.es ? SDL_GL_CONTEXT_PROFILE_ES : SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kind.major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kind.minor);
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return false;
    std::string version;
    if (SDL_GL_MakeCurrent(window_, context_) == 0) {
        using GetString = const unsigned char* (*)(unsigned);
        const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        const unsigned char* text = getString ? getString(GL_VERSION) : nullptr;
        version = text ? reinterpret_cast<const char*>(text) : "";
    }
    GlFlavour flavour = GlFlavour::Es3;
    std::string missing;
    if (!version.empty() && glFlavourFor(kind, version, flavour) &&
        loadGlFunctions(lookupFunction, nullptr, flavour, missing)) {
        version_ = version;
        return true;
    }
    tried_ += (tried_.empty() ? "" : "; ") + (version.empty() ? std::string(kind.name) : version) +
              (missing.empty() ? "" : " lacks " + missing);
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
    return false;
}

bool SdlGlHost::createContext(int width, int height) {
    if (context_) return true;
    if (!start()) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // A window made without OpenGL cannot carry the context.
    if (window_ && !(SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL)) window_ = nullptr;
    if (!window_) {
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
        flags |= options_.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
        window_ = SDL_CreateWindow(options_.title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                   height, flags);
        if (!window_) return fail(std::string("cannot create a window: ") + SDL_GetError());
        ownsWindow_ = true;
    }
    tried_.clear();
    for (const GlContextKind& kind : kGlContextKinds)
        if (glContextWanted(kind) && makeContext(kind)) break;
    if (!context_)
        return fail(std::string("cannot create an OpenGL ES 3.0 or core OpenGL 3.3 context") +
                    (tried_.empty() ? std::string(": ") + SDL_GetError() : " (" + tried_ + ")"));
    // Each swap waits for the display's refresh; where the driver cannot,
    // the swaps simply come as fast as the frames.
    if (options_.vsync) SDL_GL_SetSwapInterval(1);
    pinDriverLibraries();
    return true;
}

void SdlGlHost::showMode(int display, int width, int height, bool fullScreen) {
    if (!window_) return;
    if (ownsWindow_) SDL_SetWindowSize(window_, width, height);
    if (fullScreen) {
        // Full screen goes to the display the window lies on: move it there
        // first.
        SDL_Rect bounds;
        if (SDL_GetWindowDisplayIndex(window_) != display && SDL_GetDisplayBounds(display, &bounds) == 0)
            SDL_SetWindowPosition(window_, bounds.x, bounds.y);
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    // No pointer over a picture that takes the whole screen.
    SDL_ShowCursor(fullScreen ? SDL_DISABLE : SDL_ENABLE);
    if (options_.visible) {
        // Where no window manager hands out the keyboard (a bare X server),
        // the window destroyed last (the set-up window) leaves it to nobody.
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        SDL_SetWindowInputFocus(window_);
    }
}

void SdlGlHost::drawableSize(int& width, int& height) const {
    width = height = 0;
    if (window_) SDL_GL_GetDrawableSize(window_, &width, &height);
}

void SdlGlHost::swap() {
    if (window_) SDL_GL_SwapWindow(window_);
}

void SdlGlHost::makeCurrent() {
    if (context_) SDL_GL_MakeCurrent(window_, context_);
}

void SdlGlHost::shutdown() {
    if (context_) SDL_GL_DeleteContext(context_);
    context_ = nullptr;
    if (window_ && ownsWindow_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    ownsWindow_ = false;
    if (sdlReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    sdlReady_ = false;
}

}  // namespace zor
