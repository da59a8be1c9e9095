#include "platform/win32/win32_dialog.h"

#include <iostream>

#include "system/win32/text_win32.h"
#include "platform/win32/win32_window_system.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace zor {

namespace {

constexpr const wchar_t* kClassName = L"DXsetup box";

// The control's class and style, as the set-up window's table gives them.
const wchar_t* controlClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::Button: return L"BUTTON";
    case ControlKind::DropDownList: return L"COMBOBOX";
    case ControlKind::Label: break;
    }
    return L"STATIC";
}

DWORD controlStyle(ControlKind kind) {
    switch (kind) {
    case ControlKind::Button: return WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;  // 0x50000001
    case ControlKind::DropDownList:
        return WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_HASSTRINGS | CBS_DROPDOWNLIST;  // 0x50200203
    case ControlKind::Label: break;
    }
    return WS_CHILD | WS_VISIBLE;  // 0x50000000
}

// The dots per inch of a window's monitor (Windows 10 on), else of the
// screen as a device context tells it.
int dpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window); dpi >= 48) return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi >= 48 ? dpi : 96;
}

// The dialog font (what dialog boxes use: "MS Shell Dlg 2", 8 points) at a
// number of dots per inch.
HFONT dialogFont(int dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(8, dpi, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

}  // namespace

Win32Dialog::Win32Dialog() : instance_(GetModuleHandleW(nullptr)) {}

Win32Dialog::~Win32Dialog() {
    destroy();
    if (classRegistered_) UnregisterClassW(kClassName, instance_);
}

int Win32Dialog::screenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

int Win32Dialog::screenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

LRESULT CALLBACK Win32Dialog::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32Dialog*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        self->events_.push_back({DialogEventKind::Command, LOWORD(wParam), HIWORD(wParam)});
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: Windows suggests the place.
        self->dpi_ = HIWORD(wParam);
        const RECT* place = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, place->left, place->top, place->right - place->left,
                     place->bottom - place->top, SWP_NOZORDER | SWP_NOACTIVATE);
        self->applyScale();
        return 0;
    }
    case WM_CLOSE:
        // Alt+F4: the program is asked to end; the window goes with it.
        self->events_.push_back({DialogEventKind::Quit, 0, 0});
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool Win32Dialog::create(std::string_view title, int x, int y, int width, int height) {
    if (!classRegistered_) {
        if (!registerProgramClass(instance_, kClassName, windowProcedure, CS_DBLCLKS, LTGRAY_BRUSH)) {
            error_ = "cannot register the window class: " + win32::errorText(GetLastError());
            return false;
        }
        classRegistered_ = true;
    }
    events_.clear();
    controls_.clear();
    defaultButton_ = 0;
    // The screen's scale first; the window's own once it exists.
    dpi_ = dpiOf(nullptr);
    window_ = CreateWindowExW(0, kClassName, win32::widen(title).c_str(), WS_CAPTION, x, y, width, height, nullptr,
                              nullptr, instance_, this);
    if (!window_) {
        error_ = "cannot create the window: " + win32::errorText(GetLastError());
        return false;
    }
    dpi_ = dpiOf(window_);
    if (dpi_ != 96) {
        const int w = scaled(width), h = scaled(height);
        SetWindowPos(window_, nullptr, x + (width - w) / 2, y + (height - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    applyScale();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    return true;
}

void Win32Dialog::addControl(const ControlSpec& spec) {
    if (!window_) return;
    HWND control = CreateWindowExW(0, controlClass(spec.kind), win32::widen(spec.text).c_str(),
                                   controlStyle(spec.kind), scaled(spec.x), scaled(spec.y), scaled(spec.width),
                                   scaled(spec.height), window_, nullptr, instance_, nullptr);
    if (!control) {
        error_ = "cannot create a control: " + win32::errorText(GetLastError());
        return;
    }
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_.push_back({control, spec});
    if (spec.id != 0) SetWindowLongPtrW(control, GWLP_ID, spec.id);
    if (spec.kind == ControlKind::Button && defaultButton_ == 0) defaultButton_ = spec.id;
}

void Win32Dialog::addString(int id, std::string_view text) {
    SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(text).c_str()));
}

void Win32Dialog::setCurSel(int id, int index) { SendDlgItemMessageW(window_, id, CB_SETCURSEL, index, 0); }

int Win32Dialog::getCurSel(int id) const {
    const LRESULT index = SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? kNoSelection : static_cast<int>(index);
}

void Win32Dialog::resetContent(int id) { SendDlgItemMessageW(window_, id, CB_RESETCONTENT, 0, 0); }

void Win32Dialog::update() {
    if (window_) UpdateWindow(window_);
}

bool Win32Dialog::keyForTheWindow(const MSG& msg, WPARAM key) const {
    if (msg.message != WM_KEYDOWN || msg.wParam != key || !window_) return false;
    if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
    // Return and Escape in an open list pick or keep its entry and close it.
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (SendMessageW(child, CB_GETDROPPEDSTATE, 0, 0) == TRUE) return false;
    return true;
}

bool Win32Dialog::peekEvent(DialogEvent& event) {
    if (!window_) {
        event = {DialogEventKind::Quit, 0, 0};
        return true;
    }
    MSG msg{};
    while (events_.empty() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            events_.push_back({DialogEventKind::Quit, 0, 0});
            break;
        }
        if (defaultButton_ != 0 && keyForTheWindow(msg, VK_RETURN)) {
            events_.push_back({DialogEventKind::Command, defaultButton_, kButtonClicked});
            break;
        }
        // Escape leaves the window as its close box does.
        if (keyForTheWindow(msg, VK_ESCAPE)) {
            events_.push_back({DialogEventKind::Quit, 0, 0});
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Nothing to do: wait a little for input instead of spinning.
    if (events_.empty()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void Win32Dialog::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    MessageBoxW(window_, win32::widen(text).c_str(), win32::widen(caption).c_str(), MB_OK);
}

int Win32Dialog::scaled(int length) const { return MulDiv(length, dpi_, 96); }

void Win32Dialog::applyScale() {
    HFONT font = dialogFont(dpi_);
    for (const Control& c : controls_) {
        SetWindowPos(c.window, nullptr, scaled(c.spec.x), scaled(c.spec.y), scaled(c.spec.width),
                     scaled(c.spec.height), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_) DeleteObject(font_);
    font_ = font;
}

void Win32Dialog::destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    controls_.clear();
    if (font_) DeleteObject(font_);
    font_ = nullptr;
}

}  // namespace zor
