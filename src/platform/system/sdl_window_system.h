#pragma once
// The window, message queue, clock and message boxes on SDL2. Works on a
// desktop and with SDL's "offscreen" video driver (no screen at all), where
// message boxes only go to standard error.

#include <SDL2/SDL.h>

#include "platform/system/window_system.h"

namespace zor {

class SdlWindowSystem final : public WindowSystem {
public:
    SdlWindowSystem();
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

private:
    void pumpEvents();

    bool videoReady_ = false;
    SDL_Window* window_ = nullptr;
    MessageQueue queue_;
    std::string error_;
};

// The message an SDL event becomes, if any (false: the event means nothing
// to the program and is dropped).
bool messageFromEvent(const SDL_Event& event, WindowMessage& message);
// The virtual key code of an SDL key: 27 for Escape, upper-case letters,
// digits, 13 for Return, 32 for Space; 0 for anything else.
int virtualKeyFromSdl(SDL_Keycode key);
// True when SDL's current (or requested) video driver can show windows on a
// screen, so a message box can be seen.
bool displayCanShowBoxes();

}  // namespace zor
