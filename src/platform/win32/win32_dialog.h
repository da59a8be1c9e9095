#pragma once
// The dialog window made of Windows' own standard controls, created one by
// one: a window of the class "DXsetup box" with only a caption, and BUTTON,
// STATIC and COMBOBOX children carrying the given identifiers. The controls
// draw themselves and their text; their notifications (WM_COMMAND) become
// DialogEvents. Return anywhere in the window presses the button marked as
// the default while no list is open, as in a dialog box; Escape, the close
// box and Alt+F4 leave it (a Quit event).
//
// Positions and sizes are given at 96 dots per inch, as the set-up window's
// table has them; the window and its controls are made at the display's own
// (per monitor, as the manifest promises: again when the window moves to a
// monitor of another scale), with the dialog font at that scale, so the texts
// fit at 100%, 150% or 200%. The window keeps its centre.

#include <windows.h>

#include <deque>
#include <vector>

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
    // A key pressed for the window (it or a control of it), no list being open.
    bool keyForTheWindow(const MSG& msg, WPARAM key) const;
    // A length at 96 dots per inch at the window's scale.
    int scaled(int length) const;
    // The controls placed and the font made for the current `dpi_`.
    void applyScale();

    struct Control {
        HWND window = nullptr;
        ControlSpec spec;  // as given, at 96 dots per inch
    };

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    bool classRegistered_ = false;
    int defaultButton_ = 0;
    int dpi_ = 96;
    HFONT font_ = nullptr;  // the dialog font at `dpi_`
    std::vector<Control> controls_;
    std::deque<DialogEvent> events_;
    std::string error_;
};

}  // namespace zor
