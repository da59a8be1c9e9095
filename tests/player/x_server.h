#pragma once
// A real X server for the desktop tests: Xvfb on the first free display with
// no window manager, xdotool to drive it, and windows read back as RGB.
// Xlib stays inside x_server.cpp so its macros (None, Bool, Status) never
// meet the tests' own names.

#include <filesystem>
#include <memory>
#include <string>

#include "child_process.h"
#include "png_compare.h"

namespace zor::test {

class XServer {
public:
    // Xvfb with one screen of `screen` ("WxHxD"); its output goes to
    // folder/xvfb.out and .err. display() is empty when it did not start.
    explicit XServer(const std::filesystem::path& folder, const std::string& screen = "640x480x24");
    const std::string& display() const { return display_; }

    // Runs `xdotool ARGUMENTS` on this display (30 s at most); its status,
    // and its standard output in `output` when asked.
    int xdotool(const std::string& arguments, std::string* output = nullptr) const;

    // The top-left width x height of a window (0: the whole screen) as RGB;
    // empty when the window cannot be read.
    RgbImage grab(unsigned long window, int width, int height) const;

    // Pixels of the mouse pointer's image that are not see-through (XFixes),
    // where the pointer is now; 0 for a hidden pointer, -1 when the server
    // cannot say.
    long opaqueCursorPixels() const;

private:
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

}  // namespace zor::test
