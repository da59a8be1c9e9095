#pragma once
// A window system for tests and headless runs: no window, messages the test
// queues (at once or from a given clock reading on), a clock the test sets or
// lets advance by a fixed step per reading, and message boxes kept in a list.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/window_system.h"

namespace zor {

class ScriptedWindowSystem final : public WindowSystem {
public:
    struct Box {
        std::string caption;
        std::string text;
    };

    // Message boxes are also written to `boxOutput` (none: not written).
    explicit ScriptedWindowSystem(std::ostream* boxOutput = nullptr) : boxOutput_(boxOutput) {}

    bool createMainWindow(std::string_view title) override;
    bool peekMessage(WindowMessage& message) override;
    void postQuitMessage() override { queue_.post({MessageKind::Quit, 0}); }
    // Each reading returns the current time, then advances it by the step.
    std::uint32_t milliseconds() override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void* nativeWindow() const override { return nullptr; }
    const std::string& error() const override { return error_; }

    void setTime(std::uint32_t ms) { now_ = ms; }
    std::uint32_t time() const { return now_; }
    void setStepPerReading(std::uint32_t ms) { step_ = ms; }
    // Delivered as soon as the clock has reached `atMs`.
    void scheduleMessage(std::uint32_t atMs, WindowMessage message);
    void postMessage(WindowMessage message) { queue_.post(message); }
    void failWindowCreation(std::string reason) { failCreate_ = std::move(reason); }

    const std::vector<Box>& boxes() const { return boxes_; }
    const std::string& windowTitle() const { return title_; }
    int quitMessagesTaken() const { return quits_; }

private:
    std::ostream* boxOutput_;
    MessageQueue queue_;
    std::vector<std::pair<std::uint32_t, WindowMessage>> scheduled_;
    std::vector<Box> boxes_;
    std::uint32_t now_ = 0;
    std::uint32_t step_ = 0;
    std::string title_;
    std::string failCreate_;
    std::string error_;
    int quits_ = 0;
};

}  // namespace zor
