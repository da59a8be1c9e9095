#include "platform/sdl/sdl_video.h"

#include <SDL.h>

#include <cstdlib>
#include <string_view>

namespace zor {

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool tryDriver(const char* driver) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
    const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
    return started;
}

}  // namespace

bool startSdlVideo(bool hidden, std::string& error) {
    // Once running, further starts only count (and keep the driver).
    const bool choose = !SDL_WasInit(SDL_INIT_VIDEO) && !set("SDL_VIDEODRIVER") && !set("DISPLAY") &&
                        !set("WAYLAND_DISPLAY");
    if (!choose) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        error = SDL_GetError();
        return false;
    }
    if (hidden) {
        if (tryDriver("offscreen")) return true;
        error = SDL_GetError();
        return false;
    }
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const std::string_view driver = SDL_GetVideoDriver(i);
        if (driver == "wayland" || driver == "offscreen" || driver == "dummy" || driver == "evdev") continue;
        if (tryDriver(driver.data())) return true;
    }
    error = "no screen to show a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
}

}  // namespace zor
