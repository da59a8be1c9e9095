#pragma once
// A small dialog window made of standard controls (buttons, labels,
// drop-down lists), created one by one at given positions, with the
// operations the set-up window needs: add a text to a list, select a
// position, read the selection, empty a list, and a message loop that hands
// out the controls' notifications. The program's logic works only through
// this interface: Windows' own standard controls (win32/win32_dialog.h),
// the same drawn on SDL2 (sdl/sdl_dialog.h), the page's set-up panel in a
// browser (browser/browser_dialog.h); tests script the user
// (tests/support/scripted_dialog.h).

#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum class ControlKind { Button, Label, DropDownList };

struct ControlSpec {
    ControlKind kind = ControlKind::Label;
    std::string text;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;  // for a drop-down list: closed box plus open list
    int id = 0;      // 0: none
};

// Notification codes of a command, as the controls send them.
inline constexpr int kButtonClicked = 0;
inline constexpr int kSelectionChanged = 1;
// Answer of getCurSel when nothing is selected.
inline constexpr int kNoSelection = -1;

enum class DialogEventKind { Command, Quit };

struct DialogEvent {
    DialogEventKind kind = DialogEventKind::Quit;
    int id = 0;            // control that sent the command
    int notification = 0;  // kButtonClicked or kSelectionChanged
};

// What a dialog's controls hold; shared by every implementation.
struct DialogControl {
    ControlSpec spec;
    std::vector<std::string> items;  // drop-down lists only
    int selected = kNoSelection;
};

class DialogControls {
public:
    void add(const ControlSpec& spec) { controls_.push_back({spec, {}, kNoSelection}); }
    DialogControl* find(int id);
    const DialogControl* find(int id) const;
    const std::vector<DialogControl>& all() const { return controls_; }
    std::vector<DialogControl>& all() { return controls_; }
    void clear() { controls_.clear(); }

private:
    std::vector<DialogControl> controls_;
};

class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual int screenWidth() = 0;
    virtual int screenHeight() = 0;
    // False where no one could see the window (a system without a screen),
    // with the reason in `why`.
    virtual bool canBeShown(std::string& /*why*/) { return true; }
    // Creates and shows the window; false (error() says why) when it cannot.
    virtual bool create(std::string_view title, int x, int y, int width, int height) = 0;
    virtual void addControl(const ControlSpec& spec) = 0;
    virtual void addString(int id, std::string_view text) = 0;
    // An index outside the list clears the selection.
    virtual void setCurSel(int id, int index) = 0;
    virtual int getCurSel(int id) const = 0;
    virtual void resetContent(int id) = 0;
    // Redraws the window after its controls changed.
    virtual void update() = 0;
    // Takes the next notification; false when nothing waits. A Quit event
    // means the user (or the system) wants the whole program to end.
    virtual bool peekEvent(DialogEvent& event) = 0;
    // A modal box owned by the dialog; also "caption: text" on standard error.
    virtual void messageBox(std::string_view caption, std::string_view text) = 0;
    virtual void destroy() = 0;
    virtual const std::string& error() const = 0;
};

}  // namespace zor
