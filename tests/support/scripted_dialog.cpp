#include "support/scripted_dialog.h"

#include "platform/window_system.h"

namespace zor {

void ScriptedDialog::pick(int id, int index) { script_.push_back({Step::Pick, id, index}); }
void ScriptedDialog::press(int id) { script_.push_back({Step::Press, id, 0}); }
void ScriptedDialog::quit() { script_.push_back({Step::Quit, 0, 0}); }
void ScriptedDialog::idle() { script_.push_back({Step::Idle, 0, 0}); }

bool ScriptedDialog::create(std::string_view title, int x, int y, int width, int height) {
    title_ = std::string(title);
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
    created_ = true;
    return true;
}

void ScriptedDialog::addString(int id, std::string_view text) {
    if (DialogControl* control = controls_.find(id)) control->items.emplace_back(text);
}

void ScriptedDialog::setCurSel(int id, int index) {
    if (DialogControl* control = controls_.find(id)) {
        const bool inside = index >= 0 && static_cast<std::size_t>(index) < control->items.size();
        control->selected = inside ? index : kNoSelection;
    }
}

int ScriptedDialog::getCurSel(int id) const {
    const DialogControl* control = controls_.find(id);
    return control ? control->selected : kNoSelection;
}

void ScriptedDialog::resetContent(int id) {
    if (DialogControl* control = controls_.find(id)) {
        control->items.clear();
        control->selected = kNoSelection;
        ++resets_;
    }
}

bool ScriptedDialog::peekEvent(DialogEvent& event) {
    if (script_.empty()) {
        event = {DialogEventKind::Quit, 0, 0};
        return true;
    }
    const Step step = script_.front();
    script_.pop_front();
    switch (step.kind) {
    case Step::Pick:
        // A user can only pick what the list shows.
        if (DialogControl* control = controls_.find(step.id);
            control && step.index >= 0 && static_cast<std::size_t>(step.index) < control->items.size()) {
            control->selected = step.index;
            event = {DialogEventKind::Command, step.id, kSelectionChanged};
            return true;
        }
        return false;
    case Step::Press:
        event = {DialogEventKind::Command, step.id, kButtonClicked};
        return true;
    case Step::Quit:
        event = {DialogEventKind::Quit, 0, 0};
        return true;
    case Step::Idle:
        return false;
    }
    return false;
}

void ScriptedDialog::messageBox(std::string_view caption, std::string_view text) {
    boxes_.push_back({std::string(caption), std::string(text)});
    if (boxOutput_) writeMessageBoxLine(*boxOutput_, caption, text);
}

}  // namespace zor
