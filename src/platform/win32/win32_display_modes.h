#pragma once
// Windows' displays and their modes, and full-screen mode changes that never
// outlive the program: the desktop's own mode comes back when the program
// asks for it, at a normal end (exit), at an uncaught C++ exception or an
// abort, at a crash (an unhandled-exception filter), and at Ctrl-C, Ctrl-Break
// or the closing of the console it runs in. The changed displays are
// therefore process-wide state, the one thing those last ways out can reach.

#include <string>
#include <utility>
#include <vector>

namespace zor::win32 {

struct DisplayDevice {
    std::wstring deviceName;  // "\\.\DISPLAY1"
    std::string description;  // the adapter's name, "Wine Adapter", "NVIDIA ..."
    // Distinct sizes of the modes Windows offers, as it lists them.
    std::vector<std::pair<int, int>> sizes;
    // Where the display lies on the desktop, in pixels.
    int left = 0, top = 0, width = 0, height = 0;
};

// The displays that are part of the desktop, the primary one first.
std::vector<DisplayDevice> displayDevices();

// Puts a display into a width x height mode it offers (any colour depth,
// its current one first) for as long as the program runs. False, with the
// reason, when it offers none or refuses; the display is unchanged then.
bool changeDisplayMode(const std::wstring& deviceName, int width, int height, std::string& why);
// Where the display lies now (after a change), in pixels.
void displayBounds(const std::wstring& deviceName, int& left, int& top, int& width, int& height);
// Gives every changed display its desktop mode back. Safe to call more than
// once, and from the handlers of the last ways out.
void restoreDisplayModes();

}  // namespace zor::win32
