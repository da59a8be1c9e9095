// zor on Linux: the player on SDL2 and OpenGL ES. runPlayerEntry does what
// every platform's entry does; this gives it standard output and error, and
// the SDL parts.

#include <iostream>

#include "app/device_display.h"
#include "app/player.h"
#include "app/player_entry.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_gl_host.h"
#include "platform/sdl/sdl_sound_device.h"
#include "platform/device_music.h"
#include "platform/sdl/sdl_window_system.h"
#include "render/gl_display_layer.h"
#include "system/stop_signals.h"
#include "system/text.h"

int main(int argc, char** argv) {
    const zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    // Before SDL starts, so that it leaves the two signals alone.
    zor::installStopSignals();
    zor::PlayerEntry entry;
    entry.show = [](std::string_view text) { std::cout << text << std::flush; };
    entry.fail = [](std::string_view text) { std::cerr << "zor: " << text << '\n' << std::flush; };
    entry.sampleDemo = zor::installedSampleDemo();
    entry.warnings = &std::cerr;
    entry.play = [](const zor::PlayerArguments& a, const std::string& title) {
        zor::SdlWindowSystem system;
        zor::SdlSoundDevice sound;
        zor::DeviceBass bass(sound);
        zor::DeviceGaudio gaudio(sound);
        zor::SdlDialog dialog;
        zor::GlDisplayOptions options;
        options.stretch = a.stretch;
        options.vsync = a.smooth;
        options.title = title;
        zor::GlDisplayLayer layer(std::make_unique<zor::SdlGlHost>(options), options);
        zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, std::cerr));
        zor::PlayerParts parts{system, &bass, &gaudio, display, std::cerr};
        parts.smooth = a.smooth;
        parts.title = title;
        return zor::runPlayer(parts, a.line);
    };
    const std::vector<std::string>& words = arguments.list();
    return zor::runPlayerEntry(std::vector<std::string>(words.begin() + (words.empty() ? 0 : 1), words.end()), entry);
}
