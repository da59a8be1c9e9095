// zor-win-probe: runs and watches the zor programs from inside Wine, for the
// tests in tests/windows. One command a run:
//
//   mode                  the primary display's mode now, "WxH"
//   decode FILE OUT       decodes an MP3 with the player's own decoder into
//                         OUT as 16-bit PCM; prints rate and channels
//   hold FILE SECONDS     opens FILE sharing it with no one, prints "held",
//                         and keeps it so for that long
//   drive [--hold FILE] [--box CAPTION] [--no-setup] [--end close] -- PROGRAM ARGS...
//                         starts the player as a user would and reports, one
//                         "name: value" line at a time:
//                           mode before, the sizes Windows offers
//                           ("offered"), the Setup window's lists ("adapter",
//                           "mode") and selections, then Return pressed;
//                           the main window's size ("window"), its title
//                           ("title") and the mode while it plays ("mode
//                           during"); when FILE is named, "shown" and a wait
//                           until FILE exists; then Escape (with --end
//                           close, Alt+F4 instead); "exit" (the status) and
//                           "mode after".
//                         With --box, a message box of that caption is
//                         waited for instead of the Setup window: "box"
//                         (its text), then its OK button is pressed.
//                         The Setup window's client size ("setup client",
//                         "WxH") and whether its controls lie inside it
//                         ("setup controls inside", yes or no) come with
//                         its lists. With --cancel escape or --cancel close,
//                         the Setup window is left by Escape or by Alt+F4
//                         instead of Return; then every message box that
//                         comes ("box", "CAPTION: TEXT") is answered.
//
// Keys go to the windows as the system's own key messages. Each wait lasts at
// most 60 s; a missing window ends the run with status 1.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/mp3_decoder.h"
#include "system/win32/text_win32.h"

namespace {

using zor::win32::narrow;
using zor::win32::widen;

template <class Found>
bool waitFor(Found found, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (found()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void report(const std::string& name, const std::string& value) {
    std::printf("%s: %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
}

std::string currentMode() {
    DEVMODEW current{};
    current.dmSize = sizeof current;
    if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &current)) return "unknown";
    return std::to_string(current.dmPelsWidth) + "x" + std::to_string(current.dmPelsHeight);
}

std::string listItem(HWND list, int index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return narrow(text);
}

void reportList(HWND window, int id, const std::string& name) {
    HWND list = GetDlgItem(window, id);
    const LRESULT count = list ? SendMessageW(list, CB_GETCOUNT, 0, 0) : 0;
    for (int i = 0; i < count; ++i) report(name, listItem(list, i));
    const LRESULT selected = list ? SendMessageW(list, CB_GETCURSEL, 0, 0) : CB_ERR;
    report(name + " selected", selected == CB_ERR ? "" : listItem(list, static_cast<int>(selected)));
}

void press(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

std::wstring quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return widen(argument);
    std::wstring out = L"\"";
    for (wchar_t c : widen(argument)) out += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
    return out + L"\"";
}

// The Setup window's client area, and whether every control lies inside it.
void reportSetupLayout(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    report("setup client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
    bool inside = true;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        inside = inside && r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom;
    }
    report("setup controls inside", inside ? "yes" : "no");
}

// Answers every message box the program shows until it ends: "box" with
// "CAPTION: TEXT" for each.
void answerBoxes(DWORD processId, HANDLE process) {
    while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        HWND found = nullptr;
        waitFor(
            [&] {
                found = nullptr;
                for (HWND w = FindWindowW(L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(w, &owner);
                    if (owner == processId && IsWindowVisible(w)) found = w;
                }
                return found != nullptr || WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
            },
            10);
        if (!found) return;
        wchar_t caption[256] = {}, text[4096] = {};
        GetWindowTextW(found, caption, 256);
        GetDlgItemTextW(found, 0xFFFF, text, 4096);
        report("box", narrow(caption) + ": " + narrow(text));
        PostMessageW(found, WM_COMMAND, IDOK, 0);
        Sleep(500);
    }
}

int drive(const std::vector<std::string>& options, const std::vector<std::string>& command) {
    std::string hold, box, cancel, end = "escape";
    bool setup = true;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] == "--hold" && i + 1 < options.size()) hold = options[++i];
        else if (options[i] == "--box" && i + 1 < options.size()) box = options[++i];
        else if (options[i] == "--cancel" && i + 1 < options.size()) cancel = options[++i];
        else if (options[i] == "--end" && i + 1 < options.size()) end = options[++i];
        else if (options[i] == "--no-setup") setup = false;
        else return 2;
    }
    report("mode before", currentMode());
    // The sizes Windows offers, each once.
    std::vector<std::string> offered;
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    for (DWORD k = 0; EnumDisplaySettingsW(nullptr, k, &mode); ++k, mode.dmSize = sizeof mode) {
        const std::string size = std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight);
        if (mode.dmBitsPerPel >= 15 && std::find(offered.begin(), offered.end(), size) == offered.end()) {
            offered.push_back(size);
            report("offered", size);
        }
    }
    std::wstring line;
    for (const std::string& word : command) line += (line.empty() ? L"" : L" ") + quoted(word);
    // The program writes where the probe writes.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle && handle != INVALID_HANDLE_VALUE) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        report("error", "cannot start " + command[0] + ": " + zor::win32::errorText(GetLastError()));
        return 1;
    }
    CloseHandle(process.hThread);
    const auto running = [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; };
    int status = 0;

    if (!box.empty()) {
        HWND found = nullptr;
        if (waitFor([&] { return (found = FindWindowW(L"#32770", widen(box).c_str())) != nullptr || !running(); }) &&
            found) {
            wchar_t text[4096] = {};
            GetDlgItemTextW(found, 0xFFFF, text, 4096);  // the box's message
            report("box", narrow(text));
            PostMessageW(found, WM_COMMAND, IDOK, 0);
        } else {
            report("error", "no message box \"" + box + "\"");
            status = 1;
        }
    } else {
        HWND window = nullptr;
        if (setup) {
            if (waitFor([&] {
                    window = FindWindowW(L"DXsetup box", L"Setup");
                    return (window && SendDlgItemMessageW(window, 2049, CB_GETCOUNT, 0, 0) > 0) || !running();
                }) && window) {
                reportList(window, 2048, "adapter");
                reportList(window, 2049, "mode");
                reportSetupLayout(window);
                if (cancel == "escape") press(window, VK_ESCAPE);
                else if (cancel == "close") PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
                else press(window, VK_RETURN);
                if (!cancel.empty()) answerBoxes(process.dwProcessId, process.hProcess);
            } else {
                report("error", "no Setup window");
                status = 1;
            }
        }
        HWND main = nullptr;
        RECT client{};
        if (cancel.empty() && status == 0 && waitFor([&] {
                main = FindWindowW(L"D3Dwin", nullptr);
                return (main && IsWindowVisible(main) && GetClientRect(main, &client) && client.right > 16) ||
                       !running();
            }) && main && running()) {
            report("window", std::to_string(client.right) + "x" + std::to_string(client.bottom));
            wchar_t title[512] = {};
            GetWindowTextW(main, title, 512);
            report("title", narrow(title));
            report("mode during", currentMode());
            if (!hold.empty()) {
                report("shown", "yes");
                waitFor([&] { return std::filesystem::exists(widen(hold)) || !running(); }, 240);
            } else {
                Sleep(2000);
            }
            if (end == "close") PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
            else press(main, VK_ESCAPE);
        } else if (cancel.empty() && status == 0) {
            report("error", "no main window");
            status = 1;
        }
    }
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        report("error", "still running");
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
        status = 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    report("exit", std::to_string(code));
    report("mode after", currentMode());
    return status;
}

