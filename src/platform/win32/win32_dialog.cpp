#include "platform/win32/win32_dialog.h"

#include <iostream>

#include "system/win32/text_win32.h"
#include "platform/win32/win32_window_system.h"

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
    defaultButton_ = 0;
    window_ = CreateWindowExW(0, kClassName, win32::widen(title).c_str(), WS_CAPTION, x, y, width, height, nullptr,
                              nullptr, instance_, this);
    if (!window_) {
        error_ = "cannot create the window: " + win32::errorText(GetLastError());
        return false;
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    return true;
}

void Win32Dialog::addControl(const ControlSpec& spec) {
    if (!window_) return;
    HWND control = CreateWindowExW(0, controlClass(spec.kind), win32::widen(spec.text).c_str(),
                                   controlStyle(spec.kind), spec.x, spec.y, spec.width, spec.height, window_, nullptr,
                                   instance_, nullptr);
    if (!control) {
        error_ = "cannot create a control: " + win32::errorText(GetLastError());
        return;
    }
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

bool Win32Dialog::pressesDefaultButton(const MSG& msg) const {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || defaultButton_ == 0 || !window_) return false;
    if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
    // Return in an open list picks its entry and closes it.
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
        if (pressesDefaultButton(msg)) {
            events_.push_back({DialogEventKind::Command, defaultButton_, kButtonClicked});
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

void Win32Dialog::destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
}

}  // namespace zor
