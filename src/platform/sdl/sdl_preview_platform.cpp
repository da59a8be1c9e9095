#include <SDL2/SDL.h>

#include "platform/preview_platform.h"
#include "platform/sdl/sdl_sound_device.h"
#include "platform/sdl/sdl_text_painter.h"
#include "platform/sdl/sdl_window_system.h"

namespace zor {

namespace {

class SdlPreviewPlatform final : public PreviewPlatform {
public:
    SdlPreviewPlatform(int width, int height) : system_(SdlWindowStyle{true, width, height}) {}

    WindowSystem& windowSystem() override { return system_; }
    std::string whyNoScreen() override {
        if (displayCanShowBoxes()) return {};
        const char* driver = SDL_GetCurrentVideoDriver();
        return std::string("no screen to show the window on (SDL video driver \"") + (driver ? driver : "none") +
               "\"); set DISPLAY, or use zor-render for pictures without one";
    }
    bool setFullScreen(bool on) override { return system_.setFullScreen(on); }
    SoundDevice& soundDevice() override { return sound_; }
    TextPainter& painter() override { return painter_; }
    void sleep(std::uint32_t milliseconds) override { SDL_Delay(milliseconds); }

private:
    SdlWindowSystem system_;
    SdlSoundDevice sound_;
    SdlTextPainter painter_;
};

}  // namespace

std::unique_ptr<PreviewPlatform> makePreviewPlatform(int width, int height) {
    return std::make_unique<SdlPreviewPlatform>(width, height);
}

}  // namespace zor
