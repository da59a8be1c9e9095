#pragma once
// One line of text turned into pixels, for captions drawn over the picture
// through the display layer: SDL2_ttf with a DejaVu font on Linux
// (sdl/sdl_text_painter.h), GDI with the system's font on Windows
// (win32/gdi_text_painter.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// Blue, green, red bytes per pixel, rows top-down. Pixels the text does not
// cover are exactly magenta, the colour key of the display's blits.
struct TextPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

class TextPainter {
public:
    virtual ~TextPainter() = default;
    // White letters with a black outline, `pixelSize` pixels high. False
    // (error() says why) when no font can be had.
    virtual bool paint(std::string_view text, int pixelSize, TextPicture& picture) = 0;
    virtual const std::string& error() const = 0;
};

}  // namespace zor
