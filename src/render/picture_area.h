#pragma once
// Where the picture goes on a surface of any size. The view is made for a
// 4:3 screen (45 by 34 degrees), so on a surface of another shape the 3D
// view, the logo and everything the flip chain shows sit in the largest
// centred 4:3 area, with black bars beside or above and below it; stretched
// over the whole surface, the picture would be distorted.

#include <cstdint>

namespace zor {

struct PictureArea {
    std::uint32_t x = 0, y = 0;  // from the top left of the surface
    std::uint32_t width = 0, height = 0;
    friend bool operator==(const PictureArea&, const PictureArea&) = default;
};

// The centred 4:3 area of a width x height surface (the whole surface when
// it is 4:3, or when `stretch` asks for the view spread over all of it).
inline PictureArea pictureArea(std::uint32_t width, std::uint32_t height, bool stretch) {
    const std::uint64_t w = width, h = height;
    if (stretch || w * 3 == h * 4 || w == 0 || h == 0) return {0, 0, width, height};
    if (w * 3 > h * 4) {
        // Wider than 4:3: bars left and right.
        const auto inner = static_cast<std::uint32_t>((h * 4 + 1) / 3);
        return {(width - inner) / 2, 0, inner, height};
    }
    // Taller: bars above and below.
    const auto inner = static_cast<std::uint32_t>((w * 3 + 2) / 4);
    return {0, (height - inner) / 2, width, inner};
}

}  // namespace zor
