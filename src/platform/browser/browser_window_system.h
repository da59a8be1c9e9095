#pragma once
// The window system in a web page (Emscripten builds only): the main window
// is the page's canvas, its messages come from the page's keyboard events and
// from mouse buttons pressed on the canvas, the clock is the page's
// millisecond clock, and message boxes are shown by the page (through
// Module.page.messageBox) as well as written to standard error.

#include <string>

#include "platform/window_system.h"

namespace zor {

class BrowserWindowSystem final : public WindowSystem {
public:
    // `canvas`: the CSS selector of the canvas that is the main window.
    explicit BrowserWindowSystem(std::string canvas = "#screen");
    ~BrowserWindowSystem() override;
    BrowserWindowSystem(const BrowserWindowSystem&) = delete;
    BrowserWindowSystem& operator=(const BrowserWindowSystem&) = delete;

    // Starts listening for keys and mouse buttons. The title stays the
    // page's: the page names the tab after the demo once its files are in
    // place (zor_demo_info), before the player starts, and keeps it.
    bool createMainWindow(std::string_view title) override;
    bool peekMessage(WindowMessage& message) override;
    void postQuitMessage() override { queue_.post({MessageKind::Quit, 0}); }
    std::uint32_t milliseconds() override;
    void messageBox(std::string_view caption, std::string_view text) override;
    // The canvas selector, as a zero-terminated text.
    void* nativeWindow() const override { return const_cast<char*>(canvas_.c_str()); }
    const std::string& error() const override { return error_; }

    // Queues a message as the page's events do.
    void post(const WindowMessage& message) { queue_.post(message); }

private:
    void stopListening();

    std::string canvas_;
    MessageQueue queue_;
    std::string error_;
};

}  // namespace zor
