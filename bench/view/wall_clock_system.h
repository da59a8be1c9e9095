#pragma once
// A window system with the wall clock and no messages: the preview runs as
// it would on a desktop with nobody at the keys.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace zor {

class WallClockSystem final : public WindowSystem {
public:
    bool createMainWindow(std::string_view) override { return true; }
    bool peekMessage(WindowMessage&) override { return false; }
    void postQuitMessage() override {}
    std::uint32_t milliseconds() override {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
    }
    void messageBox(std::string_view, std::string_view) override {}
    void* nativeWindow() const override { return nullptr; }
    const std::string& error() const override { return error_; }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
    std::string error_;
};

}  // namespace zor
