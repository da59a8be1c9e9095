#pragma once
// A dialog with no window: the test scripts what the user does (pick a list
// position, press the button, quit) and reads back what the program put in
// the controls and which message boxes it showed. When the script is used
// up the dialog answers Quit, so a program that waits for more never hangs.

#include <deque>
#include <ostream>

#include "platform/dialog.h"

namespace zor {

class ScriptedDialog final : public DialogWindow {
public:
    struct Box {
        std::string caption;
        std::string text;
    };

    explicit ScriptedDialog(int screenWidth = 1024, int screenHeight = 768,
                            std::ostream* boxOutput = nullptr)
        : screenWidth_(screenWidth), screenHeight_(screenHeight), boxOutput_(boxOutput) {}

    // The user picks position `index` of a drop-down list.
    void pick(int id, int index);
    // The user presses a button.
    void press(int id);
    // The system asks the program to end.
    void quit();
    // The user does nothing for one poll (the loop goes round once).
    void idle();

    int screenWidth() override { return screenWidth_; }
    int screenHeight() override { return screenHeight_; }
    bool create(std::string_view title, int x, int y, int width, int height) override;
    void addControl(const ControlSpec& spec) override { controls_.add(spec); }
    void addString(int id, std::string_view text) override;
    void setCurSel(int id, int index) override;
    int getCurSel(int id) const override;
    void resetContent(int id) override;
    void update() override { ++updates_; }
    bool peekEvent(DialogEvent& event) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void destroy() override { destroyed_ = true; }
    const std::string& error() const override { return error_; }

    const DialogControls& controls() const { return controls_; }
    const std::vector<Box>& boxes() const { return boxes_; }
    const std::string& title() const { return title_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool destroyed() const { return destroyed_; }
    bool created() const { return created_; }
    int resets() const { return resets_; }
    int updates() const { return updates_; }

private:
    struct Step {
        enum Kind { Pick, Press, Quit, Idle } kind;
        int id;
        int index;
    };

    int screenWidth_;
    int screenHeight_;
    std::ostream* boxOutput_;
    DialogControls controls_;
    std::deque<Step> script_;
    std::vector<Box> boxes_;
    std::string title_;
    std::string error_;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    bool created_ = false;
    bool destroyed_ = false;
    int resets_ = 0;
    int updates_ = 0;
};

}  // namespace zor
