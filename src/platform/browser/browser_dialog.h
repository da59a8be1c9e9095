#pragma once
// A dialog window drawn by the web page (Emscripten builds only): the page's
// set-up panel. Each control becomes an element placed as the dialog asks
// (through Module.page.dialog), and the elements' clicks and selection
// changes come back as events. The page calls back between the program's
// calls, so the owner learns of new events through onEvent and polls then,
// instead of waiting in a loop.

#include <deque>
#include <functional>
#include <string>

#include "platform/dialog.h"
#include "platform/window_system.h"

namespace zor {

class BrowserDialog final : public DialogWindow {
public:
    BrowserDialog();
    ~BrowserDialog() override;
    BrowserDialog(const BrowserDialog&) = delete;
    BrowserDialog& operator=(const BrowserDialog&) = delete;

    int screenWidth() override;
    int screenHeight() override;
    bool create(std::string_view title, int x, int y, int width, int height) override;
    void addControl(const ControlSpec& spec) override;
    void addString(int id, std::string_view text) override;
    void setCurSel(int id, int index) override;
    int getCurSel(int id) const override;
    void resetContent(int id) override;
    void update() override {}
    bool peekEvent(DialogEvent& event) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void destroy() override;
    const std::string& error() const override { return error_; }

    // A control's notification, as the page reports it; then onEvent runs.
    void post(const DialogEvent& event);
    std::function<void()> onEvent;

private:
    std::deque<DialogEvent> events_;
    bool created_ = false;
    std::string error_;
};

}  // namespace zor
