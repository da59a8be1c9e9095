#include "platform/browser/browser_window_system.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <iostream>

namespace zor {

namespace {

EM_JS(void, pageMessageBox, (const char* caption, const char* text), {
    if (Module.page && Module.page.messageBox) Module.page.messageBox(UTF8ToString(caption), UTF8ToString(text));
});

// Keys arrive wherever the focus is; every key becomes a KeyDown message with
// its virtual key code (the browser's key codes are the same numbers), and
// only Escape is kept from the page.
EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void* user) {
    auto* system = static_cast<BrowserWindowSystem*>(user);
    const int key = static_cast<int>(event->keyCode);
    system->post({MessageKind::KeyDown, key});
    return key == kVirtualKeyEscape ? EM_TRUE : EM_FALSE;
}

EM_BOOL onMouseDown(int, const EmscriptenMouseEvent* event, void* user) {
    auto* system = static_cast<BrowserWindowSystem*>(user);
    if (event->button == 0) system->post({MessageKind::LeftButtonDown, 0});
    else if (event->button == 2) system->post({MessageKind::RightButtonDown, 0});
    return EM_TRUE;
}

}  // namespace

BrowserWindowSystem::BrowserWindowSystem(std::string canvas) : canvas_(std::move(canvas)) {}

BrowserWindowSystem::~BrowserWindowSystem() { stopListening(); }

bool BrowserWindowSystem::createMainWindow(std::string_view) {
    // A new window has no messages: keys and clicks of the last play (an
    // Escape pressed again on the end panel) must not end the next one.
    queue_ = MessageQueue{};
    // Always anew: destroying a WebGL context on the canvas also drops every
    // event handler on it. The document's handler stays, though, and another
    // one beside it would post every key twice, so the last ones go first.
    stopListening();
    if (emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_TRUE, onKeyDown) !=
            EMSCRIPTEN_RESULT_SUCCESS ||
        emscripten_set_mousedown_callback(canvas_.c_str(), this, EM_TRUE, onMouseDown) !=
            EMSCRIPTEN_RESULT_SUCCESS) {
        error_ = "the page has no canvas " + canvas_ + " to play in";
        stopListening();
        return false;
    }
    return true;
}

void BrowserWindowSystem::stopListening() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, nullptr);
    emscripten_set_mousedown_callback(canvas_.c_str(), nullptr, EM_TRUE, nullptr);
}

bool BrowserWindowSystem::peekMessage(WindowMessage& message) { return queue_.take(message); }

std::uint32_t BrowserWindowSystem::milliseconds() {
    // The page's clock counts from the page's start; kept to 32 bits, it wraps
    // as the player's clock does.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(emscripten_get_now()));
}

void BrowserWindowSystem::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    pageMessageBox(std::string(caption).c_str(), std::string(text).c_str());
}

}  // namespace zor
