#include "support/scripted_window_system.h"

#include <algorithm>

namespace zor {

bool ScriptedWindowSystem::createMainWindow(std::string_view title) {
    if (!failCreate_.empty()) {
        error_ = failCreate_;
        return false;
    }
    title_ = std::string(title);
    return true;
}

void ScriptedWindowSystem::scheduleMessage(std::uint32_t atMs, WindowMessage message) {
    scheduled_.emplace_back(atMs, message);
    std::stable_sort(scheduled_.begin(), scheduled_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool ScriptedWindowSystem::peekMessage(WindowMessage& message) {
    while (!scheduled_.empty() && scheduled_.front().first <= now_) {
        queue_.post(scheduled_.front().second);
        scheduled_.erase(scheduled_.begin());
    }
    if (!queue_.take(message)) return false;
    if (message.kind == MessageKind::Quit) ++quits_;
    return true;
}

std::uint32_t ScriptedWindowSystem::milliseconds() {
    const std::uint32_t reading = now_;
    now_ += step_;
    return reading;
}

void ScriptedWindowSystem::messageBox(std::string_view caption, std::string_view text) {
    boxes_.push_back({std::string(caption), std::string(text)});
    if (boxOutput_) writeMessageBoxLine(*boxOutput_, caption, text);
}

}  // namespace zor
