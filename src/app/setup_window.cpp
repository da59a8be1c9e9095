#include "app/setup_window.h"

#include <cstdio>

namespace zor {

namespace {

constexpr int kWindowWidth = 260;
constexpr int kWindowHeight = 150;
constexpr const char* kRefusalCaption = "No good man";

const ControlSpec kControls[] = {
    {ControlKind::Button, "Let\u00B4s go!!", 5, 90, 245, 30, kSetupButtonId},
    {ControlKind::Label, "Choose videocard", 5, 5, 250, 15, 0},
    {ControlKind::DropDownList, "Cards", 5, 20, 245, 150, kAdapterListId},
    {ControlKind::Label, "Choose videomode", 5, 45, 250, 15, 0},
    {ControlKind::DropDownList, "Modes", 5, 60, 245, 150, kModeListId},
};

bool validPosition(int position, std::size_t size) {
    return position >= 0 && static_cast<std::size_t>(position) < size;
}

// The button: true when the choice is taken.
bool acceptChoice(DialogWindow& dialog, const std::vector<SetupAdapter>& adapters, SetupChoice& choice) {
    const int a = dialog.getCurSel(kAdapterListId);
    const int m = dialog.getCurSel(kModeListId);
    // An adapter without usable modes leaves nothing to take.
    if (!validPosition(a, adapters.size()) || !validPosition(m, adapters[a].modes.size())) {
        dialog.messageBox(kRefusalCaption, "This videocard has no videomode to choose!");
        return false;
    }
    if (adapters[a].modes[m].width < kMinimumModeWidth) {
        dialog.messageBox(kRefusalCaption, "This demo wants a resolution of at least 512x384!");
        return false;
    }
    choice = {a, m};
    return true;
}

}  // namespace

std::string modeText(const SetupMode& mode) {
    const char* format =
        mode.width < kMinimumModeWidth ? "%dx%dx%dBpp (Not supported)" : "%dx%dx%dBpp";
    char text[80];
    std::snprintf(text, sizeof text, format, static_cast<int>(mode.width), static_cast<int>(mode.height),
                  static_cast<int>(mode.bitsPerPixel));
    return text;
}

void fillModeList(DialogWindow& dialog, const SetupAdapter& adapter) {
    for (std::size_t k = 0; k < adapter.modes.size(); ++k) {
        dialog.addString(kModeListId, modeText(adapter.modes[k]));
        if (k == 0 || adapter.modes[k].height == 480) dialog.setCurSel(kModeListId, static_cast<int>(k));
    }
}

bool SetupWindow::open() {
    const int x = dialog_.screenWidth() / 2 - kWindowWidth / 2;
    const int y = dialog_.screenHeight() / 2 - kWindowHeight / 2;
    if (!dialog_.create("Setup", x, y, kWindowWidth, kWindowHeight)) return false;
    for (const ControlSpec& spec : kControls) dialog_.addControl(spec);

    for (const SetupAdapter& adapter : adapters_) dialog_.addString(kAdapterListId, adapter.description);
    const int first = adapters_.size() >= 2 ? 1 : 0;
    dialog_.setCurSel(kAdapterListId, first);
    if (validPosition(first, adapters_.size())) fillModeList(dialog_, adapters_[first]);
    dialog_.update();
    return true;
}

SetupWindow::State SetupWindow::poll() {
    DialogEvent event;
    while (dialog_.peekEvent(event)) {
        if (event.kind == DialogEventKind::Quit) {
            dialog_.destroy();
            return State::Quit;
        }
        if (event.id == kSetupButtonId && event.notification == kButtonClicked) {
            if (acceptChoice(dialog_, adapters_, choice_)) {
                dialog_.destroy();
                return State::Accepted;
            }
        } else if (event.id == kAdapterListId && event.notification == kSelectionChanged) {
            const int a = dialog_.getCurSel(kAdapterListId);
            dialog_.resetContent(kModeListId);
            if (validPosition(a, adapters_.size())) fillModeList(dialog_, adapters_[a]);
            dialog_.update();
        }
    }
    return State::Waiting;
}

bool runSetupWindow(DialogWindow& dialog, const std::vector<SetupAdapter>& adapters, SetupChoice& choice) {
    SetupWindow window(dialog, adapters);
    if (!window.open()) return false;
    SetupWindow::State state = SetupWindow::State::Waiting;
    while ((state = window.poll()) == SetupWindow::State::Waiting) {
    }
    if (state != SetupWindow::State::Accepted) return false;
    choice = window.choice();
    return true;
}

}  // namespace zor
