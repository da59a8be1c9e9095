#pragma once
// Encodes RGB images as baseline JPEG with libjpeg, in memory.

#include <cstdint>
#include <vector>

#include "system/disk_files.h"

namespace zor::write {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3, top row first

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0) {}
    std::uint8_t* at(int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

struct JpegOptions {
    int quality = 85;
    // Full-resolution colour (no chroma subsampling): keeps hard colour edges,
    // such as those of a colour key, from bleeding.
    bool fullChroma = false;
};

// Throws std::invalid_argument for an empty or inconsistent image and
// std::runtime_error when libjpeg reports an error.
Bytes encodeJpeg(const RgbImage& image, const JpegOptions& options = {});

}  // namespace zor::write
