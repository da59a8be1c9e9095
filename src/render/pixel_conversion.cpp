#include "render/pixel_conversion.h"

#include <cstring>

namespace zor {

std::uint8_t expand(std::uint32_t value, int bits) {
    const std::uint32_t v = value << (8 - bits);
    return static_cast<std::uint8_t>(v | (v >> bits));
}

std::uint8_t requantise(std::uint8_t value, int bits) {
    const std::uint32_t top = (1u << bits) - 1;
    return expand((value * top + 127) / 255, bits);
}

void toRgb8(std::uint32_t p, bool is555, std::uint8_t* out) {
    if (is555) {
        out[0] = expand((p >> 10) & 31, 5);
        out[1] = expand((p >> 5) & 31, 5);
    } else {
        out[0] = expand(p >> 11, 5);
        out[1] = expand((p >> 5) & 63, 6);
    }
    out[2] = expand(p & 31, 5);
}

std::vector<std::uint16_t> toRgb5A1(const MemorySurface& surface) {
    const std::uint32_t w = surface.desc.width, h = surface.desc.height;
    std::vector<std::uint16_t> out(std::size_t(w) * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint16_t* row = out.data() + std::size_t(y) * w;
        for (std::uint32_t x = 0; x < w; ++x) row[x] = static_cast<std::uint16_t>((surface.pixel(x, y) << 1) | 1);
    }
    return out;
}

std::vector<std::uint8_t> toRgba8(const MemorySurface& surface, bool keyed) {
    const std::uint32_t w = surface.desc.width, h = surface.desc.height;
    const bool wide = surface.bytesPerPixel() == 4;
    const bool is555 = surface.desc.pixelFormat.greenMask == 0x03E0;
    std::vector<std::uint8_t> out(std::size_t(w) * h * 4);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = out.data() + std::size_t(y) * w * 4;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t p = surface.pixel(x, y);
            std::uint8_t* o = row + x * 4;
            if (wide) {
                o[0] = static_cast<std::uint8_t>(p >> 16);
                o[1] = static_cast<std::uint8_t>(p >> 8);
                o[2] = static_cast<std::uint8_t>(p);
            } else {
                toRgb8(p, is555, o);
            }
            o[3] = (keyed && surface.colorKey && p == *surface.colorKey) ? 0 : 255;
        }
    }
    return out;
}

void readBackToRgb8(const std::uint8_t* rgba, int width, int height, int redBlueBits, int greenBits,
                    std::uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba + std::size_t(height - 1 - y) * width * 4;
        std::uint8_t* out = rgb + std::size_t(y) * width * 3;
        if (redBlueBits >= 8 && greenBits >= 8) {
            for (int x = 0; x < width; ++x) std::memcpy(out + x * 3, in + x * 4, 3);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            out[x * 3] = requantise(in[x * 4], redBlueBits);
            out[x * 3 + 1] = requantise(in[x * 4 + 1], greenBits);
            out[x * 3 + 2] = requantise(in[x * 4 + 2], redBlueBits);
        }
    }
}

}  // namespace zor
