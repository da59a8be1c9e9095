#pragma once
// The window, message queue, clock and message boxes on Windows itself: the
// window class "D3Dwin" with its window procedure, a popup window, the
// queue drained with PeekMessage, timeGetTime (at one millisecond's
// resolution while the program runs) and MessageBox.
//
// The window procedure turns the messages the program cares about (keys,
// mouse buttons, the window's destruction) into WindowMessages; what they
// mean is the player's own window procedure's business (window_procedure.h).

#include <windows.h>

#include "platform/window_system.h"

namespace zor {

// The program's icon in its resources (the .rc files give it this number);
// the system's application icon where a program has none.
inline constexpr int kProgramIconResource = 1;
HICON programIcon(HINSTANCE instance, bool small);

// Registers a window class of the program: its icon, the arrow cursor, the
// stock brush `background` (LTGRAY_BRUSH, BLACK_BRUSH). False, with
// GetLastError() set, when Windows refuses.
bool registerProgramClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style, int background);

// How the main window is made: the player's popup, or an ordinary
// resizable window whose picture area is of a given size (for tools).
struct Win32WindowStyle {
    bool windowed = false;
    int width = 640;   // windowed only
    int height = 480;
};

class Win32WindowSystem final : public WindowSystem {
public:
    explicit Win32WindowSystem(Win32WindowStyle style = {});
    ~Win32WindowSystem() override;
    Win32WindowSystem(const Win32WindowSystem&) = delete;
    Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

    bool createMainWindow(std::string_view title) override;
    bool peekMessage(WindowMessage& message) override;
    void postQuitMessage() override;
    std::uint32_t milliseconds() override;
    // Gives the desktop its mode back first, so that the box can be seen.
    void messageBox(std::string_view caption, std::string_view text) override;
    void* nativeWindow() const override { return window_; }
    const std::string& error() const override { return error_; }

    // Windowed style only: the window covers its screen without a frame
    // (true) or is back as it was (false).
    bool setFullScreen(bool on);
    bool fullScreen() const { return fullScreen_; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Win32WindowStyle style_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    bool fullScreen_ = false;
    WINDOWPLACEMENT placement_{};  // where the window was before full screen
    bool classRegistered_ = false;
    MessageQueue queue_;
    std::string error_;
};

}  // namespace zor
