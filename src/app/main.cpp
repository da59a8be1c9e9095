// zor: plays the scene "glorp2.lws" of the archive "zor.dat" in the current
// folder with the music "mp3.mp3", after a set-up window for the display
// adapter and mode. Escape, a mouse click or the scene's last frame ends it.

#include <cstring>
#include <iostream>
#include <new>

#include "app/command_line.h"
#include "app/device_display.h"
#include "app/player.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_gl_host.h"
#include "platform/sdl/sdl_music.h"
#include "platform/sdl/sdl_window_system.h"
#include "platform/stop_signals.h"
#include "render/gl_display_layer.h"

namespace {

constexpr const char* kUsage =
    "Usage: zor [-bass | -gaudio | -nosound]\n"
    "\n"
    "Plays the scene glorp2.lws from zor.dat in the current folder (a file of\n"
    "the same name beside it takes precedence) with the music mp3.mp3. A set-up\n"
    "window asks for the display adapter and mode first. Escape, a mouse click\n"
    "or the end of the scene ends it.\n"
    "\n"
    "The whole command line is compared as one text:\n"
    "  -bass      music through the first music layer (also for any other text)\n"
    "  -gaudio    music through the second music layer\n"
    "  -nosound   no music at all (for machines without a sound device)\n"
    "\n"
    "Without a screen, run it with SDL_VIDEODRIVER=offscreen: the set-up window's\n"
    "default choice is taken then. Without a sound card, run it with\n"
    "SDL_AUDIODRIVER=dummy or -nosound.\n"
    "\n"
    "--version prints the version. SIGINT and SIGTERM end it at once.\n";

}  // namespace

int main(int argc, char** argv) {
    // Before SDL starts, so that it leaves the two signals alone.
    zor::installStopSignals();
    const std::string commandLine = zor::joinArguments(argc, argv);
    if (commandLine == "--help" || commandLine == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (commandLine == "--version") {
        std::cout << "zor " ZOR_VERSION "\n";
        return 0;
    }
    try {
        zor::SdlWindowSystem system;
        zor::SdlBass bass;
        zor::SdlGaudio gaudio;
        zor::SdlDialog dialog;
        zor::GlDisplayLayer layer(std::make_unique<zor::SdlGlHost>(zor::GlDisplayOptions{}), {});
        zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, std::cerr));
        zor::PlayerParts parts{system, &bass, &gaudio, display, std::cerr};
        return zor::runPlayer(parts, commandLine);
    } catch (const std::bad_alloc&) {
        std::cerr << "OUT OF MEMORY!!!\n(Is that bad eh?)" << std::endl;
        return zor::kPlayerFailureStatus;
    }
}
