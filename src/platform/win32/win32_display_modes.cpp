#include "platform/win32/win32_display_modes.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cwchar>
#include <exception>

#include "system/win32/text_win32.h"

namespace zor::win32 {

namespace {

// The displays whose mode was changed; plain arrays, so that the crash
// filter and the console handler need no allocation.
constexpr int kMostDisplays = 16;
wchar_t changed[kMostDisplays][CCHDEVICENAME] = {};
std::atomic<int> changedCount{0};
std::atomic<bool> guardsInstalled{false};
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
std::terminate_handler previousTerminate = nullptr;

LONG WINAPI onCrash(EXCEPTION_POINTERS* exception) {
    restoreDisplayModes();
    return previousFilter ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

BOOL WINAPI onConsoleEvent(DWORD) {
    restoreDisplayModes();
    return FALSE;  // the next handler (the stop signals') ends the program
}

void onTerminate() {
    restoreDisplayModes();
    if (previousTerminate) previousTerminate();
    std::abort();
}

extern "C" void onAbort(int) { restoreDisplayModes(); }

void onExit() { restoreDisplayModes(); }

void installGuards() {
    if (guardsInstalled.exchange(true)) return;
    std::atexit(onExit);
    previousFilter = SetUnhandledExceptionFilter(onCrash);
    previousTerminate = std::set_terminate(onTerminate);
    std::signal(SIGABRT, onAbort);
    // Handlers are called last installed first: this one runs before the
    // stop signals' handler ends the program.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool sameSize(const DEVMODEW& mode, int width, int height) {
    return static_cast<int>(mode.dmPelsWidth) == width && static_cast<int>(mode.dmPelsHeight) == height;
}

}  // namespace

std::vector<DisplayDevice> displayDevices() {
    std::vector<DisplayDevice> list;
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    for (DWORD i = 0; EnumDisplayDevicesW(nullptr, i, &device, 0); ++i, device.cb = sizeof device) {
        if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) continue;
        DisplayDevice display;
        display.deviceName = device.DeviceName;
        display.description = narrow(device.DeviceString);
        if (display.description.empty()) display.description = narrow(device.DeviceName);
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        for (DWORD k = 0; EnumDisplaySettingsW(device.DeviceName, k, &mode); ++k, mode.dmSize = sizeof mode) {
            if (mode.dmBitsPerPel < 15 || mode.dmPelsWidth == 0 || mode.dmPelsHeight == 0) continue;
            const std::pair<int, int> size{static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight)};
            if (std::find(display.sizes.begin(), display.sizes.end(), size) == display.sizes.end())
                display.sizes.push_back(size);
        }
        displayBounds(display.deviceName, display.left, display.top, display.width, display.height);
        if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) {
            list.insert(list.begin(), std::move(display));
        } else {
            list.push_back(std::move(display));
        }
    }
    return list;
}

void displayBounds(const std::wstring& deviceName, int& left, int& top, int& width, int& height) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsW(deviceName.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
        left = mode.dmPosition.x;
        top = mode.dmPosition.y;
        width = static_cast<int>(mode.dmPelsWidth);
        height = static_cast<int>(mode.dmPelsHeight);
    } else {
        left = top = 0;
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
}

bool changeDisplayMode(const std::wstring& deviceName, int width, int height, std::string& why) {
    DEVMODEW current{};
    current.dmSize = sizeof current;
    if (!EnumDisplaySettingsW(deviceName.c_str(), ENUM_CURRENT_SETTINGS, &current)) {
        why = "Windows does not tell the display's current mode";
        return false;
    }
    if (sameSize(current, width, height)) return true;
    // The offered modes of that size, the current colour depth first.
    std::vector<DEVMODEW> offered;
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    for (DWORD k = 0; EnumDisplaySettingsW(deviceName.c_str(), k, &mode); ++k, mode.dmSize = sizeof mode) {
        if (!sameSize(mode, width, height) || mode.dmBitsPerPel < 15) continue;
        if (mode.dmBitsPerPel == current.dmBitsPerPel) {
            offered.insert(offered.begin(), mode);
        } else {
            offered.push_back(mode);
        }
    }
    if (offered.empty()) {
        why = "the display offers no " + std::to_string(width) + "x" + std::to_string(height) + " mode";
        return false;
    }
    installGuards();
    // Noted before the change, so that no way out misses it.
    const int count = changedCount.load();
    bool noted = false;
    for (int i = 0; i < count; ++i) noted = noted || deviceName == changed[i];
    if (!noted) {
        if (count >= kMostDisplays) {
            why = "too many displays changed";
            return false;
        }
        wcsncpy(changed[count], deviceName.c_str(), CCHDEVICENAME - 1);
        changedCount.store(count + 1);
    }
    for (DEVMODEW& candidate : offered) {
        candidate.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
        const LONG result =
            ChangeDisplaySettingsExW(deviceName.c_str(), &candidate, nullptr, CDS_FULLSCREEN, nullptr);
        if (result == DISP_CHANGE_SUCCESSFUL) return true;
        why = "Windows refused the mode (" + std::to_string(result) + ")";
    }
    return false;
}

void restoreDisplayModes() {
    const int count = changedCount.exchange(0);
    for (int i = 0; i < count && i < kMostDisplays; ++i)
        ChangeDisplaySettingsExW(changed[i], nullptr, nullptr, 0, nullptr);
}

}  // namespace zor::win32
