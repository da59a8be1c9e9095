#include "platform/sdl/sdl_window_system.h"
#include "platform/sdl/sdl_video.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace zor {

int virtualKeyFromSdl(SDL_Keycode key) {
    if (key == SDLK_ESCAPE) return kVirtualKeyEscape;
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + static_cast<int>(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + static_cast<int>(key - SDLK_0);
    switch (key) {
    case SDLK_RETURN: return 13;
    case SDLK_TAB: return kVirtualKeyTab;
    case SDLK_SPACE: return kVirtualKeySpace;
    case SDLK_PAGEUP: return kVirtualKeyPageUp;
    case SDLK_PAGEDOWN: return kVirtualKeyPageDown;
    case SDLK_END: return kVirtualKeyEnd;
    case SDLK_HOME: return kVirtualKeyHome;
    case SDLK_LEFT: return kVirtualKeyLeft;
    case SDLK_UP: return kVirtualKeyUp;
    case SDLK_RIGHT: return kVirtualKeyRight;
    case SDLK_DOWN: return kVirtualKeyDown;
    case SDLK_LEFTBRACKET: return kVirtualKeyOpenBracket;
    case SDLK_RIGHTBRACKET: return kVirtualKeyCloseBracket;
    case SDLK_COMMA: return kVirtualKeyComma;
    case SDLK_PERIOD: return kVirtualKeyPeriod;
    case SDLK_MINUS: return kVirtualKeyMinus;
    case SDLK_EQUALS:
    case SDLK_PLUS: return kVirtualKeyPlus;
    case SDLK_KP_MINUS: return kVirtualKeySubtract;
    case SDLK_KP_PLUS: return kVirtualKeyAdd;
    default: return 0;
    }
}

namespace {

void setModifiers(WindowMessage& message, Uint16 modifiers) {
    message.shift = (modifiers & KMOD_SHIFT) != 0;
    message.ctrl = (modifiers & KMOD_CTRL) != 0;
}

}  // namespace

bool messageFromEvent(const SDL_Event& event, WindowMessage& message) {
    message = WindowMessage{};
    switch (event.type) {
    case SDL_KEYDOWN:
        message.kind = MessageKind::KeyDown;
        message.key = virtualKeyFromSdl(event.key.keysym.sym);
        setModifiers(message, event.key.keysym.mod);
        return true;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button != SDL_BUTTON_LEFT && event.button.button != SDL_BUTTON_RIGHT) return false;
        message.kind = event.button.button == SDL_BUTTON_LEFT ? MessageKind::LeftButtonDown
                                                               : MessageKind::RightButtonDown;
        message.x = event.button.x;
        message.y = event.button.y;
        setModifiers(message, static_cast<Uint16>(SDL_GetModState()));
        return true;
    case SDL_MOUSEMOTION:
        message.kind = MessageKind::MouseMove;
        message.x = event.motion.x;
        message.y = event.motion.y;
        if (event.motion.state & SDL_BUTTON_LMASK) message.buttons |= kLeftButton;
        if (event.motion.state & SDL_BUTTON_RMASK) message.buttons |= kRightButton;
        setModifiers(message, static_cast<Uint16>(SDL_GetModState()));
        return true;
    case SDL_MOUSEWHEEL:
        if (event.wheel.y == 0) return false;
        message.kind = MessageKind::MouseWheel;
        message.wheel = event.wheel.direction == static_cast<Uint32>(SDL_MOUSEWHEEL_FLIPPED) ? -event.wheel.y : event.wheel.y;
        setModifiers(message, static_cast<Uint16>(SDL_GetModState()));
        return true;
    case SDL_QUIT:
        message.kind = MessageKind::Destroy;
        return true;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            message.kind = MessageKind::Destroy;
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool displayCanShowBoxes() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    if (!driver) driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        return false;
    }
    // Without a driver named, SDL tries the desktop's; a box that cannot be
    // shown simply fails.
    return true;
}

SdlWindowSystem::SdlWindowSystem() = default;

SdlWindowSystem::SdlWindowSystem(SdlWindowStyle style) : style_(style) {}

SdlWindowSystem::~SdlWindowSystem() {
    if (window_) SDL_DestroyWindow(window_);
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlWindowSystem::createMainWindow(std::string_view title) {
    if (!videoReady_) {
        std::string why;
        if (!startSdlVideo(false, why)) {
            error_ = "cannot start the video system: " + why;
            return false;
        }
        videoReady_ = true;
    }
    const std::string name(title);
    if (style_.windowed) {
        const Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN;
        window_ = SDL_CreateWindow(name.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, style_.width,
                                   style_.height, flags | SDL_WINDOW_OPENGL);
        if (!window_) {
            error_ = std::string("cannot create the window: ") + SDL_GetError();
            return false;
        }
        return true;
    }
    // A borderless window over the whole desktop: the display set-up takes
    // it full screen once a mode has been chosen, and where nothing honours
    // that request (an X server without a window manager) it already covers
    // the screen. The set-up window, made later, lies on top of it.
    SDL_DisplayMode desktop{};
    int width = 640, height = 480;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
        width = desktop.w;
        height = desktop.h;
    }
    const Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    window_ = SDL_CreateWindow(name.c_str(), 0, 0, width, height, flags | SDL_WINDOW_OPENGL);
    if (!window_) window_ = SDL_CreateWindow(name.c_str(), 0, 0, width, height, flags);
    if (!window_) {
        error_ = std::string("cannot create the window: ") + SDL_GetError();
        return false;
    }
    return true;
}

bool SdlWindowSystem::setFullScreen(bool on) {
    if (!window_ || !style_.windowed) return false;
    if (on && !fullScreen()) SDL_GetWindowSize(window_, &windowedWidth_, &windowedHeight_);
    if (SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        error_ = std::string("cannot change to full screen: ") + SDL_GetError();
        return false;
    }
    // Where no window manager answers (a bare X server), SDL keeps the
    // screen's size as the window's after it leaves full screen, and the
    // picture would be drawn for a surface four times too big: the size is
    // set again, which SDL then knows.
    if (!on && windowedWidth_ > 0 && windowedHeight_ > 0)
        SDL_SetWindowSize(window_, windowedWidth_, windowedHeight_);
    return true;
}

bool SdlWindowSystem::fullScreen() const {
    return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
}

void SdlWindowSystem::pumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        WindowMessage message;
        if (messageFromEvent(event, message)) queue_.post(message);
    }
}

bool SdlWindowSystem::peekMessage(WindowMessage& message) {
    if (queue_.empty() && videoReady_) pumpEvents();
    return queue_.take(message);
}

void SdlWindowSystem::postQuitMessage() { queue_.post({MessageKind::Quit, 0}); }

std::uint32_t SdlWindowSystem::milliseconds() {
    return static_cast<std::uint32_t>(SDL_GetTicks64());
}

void SdlWindowSystem::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    if (!displayCanShowBoxes()) return;
    // The pointer, hidden over a full-screen picture, is wanted for the box.
    SDL_ShowCursor(SDL_ENABLE);
    const std::string c(caption), t(text);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, c.c_str(), t.c_str(), window_);
}

}  // namespace zor
