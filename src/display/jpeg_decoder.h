#pragma once
// JPEG decoding from memory. Two implementations stand behind this header and
// the image code does not know which one it has: libjpeg-turbo
// (jpeg_decoder_libjpeg.cpp, the native build) and stb_image
// (jpeg_decoder_stb.cpp, the WebAssembly build, which has no libjpeg).
//
// Both give the same kind of result: 3 bytes per pixel in the order blue,
// green, red, rows bottom-up; grey-scale images become three equal channels;
// CMYK and YCCK images and images with a side above kMaxTextureSide are
// refused on their header, before any pixel memory is taken. Damaged data either is refused or
// decodes with the missing part filled in and `warnings` above zero; it is
// never taken silently.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zor {

// The largest image side taken: the largest texture that every device of the
// renderer is sure to take (OpenGL ES 3.0 and WebGL2 promise 2048). Images
// beyond it are refused on their declared size, before the decoder allocates
// for them.
inline constexpr std::uint64_t kMaxTextureSide = 2048;
inline bool imageSizeUsable(std::uint64_t width, std::uint64_t height) {
    return width <= kMaxTextureSide && height <= kMaxTextureSide;
}

// Decoded pixels: 3 bytes per pixel (blue, green, red), rows bottom-up.
struct DecodedImage {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
};

struct JpegDecoding {
    std::optional<DecodedImage> image;
    std::string error;  // why there is no image
    bool tooLarge = false;  // refused for its declared size, given here
    std::uint32_t declaredWidth = 0, declaredHeight = 0;
    int warnings = 0;   // damage the decoder worked around
};

JpegDecoding decodeJpegData(std::span<const std::uint8_t> bytes);

// Which implementation this is, for messages and tests ("libjpeg" or "stb").
const char* jpegDecoderName();

}  // namespace zor
