#pragma once
// The sample demo's images, painted from code: every texture is a power of two
// on each side; the logo is 256 x 256 with pure magenta where it is see-through.

#include <string>
#include <vector>

#include "writers/jpeg_writer.h"

namespace zor::demo {

// The demo is written with the format writers.
using namespace zor::write;

struct DemoImage {
    std::string name;  // file name, e.g. "checker.jpg"
    RgbImage image;
    JpegOptions options;
};

std::vector<DemoImage> paintDemoImages();

// The logo's colour key and the test the player applies to decoded pixels.
inline constexpr unsigned char kKeyRed = 255, kKeyGreen = 0, kKeyBlue = 255;
inline bool isNearMagenta(int r, int g, int b) { return b > 240 && g < 20 && r > 240; }

}  // namespace zor::demo
