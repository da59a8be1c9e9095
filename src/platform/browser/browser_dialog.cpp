#include "platform/browser/browser_dialog.h"

#include <emscripten.h>

#include <iostream>

// The page reports a control's notification for the dialog at `dialog`.
extern "C" EMSCRIPTEN_KEEPALIVE void zor_dialog_event(zor::BrowserDialog* dialog, int id, int notification) {
    if (dialog) dialog->post({zor::DialogEventKind::Command, id, notification});
}

namespace zor {

namespace {

EM_JS(int, pageDialogCreate, (zor::BrowserDialog * dialog, const char* title, int x, int y, int width, int height), {
    const d = Module.page && Module.page.dialog;
    if (!d) return 0;
    d.create(UTF8ToString(title), x, y, width, height,
             (id, notification) => Module._zor_dialog_event(dialog, id, notification));
    return 1;
});

EM_JS(void, pageDialogAddControl, (int kind, const char* text, int x, int y, int width, int height, int id), {
    Module.page.dialog.addControl(["button", "label", "list"][kind], UTF8ToString(text), x, y, width, height, id);
});

EM_JS(void, pageDialogAddString, (int id, const char* text), {
    Module.page.dialog.addString(id, UTF8ToString(text));
});

EM_JS(void, pageDialogSetCurSel, (int id, int index), { Module.page.dialog.setCurSel(id, index); });

EM_JS(int, pageDialogGetCurSel, (int id), { return Module.page.dialog.getCurSel(id); });

EM_JS(void, pageDialogResetContent, (int id), { Module.page.dialog.resetContent(id); });

EM_JS(void, pageDialogMessageBox, (const char* caption, const char* text), {
    Module.page.dialog.messageBox(UTF8ToString(caption), UTF8ToString(text));
});

EM_JS(void, pageDialogDestroy, (), {
    if (Module.page && Module.page.dialog) Module.page.dialog.destroy();
});

EM_JS(int, pageWidth, (), { return window.innerWidth; });
EM_JS(int, pageHeight, (), { return window.innerHeight; });

int kindNumber(ControlKind kind) {
    switch (kind) {
    case ControlKind::Button: return 0;
    case ControlKind::Label: return 1;
    case ControlKind::DropDownList: return 2;
    }
    return 1;
}

}  // namespace

BrowserDialog::BrowserDialog() = default;

BrowserDialog::~BrowserDialog() { destroy(); }

int BrowserDialog::screenWidth() { return pageWidth(); }

int BrowserDialog::screenHeight() { return pageHeight(); }

bool BrowserDialog::create(std::string_view title, int x, int y, int width, int height) {
    events_.clear();
    if (!pageDialogCreate(this, std::string(title).c_str(), x, y, width, height)) {
        error_ = "the page has no panel for the set-up window";
        return false;
    }
    created_ = true;
    return true;
}

void BrowserDialog::addControl(const ControlSpec& spec) {
    if (created_)
        pageDialogAddControl(kindNumber(spec.kind), spec.text.c_str(), spec.x, spec.y, spec.width, spec.height, spec.id);
}

void BrowserDialog::addString(int id, std::string_view text) {
    if (created_) pageDialogAddString(id, std::string(text).c_str());
}

void BrowserDialog::setCurSel(int id, int index) {
    if (created_) pageDialogSetCurSel(id, index);
}

int BrowserDialog::getCurSel(int id) const { return created_ ? pageDialogGetCurSel(id) : kNoSelection; }

void BrowserDialog::resetContent(int id) {
    if (created_) pageDialogResetContent(id);
}

bool BrowserDialog::peekEvent(DialogEvent& event) {
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void BrowserDialog::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    if (created_) pageDialogMessageBox(std::string(caption).c_str(), std::string(text).c_str());
}

void BrowserDialog::destroy() {
    if (created_) pageDialogDestroy();
    created_ = false;
}

void BrowserDialog::post(const DialogEvent& event) {
    events_.push_back(event);
    if (onEvent) onEvent();
}

}  // namespace zor
