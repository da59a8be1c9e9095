#pragma once
// The dialog window made of Windows' own standard controls, created one by
// one: a window of the class "DXsetup box" with only a caption, and BUTTON,
// STATIC and COMBOBOX children carrying the given identifiers. The controls
// draw themselves and their text; their notifications (WM_COMMAND) become
// DialogEvents. Return anywhere in the window presses the button marked as
// the default while no list is open, as in a dialog box.

#include <windows.h>

#include <deque>

#include "platform/dialog.h"

namespace zor {

class Win32Dialog final : public DialogWindow {
public:
    Win32Dialog();
    ~Win32Dialog() override;
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    int screenWidth() override;
    int screenHeight() override;
    bool create(std::string_view title, int x, int y, int width, int height) override;
    void addControl(const ControlSpec& spec) override;
    void addString(int id, std::string_view text) override;
    void setCurSel(int id, int index) override;
    int getCurSel(int id) const override;
    void resetContent(int id) override;
    void update() override;
    bool peekEvent(DialogEvent& event) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void destroy() override;
    const std::string& error() const override { return error_; }

    HWND window() const { return window_; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Return for the default button, when the message is one.
    bool pressesDefaultButton(const MSG& msg) const;

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    bool classRegistered_ = false;
    int defaultButton_ = 0;
    std::deque<DialogEvent> events_;
    std::string error_;
};

}  // namespace zor
