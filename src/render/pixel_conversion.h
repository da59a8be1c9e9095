#pragma once
// The layer's pixel conversions: the memory surfaces (5-6-5, 5-5-5 or
// X8R8G8B8) to what GL takes, and what GL reads back to 8-bit RGB at the
// levels of the buffer it came from.

#include <cstdint>
#include <vector>

#include "render/memory_surface.h"

namespace zor {

// A 5- or 6-bit level as 8 bits, its bits repeated downwards.
std::uint8_t expand(std::uint32_t value, int bits);
// An 8-bit channel read back from a 5- or 6-bit buffer, as that buffer's
// level with its bits repeated downwards (whether GL rounded or repeated
// bits when it widened the level).
std::uint8_t requantise(std::uint8_t value, int bits);
// A 5-6-5 or 5-5-5 pixel as 8-bit red, green, blue, bits repeated downwards.
void toRgb8(std::uint32_t p, bool is555, std::uint8_t* out);

// X1R5G5B5 rows to R5G5B5A1 (GL's 5-5-5 texture format), the unused top bit
// an opaque alpha; tightly packed.
std::vector<std::uint16_t> toRgb5A1(const MemorySurface& surface);
// The surface as 8-bit RGBA rows, tightly packed; with `keyed`, pixels
// equal to its colour key get alpha 0, all others 255.
std::vector<std::uint8_t> toRgba8(const MemorySurface& surface, bool keyed);
// RGBA rows read from a buffer with `redBlueBits` of red and blue and
// `greenBits` of green (8 and 8 for a true-colour buffer), bottom row first
// as GL reads them, to RGB rows top row first.
void readBackToRgb8(const std::uint8_t* rgba, int width, int height, int redBlueBits, int greenBits,
                    std::uint8_t* rgb);

}  // namespace zor
