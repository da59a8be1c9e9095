#pragma once
// Surfaces kept in main memory, shared by the layer implementations: 16-bit
// (5-6-5 or 5-5-5) or 32-bit (X8R8G8B8) pixels, little-endian as the
// processor keeps them, a pitch, an optional source colour key and the chain
// of attached surfaces (back buffer, mip levels).

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "render/display_layer.h"

namespace zor {

struct MemorySurface {
    SurfaceDesc desc;                     // width, height, pitch, pixel format, caps
    std::vector<std::uint8_t> bytes;      // desc.pitch bytes per row
    std::optional<std::uint32_t> colorKey;
    SurfaceId attached = SurfaceId::none; // next in a flip chain or mip chain
    bool locked = false;
    bool released = false;
    std::uint32_t version = 0;            // bumped by every change of the pixels

    // Sizes the bytes from desc.width, height and the format's bit count,
    // and sets desc.pitch.
    void allocate();
    // 4 for 32-bit formats, else 2.
    int bytesPerPixel() const { return desc.pixelFormat.rgbBitCount > 16 ? 4 : 2; }
    std::uint8_t* row(std::uint32_t y) { return bytes.data() + std::size_t(y) * desc.pitch; }
    const std::uint8_t* row(std::uint32_t y) const { return bytes.data() + std::size_t(y) * desc.pitch; }
    std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = row(y) + std::size_t(x) * bytesPerPixel();
        if (bytesPerPixel() == 4) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
};

// Clips a rectangle (null = whole) to the surface; false when it is empty or
// lies outside.
bool resolveRect(const MemorySurface& surface, const Rect* rect, Rect& resolved);

// Nearest-sample stretching copy between surfaces of one pixel size; with
// useKey, source pixels equal to the source's colour key are skipped.
void stretchCopy(const MemorySurface& source, const Rect& sourceRect, MemorySurface& destination,
                 const Rect& destinationRect, bool useKey);

}  // namespace zor
