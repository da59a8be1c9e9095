// zor.exe: the player on Windows. runPlayerEntry does what every platform's
// entry does; this gives it the console and message boxes, the folder of
// zor.exe (started from Explorer, the Start menu or a folder with nothing to
// play, it plays the demo beside it), and the Windows parts.
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
#include "app/player_entry.h"
#include "platform/device_music.h"
#include "system/process.h"
#include "system/stop_signals.h"
#include "system/text.h"
#include "platform/win32/wgl_host.h"
#include "system/win32/console_win32.h"
#include "platform/win32/win32_dialog.h"
#include "platform/win32/waveout_sound_device.h"
#include "system/win32/text_win32.h"
#include "platform/win32/win32_window_system.h"
#include "render/gl_display_layer.h"

namespace {

namespace fs = std::filesystem;

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

void showFailure(const std::string& text) {
    MessageBoxW(nullptr, zor::win32::widen(text).c_str(), zor::win32::widen(kFailureCaption).c_str(),
                MB_OK | MB_ICONERROR);
}

int play(const zor::PlayerArguments& arguments, const std::string& title, std::ostream& errors) {
    zor::Win32WindowSystem system;
    zor::WaveOutSoundDevice sound;
    zor::DeviceBass bass(sound);
    zor::DeviceGaudio gaudio(sound);
    zor::Win32Dialog dialog;
    zor::GlDisplayOptions options;
    options.stretch = arguments.stretch;
    options.vsync = arguments.smooth;
    options.title = title;
    zor::GlDisplayLayer layer(std::make_unique<zor::WglHost>(options), options);
    zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, errors));
    zor::PlayerParts parts{system, &bass, &gaudio, display, errors};
    parts.smooth = arguments.smooth;
    parts.title = title;
    return zor::runPlayer(parts, arguments.line);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    zor::win32::attachToParentConsole();
    const zor::ProgramArguments arguments = zor::startProgram(0, nullptr);
    zor::installStopSignals();
    const bool output = zor::win32::hasStandardOutput();
    const bool console = zor::win32::standardErrorIsConsole();

    // Standard error, with a copy of what was written for the box a failure
    // shows where no one reads standard error.
    CopyingBuffer copy(std::cerr);
    std::ostream errors(&copy);
    zor::PlayerEntry entry;
    entry.show = [output](std::string_view text) {
        std::cout << text << std::flush;
        if (!output) MessageBoxW(nullptr, zor::win32::widen(text).c_str(), L"zor", MB_OK);
    };
    entry.fail = [console](std::string_view text) {
        std::cerr << "zor: " << text << '\n' << std::flush;
        if (!console) showFailure(std::string(text));
    };
    entry.fallbackFolder = zor::programFolder();
    entry.warnings = &errors;
    entry.play = [&](const zor::PlayerArguments& a, const std::string& title) {
        const int status = play(a, title, errors);
        errors.flush();
        if (status != 0 && !console && !copy.str().empty()) showFailure(copy.str());
        return status;
    };
    const std::vector<std::string>& words = arguments.list();
    return zor::runPlayerEntry(std::vector<std::string>(words.begin() + (words.empty() ? 0 : 1), words.end()), entry);
}
