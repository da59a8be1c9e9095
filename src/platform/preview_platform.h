#pragma once
// What zor-view needs of the system it is built for: an ordinary resizable
// window of the picture's size that can go full screen and back, the sound
// device its music plays through (the gaudio-like layer of device_music.h
// goes on it), a painter for its status line, and a short wait. SDL2 on
// Linux (sdl/sdl_preview_platform.cpp), Windows' own window, waveOut and GDI
// on Windows (win32/win32_preview_platform.cpp); linked through
// zor_platform_native.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sound_device.h"
#include "platform/text_painter.h"
#include "platform/window_system.h"

namespace zor {

class PreviewPlatform {
public:
    virtual ~PreviewPlatform() = default;
    // The window system; its main window is the preview's window.
    virtual WindowSystem& windowSystem() = 0;
    // Empty when a window can be seen; else why not (no screen at all).
    virtual std::string whyNoScreen() = 0;
    // The window over its whole screen (true) or back to its own size.
    virtual bool setFullScreen(bool on) = 0;
    virtual SoundDevice& soundDevice() = 0;
    virtual TextPainter& painter() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

std::unique_ptr<PreviewPlatform> makePreviewPlatform(int width, int height);

}  // namespace zor
