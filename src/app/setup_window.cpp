#include "app/setup_window.h"

#include <algorithm>
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
    const SetupChoice picked{dialog.getCurSel(kAdapterListId), dialog.getCurSel(kModeListId)};
    std::string refusal;
    if (!acceptableChoice(adapters, picked, refusal)) {
        dialog.messageBox(kRefusalCaption, refusal);
        return false;
    }
    choice = picked;
    return true;
}

}  // namespace

std::string modeText(const SetupMode& mode) {
    const char* format =
        mode.width < kMinimumModeWidth ? "%dx%dx%dBpp (Not supported)" : "%dx%dx%dBpp";
    char text[80];
    std::snprintf(text, sizeof text, format, static_cast<int>(mode.width), static_cast<int>(mode.height),
                  static_cast<int>(mode.bitsPerPixel));
    std::string result = text;
    if (mode.samples > 1) result += " " + std::to_string(mode.samples) + "x multisampled";
    return result;
}

bool acceptableChoice(const std::vector<SetupAdapter>& adapters, const SetupChoice& choice, std::string& refusal) {
    // An adapter without usable modes leaves nothing to take.
    if (!validPosition(choice.adapter, adapters.size()) ||
        !validPosition(choice.mode, adapters[choice.adapter].modes.size())) {
        refusal = "This videocard has no videomode to choose!";
        return false;
    }
    if (adapters[choice.adapter].modes[choice.mode].width < kMinimumModeWidth) {
        refusal = "This demo wants a resolution of at least 512x384!";
        return false;
    }
    return true;
}

int defaultAdapterPosition(const std::vector<SetupAdapter>& adapters) {
    // With several adapters the second one reported is offered first.
    if (adapters.empty()) return -1;
    return adapters.size() >= 2 ? 1 : 0;
}

int defaultModePosition(const SetupAdapter& adapter) {
    int position = -1;
    for (std::size_t k = 0; k < adapter.modes.size(); ++k)
        if (k == 0 || adapter.modes[k].height == 480) position = static_cast<int>(k);
    return position;
}

SetupChoice defaultSetupChoice(const std::vector<SetupAdapter>& adapters) {
    const int a = defaultAdapterPosition(adapters);
    return {a, a < 0 ? -1 : defaultModePosition(adapters[static_cast<std::size_t>(a)])};
}

void fillModeList(DialogWindow& dialog, const SetupAdapter& adapter) {
    for (const SetupMode& mode : adapter.modes) dialog.addString(kModeListId, modeText(mode));
    if (const int k = defaultModePosition(adapter); k >= 0) dialog.setCurSel(kModeListId, k);
}

bool SetupWindow::open() {
    const int x = dialog_.screenWidth() / 2 - kWindowWidth / 2;
    const int y = dialog_.screenHeight() / 2 - kWindowHeight / 2;
    if (!dialog_.create("Setup", x, y, kWindowWidth, kWindowHeight)) return false;
    for (const ControlSpec& spec : kControls) dialog_.addControl(spec);

    for (const SetupAdapter& adapter : adapters_) dialog_.addString(kAdapterListId, adapter.description);
    const int first = std::max(defaultAdapterPosition(adapters_), 0);
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
