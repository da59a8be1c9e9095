// zor: plays the scene "glorp2.lws" of the archive "zor.dat" in the current
// folder (or the folder of a leading --dir DIR) with the music "mp3.mp3",
// after a set-up window for the display adapter and mode. Escape, a mouse
// click or the scene's last frame ends it.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>

#include "app/command_line.h"
#include "app/device_display.h"
#include "app/player.h"
#include "archive/archive.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_gl_host.h"
#include "platform/sdl/sdl_music.h"
#include "platform/sdl/sdl_window_system.h"
#include "platform/stop_signals.h"
#include "render/gl_display_layer.h"

namespace {

constexpr const char* kUsage =
    "Usage: zor [--dir DIR] [-smooth] [--stretch] [-bass | -gaudio | -nosound]\n"
    "\n"
    "Plays the scene glorp2.lws from zor.dat in the current folder (a file of\n"
    "the same name beside it takes precedence) with the music mp3.mp3. A set-up\n"
    "window asks for the display adapter and mode first. Escape, a mouse click\n"
    "or the end of the scene ends it.\n"
    "\n"
    "  --dir DIR  play in the folder DIR instead of the current one; it comes\n"
    "             first and is taken off before the comparison below\n"
    "  -smooth    smooth motion: every pass shows the clock's own moment, not\n"
    "             the whole frame it falls in, at the display's refresh\n"
    "  --stretch  spread the view over the whole of a display mode that is not\n"
    "             4:3 (by default it keeps its shape between black bars)\n"
    "The set-up window also offers 32-bit modes (8 bits a colour) and 32-bit\n"
    "modes with 4x multisampling beside the original 15- and 16-bit ones.\n"
    "\n"
    "The whole rest of the command line is compared as one text:\n"
    "  -bass      music through the first music layer (also for any other text)\n"
    "  -gaudio    music through the second music layer\n"
    "  -nosound   no music at all (for machines without a sound device)\n"
    "\n"
    "Without a screen, run it with SDL_VIDEODRIVER=offscreen: the set-up window's\n"
    "default choice is taken then. Without a sound card, run it with\n"
    "SDL_AUDIODRIVER=dummy or -nosound.\n"
    "\n"
    "--version prints the version. SIGINT and SIGTERM end it at once.\n"
    "Exit status: 0 when it ends normally, 1 on failure, 2 on a usage error.\n";

namespace fs = std::filesystem;

// The sample demo installed beside this program (PREFIX/share/zor/demo for
// PREFIX/bin/zor), or empty when there is none.
fs::path installedDemo() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const fs::path demo = self.parent_path().parent_path() / "share" / "zor" / "demo";
    return fs::is_regular_file(demo / zor::kArchiveFileName, ec) ? demo : fs::path();
}

// Says why there is nothing to play here and where something is. A folder
// with neither the archive nor the scene would otherwise bring up the set-up
// window only to fail after it.
int nothingToPlay(const std::string& folder) {
    std::cerr << "zor: nothing to play in " << folder << ": no " << zor::kArchiveFileName << " (and no "
              << zor::kSceneFileName << ") there\n";
    const fs::path demo = installedDemo();
    if (!demo.empty()) {
        std::cerr << "zor: the sample demo plays with: zor --dir " << demo.string() << "\n";
    } else {
        std::cerr << "zor: make the sample demo with: zor-demo-gen --out DIR, then play it with: zor --dir DIR\n";
    }
    return zor::kPlayerFailureStatus;
}

}  // namespace

int main(int argc, char** argv) {
    // Before SDL starts, so that it leaves the two signals alone.
    zor::installStopSignals();
    const zor::PlayerArguments arguments = zor::parsePlayerArguments(argc, argv);
    if (arguments.folderMissing) {
        std::cerr << "zor: --dir wants the folder to play in\nRun with --help for more information.\n";
        return 2;
    }
    const std::string& commandLine = arguments.line;
    if (commandLine == "--help" || commandLine == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (commandLine == "--version") {
        std::cout << "zor " ZOR_VERSION "\n";
        return 0;
    }
    std::string folder = "the current folder";
    if (arguments.folder) {
        folder = *arguments.folder;
        if (::chdir(folder.c_str()) != 0) {
            std::cerr << "zor: --dir " << folder << ": " << std::strerror(errno) << '\n';
            return zor::kPlayerFailureStatus;
        }
    }
    std::error_code ec;
    if (!fs::exists(zor::kArchiveFileName, ec) && !zor::findIgnoringCase(".", zor::kSceneFileName))
        return nothingToPlay(folder);
    try {
        zor::SdlWindowSystem system;
        zor::SdlBass bass;
        zor::SdlGaudio gaudio;
        zor::SdlDialog dialog;
        zor::GlDisplayOptions options;
        options.stretch = arguments.stretch;
        options.vsync = arguments.smooth;
        zor::GlDisplayLayer layer(std::make_unique<zor::SdlGlHost>(options), options);
        zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, std::cerr));
        zor::PlayerParts parts{system, &bass, &gaudio, display, std::cerr};
        parts.smooth = arguments.smooth;
        return zor::runPlayer(parts, commandLine);
    } catch (const std::bad_alloc&) {
        std::cerr << "OUT OF MEMORY!!!\n(Is that bad eh?)" << std::endl;
        return zor::kPlayerFailureStatus;
    }
}
