#include "platform/win32/win32_window_system.h"

#include <mmsystem.h>

#include <iostream>

#include "platform/win32/win32_display_modes.h"
#include "system/win32/text_win32.h"

namespace zor {

namespace {

constexpr const wchar_t* kClassName = L"D3Dwin";
// The window property that leads from a window to its frame.
constexpr const wchar_t* kFrameProperty = L"zor.frame";

bool held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// A mouse message's pointer (client coordinates, signed) and the keys and
// buttons its wParam says were held.
WindowMessage mouseMessage(MessageKind kind, WPARAM wParam, LPARAM lParam) {
    WindowMessage message;
    message.kind = kind;
    message.x = static_cast<short>(LOWORD(lParam));
    message.y = static_cast<short>(HIWORD(lParam));
    if (wParam & MK_LBUTTON) message.buttons |= kLeftButton;
    if (wParam & MK_RBUTTON) message.buttons |= kRightButton;
    message.shift = (wParam & MK_SHIFT) != 0;
    message.ctrl = (wParam & MK_CONTROL) != 0;
    return message;
}

}  // namespace

void WindowFrame::attach(HWND window) {
    window_ = window;
    SetPropW(window, kFrameProperty, this);
}

void WindowFrame::detach() {
    if (window_) RemovePropW(window_, kFrameProperty);
    window_ = nullptr;
    fullScreen_ = false;
}

WindowFrame* frameOf(HWND window) { return static_cast<WindowFrame*>(GetPropW(window, kFrameProperty)); }

bool WindowFrame::cover(const RECT& bounds, bool show) {
    if (!window_) return false;
    if (!fullScreen_) {
        style_ = GetWindowLongPtrW(window_, GWL_STYLE);
        placement_.length = sizeof placement_;
        GetWindowPlacement(window_, &placement_);
    }
    SetWindowLongPtrW(window_, GWL_STYLE, WS_POPUP | kGlWindowStyle | (show ? WS_VISIBLE : 0));
    SetWindowPos(window_, HWND_TOP, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_FRAMECHANGED | SWP_NOOWNERZORDER | (show ? SWP_SHOWWINDOW : 0));
    fullScreen_ = true;
    return true;
}

void WindowFrame::restore() {
    if (!window_ || !fullScreen_) return;
    SetWindowLongPtrW(window_, GWL_STYLE, style_);
    SetWindowPlacement(window_, &placement_);
    SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    fullScreen_ = false;
}

bool WindowFrame::cursorMessage(LPARAM lParam) const {
    if (!fullScreen_ || LOWORD(lParam) != HTCLIENT) return false;
    SetCursor(nullptr);
    return true;
}

HICON programIcon(HINSTANCE instance, bool small) {
    const int size = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    if (auto icon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(kProgramIconResource), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)))
        return icon;
    return LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

bool registerProgramClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style, int background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = programIcon(instance, false);
    windowClass.hIconSm = programIcon(instance, true);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(background));
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

Win32WindowSystem::Win32WindowSystem(Win32WindowStyle style) : style_(style), instance_(GetModuleHandleW(nullptr)) {
    // The clock counts single milliseconds, not the default 10 to 16.
    timeBeginPeriod(1);
}

Win32WindowSystem::~Win32WindowSystem() {
    frame_.detach();
    if (window_) DestroyWindow(window_);
    if (classRegistered_) UnregisterClassW(kClassName, instance_);
    timeEndPeriod(1);
}

LRESULT CALLBACK Win32WindowSystem::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32WindowSystem*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_KEYDOWN: {
        WindowMessage key;
        key.kind = MessageKind::KeyDown;
        key.key = static_cast<int>(wParam);
        key.shift = held(VK_SHIFT);
        key.ctrl = held(VK_CONTROL);
        self->queue_.post(key);
        return 0;
    }
    case WM_LBUTTONDOWN:
        // A drag goes on outside the window until the button is let go.
        SetCapture(window);
        self->queue_.post(mouseMessage(MessageKind::LeftButtonDown, wParam, lParam));
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == window) ReleaseCapture();
        return 0;
    case WM_RBUTTONDOWN:
        self->queue_.post(mouseMessage(MessageKind::RightButtonDown, wParam, lParam));
        return 0;
    case WM_MOUSEMOVE:
        self->queue_.post(mouseMessage(MessageKind::MouseMove, wParam, lParam));
        return 0;
    case WM_MOUSEWHEEL: {
        // Whole notches; a finer wheel's parts add up until they make one.
        self->wheelRest_ += GET_WHEEL_DELTA_WPARAM(wParam);
        const int notches = self->wheelRest_ / WHEEL_DELTA;
        self->wheelRest_ -= notches * WHEEL_DELTA;
        if (notches != 0) {
            WindowMessage wheel = mouseMessage(MessageKind::MouseWheel, GET_KEYSTATE_WPARAM(wParam), 0);
            wheel.wheel = notches;
            self->queue_.post(wheel);
        }
        return 0;
    }
    case WM_SETCURSOR:
        if (self->frame_.cursorMessage(lParam)) return TRUE;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_DESTROY:
        self->queue_.post({MessageKind::Destroy});
        if (self->window_ == window) {
            self->frame_.detach();
            self->window_ = nullptr;
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool Win32WindowSystem::createMainWindow(std::string_view title) {
    if (!classRegistered_) {
        if (!registerProgramClass(instance_, kClassName, windowProcedure, CS_DBLCLKS | CS_OWNDC, LTGRAY_BRUSH)) {
            error_ = "cannot register the window class: " + win32::errorText(GetLastError());
            return false;
        }
        classRegistered_ = true;
    }
    if (style_.windowed) {
        RECT frame{0, 0, style_.width, style_.height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        window_ = CreateWindowExW(0, kClassName, win32::widen(title).c_str(), WS_OVERLAPPEDWINDOW | kGlWindowStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, instance_, this);
    } else {
        // A popup of no size: the display set-up makes it cover the screen
        // once a mode has been chosen.
        window_ = CreateWindowExW(0, kClassName, win32::widen(title).c_str(), WS_POPUP | kGlWindowStyle, 0, 0, 0, 0,
                                  nullptr, nullptr, instance_, this);
    }
    if (!window_) {
        error_ = "cannot create the window: " + win32::errorText(GetLastError());
        return false;
    }
    frame_.attach(window_);
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return true;
}

bool Win32WindowSystem::peekMessage(WindowMessage& message) {
    MSG msg{};
    while (queue_.empty() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            queue_.post({MessageKind::Quit});
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return queue_.take(message);
}

void Win32WindowSystem::postQuitMessage() { PostQuitMessage(0); }

bool Win32WindowSystem::setFullScreen(bool on) {
    if (!window_ || !style_.windowed) return false;
    if (on == frame_.fullScreen()) return true;
    if (!on) {
        frame_.restore();
        return true;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) {
        error_ = "cannot change to full screen: " + win32::errorText(GetLastError());
        return false;
    }
    return frame_.cover(monitor.rcMonitor, true);
}

std::uint32_t Win32WindowSystem::milliseconds() { return timeGetTime(); }

void Win32WindowSystem::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    win32::restoreDisplayModes();
    MessageBoxW(window_, win32::widen(text).c_str(), win32::widen(caption).c_str(), MB_OK);
}

}  // namespace zor
