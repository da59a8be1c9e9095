#pragma once
// Surfaces kept in main memory, shared by the layer implementations: 16-bit
// pixels, a pitch, an optional source colour key and the chain of attached
// surfaces (back buffer, mip levels).

#include <cstdint>
#include <optional>
#include <vector>

#include "render/display_layer.h"

namespace zor {

struct MemorySurface {
    SurfaceDesc desc;                     // width, height, pitch, pixel format, caps
    std::vector<std::uint16_t> pixels;    // pitch / 2 per row
    std::optional<std::uint16_t> colorKey;
    SurfaceId attached = SurfaceId::none; // next in a flip chain or mip chain
    bool locked = false;
    bool released = false;
    std::uint32_t version = 0;            // bumped by every change of the pixels

    void allocate();  // sizes pixels from desc.width/height and sets desc.pitch
    std::uint16_t* row(std::uint32_t y) { return pixels.data() + std::size_t(y) * (desc.pitch / 2); }
    const std::uint16_t* row(std::uint32_t y) const { return pixels.data() + std::size_t(y) * (desc.pitch / 2); }
};

// Clips a rectangle (null = whole) to the surface; false when it is empty or
// lies outside.
bool resolveRect(const MemorySurface& surface, const Rect* rect, Rect& resolved);

// Nearest-sample stretching copy; with useKey, source pixels equal to the
// source's colour key are skipped.
void stretchCopy(const MemorySurface& source, const Rect& sourceRect, MemorySurface& destination,
                 const Rect& destinationRect, bool useKey);

}  // namespace zor
