#include "render/display_layer.h"

#include <algorithm>
#include <cstring>

#include "render/memory_surface.h"

namespace zor {

namespace {

PixelFormat rgbFormat(std::uint32_t bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    PixelFormat f;
    f.flags = DDPF_RGB;
    f.rgbBitCount = bits;
    f.redMask = red;
    f.greenMask = green;
    f.blueMask = blue;
    return f;
}

}  // namespace

PixelFormat rgb565Format() { return rgbFormat(16, 0xF800, 0x07E0, 0x001F); }

PixelFormat rgb555Format() { return rgbFormat(16, 0x7C00, 0x03E0, 0x001F); }

PixelFormat xrgb8888Format() { return rgbFormat(32, 0xFF0000, 0x00FF00, 0x0000FF); }

const std::string& DisplayLayer::error() const {
    static const std::string none;
    return none;
}

Matrix identityMatrix() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

void MemorySurface::allocate() {
    // Rows padded to 4 bytes, as display drivers like them.
    const auto size = static_cast<std::uint32_t>(bytesPerPixel());
    desc.pitch = static_cast<std::int32_t>(((desc.width * size + 3) / 4) * 4);
    bytes.assign(std::size_t(desc.pitch) * desc.height, 0);
}

bool resolveRect(const MemorySurface& surface, const Rect* rect, Rect& resolved) {
    const auto w = static_cast<std::int32_t>(surface.desc.width);
    const auto h = static_cast<std::int32_t>(surface.desc.height);
    resolved = rect ? *rect : Rect{0, 0, w, h};
    return resolved.left >= 0 && resolved.top >= 0 && resolved.right <= w && resolved.bottom <= h &&
           resolved.left < resolved.right && resolved.top < resolved.bottom;
}

void stretchCopy(const MemorySurface& source, const Rect& sourceRect, MemorySurface& destination,
                 const Rect& destinationRect, bool useKey) {
    const std::int64_t sw = sourceRect.right - sourceRect.left;
    const std::int64_t sh = sourceRect.bottom - sourceRect.top;
    const std::int64_t dw = destinationRect.right - destinationRect.left;
    const std::int64_t dh = destinationRect.bottom - destinationRect.top;
    const bool keyed = useKey && source.colorKey.has_value();
    const std::uint32_t key = source.colorKey.value_or(0);
    const int size = source.bytesPerPixel();
    if (destination.bytesPerPixel() != size) return;
    for (std::int64_t y = 0; y < dh; ++y) {
        const auto sy = static_cast<std::uint32_t>(sourceRect.top + (y * sh) / dh);
        std::uint8_t* out = destination.row(static_cast<std::uint32_t>(destinationRect.top + y)) +
                            std::size_t(destinationRect.left) * size;
        for (std::int64_t x = 0; x < dw; ++x) {
            const auto sx = static_cast<std::uint32_t>(sourceRect.left + (x * sw) / dw);
            if (keyed && source.pixel(sx, sy) == key) continue;
            std::memcpy(out + x * size, source.row(sy) + std::size_t(sx) * size, static_cast<std::size_t>(size));
        }
    }
    ++destination.version;
}

}  // namespace zor
