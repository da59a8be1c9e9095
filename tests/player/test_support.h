#pragma once
// Stand-ins shared by the player tests: slots and a display that log into
// the same call list as the recording music layers, so whole start-up
// sequences can be compared as one list.

#include <string>
#include <string_view>
#include <cstdlib>
#include <unistd.h>

#include <filesystem>

#include "app/player.h"
#include "frame/render_slots.h"
#include "scratch_dir.h"
#include "support/recording_music.h"

namespace zor::test {

class LoggingSlots final : public RenderSlots {
public:
    explicit LoggingSlots(CallLog& log) : log_(log) {}
    void beginFrame() override { log_.push_back("beginFrame"); }
    void endFrame() override { log_.push_back("endFrame"); }
    void beginScene() override {}
    void endScene() override {}
    void setTransparentPass(std::uint8_t) override {}
    void drawPolygon(SceneObject&, MeshPolygon&, const Viewport*, Scene&, std::uint16_t) override {}
    int loadTexture(std::string_view name) override {
        log_.push_back("loadTexture(" + std::string(name) + ")");
        return 0;
    }
    void drawSpotFlare(SceneLight&, const Viewport*) override {}
    void drawPointFlare(SceneLight&, const Viewport*) override {}
    void setDepthBias(int) override {}
    void setWorldTransform(const float*) override {}

private:
    CallLog& log_;
};

class LoggingDisplay final : public PlayerDisplay {
public:
    explicit LoggingDisplay(CallLog& log) : log_(log), slots(log) {}
    bool initDisplay(void* window) override {
        log_.push_back(std::string("initDisplay(") + (window ? "window" : "null") + ")");
        return initResult;
    }
    void loadLogo(std::string_view name) override { log_.push_back("loadLogo(" + std::string(name) + ")"); }
    RenderSlots* initRenderer(int mode) override {
        log_.push_back("initRenderer(" + std::to_string(mode) + ")");
        return giveSlots ? &slots : nullptr;
    }
    void clearTarget() override { log_.push_back("clearTarget"); }
    void blitLogo() override { log_.push_back("blitLogo"); }
    std::string failure() const override { return failureText; }
    bool setupCancelled() const override { return cancelled; }

    bool initResult = true;
    bool cancelled = false;
    std::string failureText;
    bool giveSlots = true;

private:
    CallLog& log_;

public:
    LoggingSlots slots;
};

// Headless SDL for the tests that use it: no screen, silent real-time audio.
inline void useHeadlessSdl() {
    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace zor::test
