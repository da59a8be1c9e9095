#include "x_server.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

namespace zor::test {

XServer::XServer(const std::filesystem::path& folder, const std::string& screen) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    // Xvfb writes the display number it found free into the pipe's end it
    // inherits.
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                 "-nolisten", "tcp"},
        folder, "xvfb");
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (process_->started() && !number.empty()) display_ = ":" + number;
}

int XServer::xdotool(const std::string& arguments, std::string* output) const {
    const std::string line = "DISPLAY=" + display_ + " timeout 30 xdotool " + arguments + " 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return -1;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        if (output) *output += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

RgbImage XServer::grab(unsigned long window, int width, int height) const {
    RgbImage image;
    Display* x = XOpenDisplay(display_.c_str());
    if (!x) return image;
    XImage* shot = XGetImage(x, window ? window : DefaultRootWindow(x), 0, 0, width, height, AllPlanes, ZPixmap);
    if (shot) {
        image.width = width;
        image.height = height;
        image.pixels.resize(std::size_t(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int px = 0; px < width; ++px) {
                // A 24-bit TrueColor screen: 8 bits per channel.
                const unsigned long v = XGetPixel(shot, px, y);
                std::uint8_t* out = &image.pixels[(std::size_t(y) * width + px) * 3];
                out[0] = static_cast<std::uint8_t>((v & shot->red_mask) >> 16);
                out[1] = static_cast<std::uint8_t>((v & shot->green_mask) >> 8);
                out[2] = static_cast<std::uint8_t>(v & shot->blue_mask);
            }
        XDestroyImage(shot);
    }
    XCloseDisplay(x);
    return image;
}

long XServer::opaqueCursorPixels() const {
    Display* x = XOpenDisplay(display_.c_str());
    if (!x) return -1;
    long opaque = -1;
    int event = 0, error = 0;
    if (XFixesQueryExtension(x, &event, &error)) {
        if (XFixesCursorImage* cursor = XFixesGetCursorImage(x)) {
            opaque = 0;
            // One ARGB pixel in each unsigned long.
            for (long i = 0; i < long(cursor->width) * cursor->height; ++i)
                if ((cursor->pixels[i] >> 24) & 0xFF) ++opaque;
            XFree(cursor);
        }
    }
    XCloseDisplay(x);
    return opaque;
}

}  // namespace zor::test
