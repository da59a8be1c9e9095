#include "platform/preview_platform.h"
#include "platform/win32/gdi_text_painter.h"
#include "platform/win32/waveout_sound_device.h"
#include "platform/win32/win32_window_system.h"

namespace zor {

namespace {

class Win32PreviewPlatform final : public PreviewPlatform {
public:
    Win32PreviewPlatform(int width, int height) : system_(Win32WindowStyle{true, width, height}) {}

    WindowSystem& windowSystem() override { return system_; }
    std::string whyNoScreen() override { return {}; }  // Windows always has its desktop
    bool setFullScreen(bool on) override { return system_.setFullScreen(on); }
    SoundDevice& soundDevice() override { return sound_; }
    TextPainter& painter() override { return painter_; }
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }

private:
    Win32WindowSystem system_;
    WaveOutSoundDevice sound_;
    GdiTextPainter painter_;
};

}  // namespace

std::unique_ptr<PreviewPlatform> makePreviewPlatform(int width, int height) {
    return std::make_unique<Win32PreviewPlatform>(width, height);
}

}  // namespace zor
