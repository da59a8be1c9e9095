// zor.exe: the player on Windows. It plays the scene "glorp2.lws" of the
// archive "zor.dat" in the current folder (or the folder of a leading
// --dir DIR) with the music "mp3.mp3", after the set-up window for the
// display adapter and mode; Escape, a mouse click or the scene's last frame
// ends it. Started from Explorer, the Start menu or a folder with nothing to
// play, it plays the demo beside zor.exe.
//
// A windows-subsystem program has no console of its own: started from one,
// it writes to it. A failure that ends it is shown in a message box as well
// as on standard error unless standard error is a console, where it is read.

#include <windows.h>

#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>

#include "app/command_line.h"
#include "app/device_display.h"
#include "app/player.h"
#include "archive/archive.h"
#include "archive/system_files.h"
#include "platform/stop_signals.h"
#include "platform/win32/wgl_host.h"
#include "platform/win32/win32_console.h"
#include "platform/win32/win32_dialog.h"
#include "platform/win32/win32_music.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window_system.h"
#include "render/gl_display_layer.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: zor [--dir DIR] [-smooth] [--stretch] [-bass | -gaudio | -nosound]\n"
    "\n"
    "Plays the scene glorp2.lws from zor.dat in the current folder (a file of\n"
    "the same name beside it takes precedence) with the music mp3.mp3; when\n"
    "the current folder has neither, the folder of zor.exe. A set-up window\n"
    "asks for the display adapter and mode first. Escape, a mouse click or the\n"
    "end of the scene ends it.\n"
    "\n"
    "  --dir DIR  play in the folder DIR instead; it comes first and is taken\n"
    "             off before the comparison below\n"
    "  -smooth    smooth motion: every pass shows the clock's own moment, not\n"
    "             the whole frame it falls in, at the display's refresh\n"
    "  --stretch  spread the view over the whole of a display mode that is not\n"
    "             4:3 (by default it keeps its shape between black bars)\n"
    "The set-up window also offers 32-bit modes (8 bits a colour) and 32-bit\n"
    "modes with 4x multisampling beside the original 15- and 16-bit ones.\n"
    "\n"
    "The whole rest of the command line is compared as one text:\n"
    "  -bass      music through waveOut (also for any other text)\n"
    "  -gaudio    music through DirectSound\n"
    "  -nosound   no music at all\n"
    "Without a sound device the music is left out and standard error says so.\n"
    "\n"
    "--version prints the version. Ctrl-C in the console it was started from\n"
    "ends it at once.\n"
    "Exit status: 0 when it ends normally, 1 on failure, 2 on a usage error.\n";

constexpr const char* kFailureCaption = "ERROR!";

// Standard error, and a copy of what was written for the box a failure
// shows where no one reads standard error.
class CopyingBuffer final : public std::stringbuf {
public:
    explicit CopyingBuffer(std::ostream& out) : out_(out) {}

protected:
    int sync() override {
        out_ << str().substr(shown_);
        out_.flush();
        shown_ = str().size();
        return 0;
    }

private:
    std::ostream& out_;
    std::size_t shown_ = 0;
};

bool hasPlayableData(const fs::path& folder) {
    zor::DataSource source;
    source.directory = folder;
    return zor::dataFileOnDisk(source, zor::kArchiveFileName) || zor::dataFileOnDisk(source, zor::kSceneFileName);
}

fs::path programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return fs::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

bool enterFolder(const fs::path& folder, std::string& why) {
    if (SetCurrentDirectoryW(folder.c_str())) return true;
    why = zor::win32::errorText(GetLastError());
    return false;
}

void showFailure(const std::string& text) {
    MessageBoxW(nullptr, zor::win32::widen(text).c_str(), zor::win32::widen(kFailureCaption).c_str(),
                MB_OK | MB_ICONERROR);
}

int play(const zor::PlayerArguments& arguments, std::ostream& errors) {
    zor::Win32WindowSystem system;
    zor::Win32Bass bass;
    zor::Win32Gaudio gaudio;
    zor::Win32Dialog dialog;
    zor::GlDisplayOptions options;
    options.stretch = arguments.stretch;
    options.vsync = arguments.smooth;
    zor::GlDisplayLayer layer(std::make_unique<zor::WglHost>(options), options);
    zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, errors));
    zor::PlayerParts parts{system, &bass, &gaudio, display, errors};
    parts.smooth = arguments.smooth;
    return zor::runPlayer(parts, arguments.line);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    zor::win32::attachToParentConsole();
    zor::win32::useUtf8Console();
    zor::installStopSignals();
    const bool output = zor::win32::hasStandardOutput();
    const bool console = zor::win32::standardErrorIsConsole();

    std::vector<std::string> words = zor::win32::utf8Arguments();
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const zor::PlayerArguments arguments = zor::parsePlayerArguments(static_cast<int>(argv.size()), argv.data());
    if (arguments.folderMissing) {
        const std::string text = "--dir wants the folder to play in\nRun with --help for more information.";
        std::cerr << "zor: " << text << '\n';
        if (!console) showFailure(text);
        return 2;
    }
    if (arguments.line == "--help" || arguments.line == "-h" || arguments.line == "/?") {
        std::cout << kUsage;
        std::cout.flush();
        if (!output) MessageBoxW(nullptr, zor::win32::widen(kUsage).c_str(), L"zor", MB_OK);
        return 0;
    }
    if (arguments.line == "--version") {
        std::cout << "zor " ZOR_VERSION "\n";
        std::cout.flush();
        if (!output) MessageBoxW(nullptr, L"zor " ZOR_VERSION, L"zor", MB_OK);
        return 0;
    }

    std::string why;
    if (arguments.folder) {
        if (!enterFolder(fs::path(*arguments.folder), why)) {
            const std::string text = "--dir " + *arguments.folder + ": " + why;
            std::cerr << "zor: " << text << '\n';
            if (!console) showFailure(text);
            return zor::kPlayerFailureStatus;
        }
    } else if (!hasPlayableData(".")) {
        // Started from somewhere else (a shortcut, another folder): the demo
        // beside the program.
        const fs::path own = programFolder();
        if (!own.empty() && hasPlayableData(own)) enterFolder(own, why);
    }
    if (!hasPlayableData(".")) {
        std::error_code ec;
        const std::string folder = fs::current_path(ec).string();
        const std::string text = std::string("nothing to play in ") + folder + ": no " + zor::kArchiveFileName +
                                 " (and no " + zor::kSceneFileName + ") there";
        std::cerr << "zor: " << text << '\n';
        std::cerr.flush();
        if (!console) showFailure(text);
        return zor::kPlayerFailureStatus;
    }

    CopyingBuffer copy(std::cerr);
    std::ostream errors(&copy);
    int status = zor::kPlayerFailureStatus;
    try {
        status = play(arguments, errors);
    } catch (const std::bad_alloc&) {
        std::cerr << "OUT OF MEMORY!!!\n(Is that bad eh?)" << std::endl;
        return zor::kPlayerFailureStatus;
    }
    errors.flush();
    if (status != 0 && !console && !copy.str().empty()) showFailure(copy.str());
    return status;
}
