#pragma once
// The window, message queue, clock and message boxes on SDL2. Works on a
// desktop and with SDL's "offscreen" video driver (no screen at all), where
// message boxes only go to standard error.

#include <SDL2/SDL.h>

#include "platform/window_system.h"

namespace zor {

// How the main window is made: the player's borderless window over the whole
// desktop, or an ordinary resizable window of a given size (for tools).
struct SdlWindowStyle {
    bool windowed = false;
    int width = 640;   // windowed only
    int height = 480;
};

class SdlWindowSystem final : public WindowSystem {
public:
    SdlWindowSystem();
    explicit SdlWindowSystem(SdlWindowStyle style);
    ~SdlWindowSystem() override;
    SdlWindowSystem(const SdlWindowSystem&) = delete;
    SdlWindowSystem& operator=(const SdlWindowSystem&) = delete;

    bool createMainWindow(std::string_view title) override;
    bool peekMessage(WindowMessage& message) override;
    void postQuitMessage() override;
    std::uint32_t milliseconds() override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void* nativeWindow() const override { return window_; }
    const std::string& error() const override { return error_; }

    // Windowed style only: the window fills its screen (true) or returns to
    // its own size (false). False when the platform refuses.
    bool setFullScreen(bool on);
    bool fullScreen() const;

private:
    void pumpEvents();

    SdlWindowStyle style_;
    bool videoReady_ = false;
    SDL_Window* window_ = nullptr;
    int windowedWidth_ = 0, windowedHeight_ = 0;  // the size to come back to from full screen
    MessageQueue queue_;
    std::string error_;
};

// The message an SDL event becomes, if any (false: the event means nothing
// to the program and is dropped): keys with Shift and Ctrl, the left and
// right buttons, the mouse's motion with the buttons held, the wheel, and
// the window's end.
bool messageFromEvent(const SDL_Event& event, WindowMessage& message);
// The virtual key code of an SDL key: 27 for Escape, upper-case letters,
// digits, 13 for Return, 9 for Tab, 32 for Space, the arrows, Page Up/Down,
// Home, End, the square brackets, comma, full stop, minus and plus (the
// "=" key, and the number pad's); 0 for anything else.
int virtualKeyFromSdl(SDL_Keycode key);
// True when SDL's current (or requested) video driver can show windows on a
// screen, so a message box can be seen.
bool displayCanShowBoxes();

}  // namespace zor
