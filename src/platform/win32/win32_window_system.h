#pragma once
// The window, message queue, clock and message boxes on Windows itself: the
// window class "D3Dwin" with its window procedure, a popup window, the
// queue drained with PeekMessage, timeGetTime (at one millisecond's
// resolution while the program runs) and MessageBox.
//
// The window procedure turns the messages the program cares about (keys with
// Shift and Ctrl, mouse buttons, the mouse's motion and wheel, the window's
// destruction) into WindowMessages; what they mean is the player's own
// window procedure's business (window_procedure.h), or the preview's.

#include <windows.h>

#include "platform/window_system.h"

namespace zor {

// The program's icon in its resources (the .rc files give it this number);
// the system's application icon where a program has none.
inline constexpr int kProgramIconResource = 1;
HICON programIcon(HINSTANCE instance, bool small);

// Registers a window class of the program: its icon, the arrow cursor, the
// stock brush `background` (LTGRAY_BRUSH, BLACK_BRUSH). False, with
// GetLastError() set, when Windows refuses. A class whose windows carry an
// OpenGL context takes CS_OWNDC (the context keeps the window's device
// context for its life) and its windows WS_CLIPSIBLINGS | WS_CLIPCHILDREN
// (kGlWindowStyle).
bool registerProgramClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style, int background);
inline constexpr DWORD kGlWindowStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// The one owner of a window's style and of its full screen: whoever makes a
// window keeps its frame, and whoever else changes the window (the GL host
// takes the player's window full screen for the chosen mode) reaches the
// same frame through the window (frameOf). While full screen, the window is
// a popup over the given bounds and the mouse cursor is hidden over it;
// restored, it has the style and place it had before.
class WindowFrame {
public:
    // Ties the frame to the window; the window's class procedure calls
    // cursorMessage for WM_SETCURSOR.
    void attach(HWND window);
    // Before the window goes.
    void detach();
    // Covers `bounds` (a monitor's, in desktop coordinates) without a frame.
    bool cover(const RECT& bounds, bool show);
    // Back to the style and place from before cover().
    void restore();
    bool fullScreen() const { return fullScreen_; }
    // WM_SETCURSOR: no cursor over the client area while full screen; true
    // when it answered the message.
    bool cursorMessage(LPARAM lParam) const;

private:
    HWND window_ = nullptr;
    bool fullScreen_ = false;
    LONG_PTR style_ = 0;           // before cover()
    WINDOWPLACEMENT placement_{};  // where the window was before cover()
};

// The frame of a window made by the program; null for another one.
WindowFrame* frameOf(HWND window);

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
    bool fullScreen() const { return frame_.fullScreen(); }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Win32WindowStyle style_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    WindowFrame frame_;
    bool classRegistered_ = false;
    int wheelRest_ = 0;  // of the wheel's turn, less than a notch not yet posted
    MessageQueue queue_;
    std::string error_;
};

}  // namespace zor