// Opens the file as a program that shares it with no one (_SH_DENYRW: no
// other reader or writer) and keeps it open.
int hold(const std::string& file, int seconds) {
    int fd = -1;
    if (_wsopen_s(&fd, widen(file).c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW, 0) != 0) return 1;
    report("held", file);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    _close(fd);
    return 0;
}

int decode(const std::string& file, const std::string& out) {
    zor::Pcm pcm;
    std::string error;
    if (!zor::readMp3File(file, pcm, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::ofstream(std::filesystem::path(widen(out)), std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.samples.data()), static_cast<std::streamsize>(pcm.samples.size() * 2));
    std::printf("%d %d\n", pcm.rate, pcm.channels);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> a;
    for (int i = 1; i < argc; ++i) a.push_back(narrow(argv[i]));
    if (a.size() == 1 && a[0] == "mode") {
        std::printf("%s\n", currentMode().c_str());
        return 0;
    }
    if (a.size() == 3 && a[0] == "decode") return decode(a[1], a[2]);
    if (a.size() == 3 && a[0] == "hold") return hold(a[1], std::atoi(a[2].c_str()));
    if (!a.empty() && a[0] == "drive") {
        std::size_t split = 1;
        while (split < a.size() && a[split] != "--") ++split;
        if (split + 1 < a.size()) {
            return drive(std::vector<std::string>(a.begin() + 1, a.begin() + static_cast<std::ptrdiff_t>(split)),
                         std::vector<std::string>(a.begin() + static_cast<std::ptrdiff_t>(split) + 1, a.end()));
        }
    }
    std::fprintf(stderr,
                 "usage: zor-win-probe mode | decode FILE OUT | hold FILE SECONDS |\n"
                 "       drive [--hold FILE] [--box CAPTION] [--cancel escape|close] [--no-setup] [--end close] --\n"
                 "             PROGRAM ARGS...\n");
    return 2;
}
