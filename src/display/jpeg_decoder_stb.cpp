// JPEG decoding through stb_image, for builds without libjpeg (WebAssembly).
//
// The header is read first, through stb's own header reader, so that size
// and colour space are checked before any pixel memory is taken. Data that
// stops before its end-of-image marker is decoded as far as it goes with the
// rest filled in and counted as damage, as libjpeg does with a premature end.

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

#include "display/jpeg_decoder.h"

namespace zor {

namespace {

const char* failureReason() {
    const char* reason = stbi_failure_reason();
    return reason ? reason : "corrupt JPEG data";
}

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbFree>;

StbPixels load(std::span<const std::uint8_t> bytes, int& width, int& height) {
    int components = 0;
    return StbPixels(
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &components, 3));
}

}  // namespace

JpegDecoding decodeJpegData(std::span<const std::uint8_t> bytes) {
    JpegDecoding result;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX) - 2) {
        result.error = "file is too large";
        return result;
    }
    stbi__g_failure_reason = nullptr;
    stbi__context context;
    stbi__start_mem(&context, bytes.data(), static_cast<int>(bytes.size()));
    auto header = std::make_unique<stbi__jpeg>();
    header->s = &context;
    stbi__setup_jpeg(header.get());
    if (!stbi__decode_jpeg_header(header.get(), STBI__SCAN_header)) {
        result.error = failureReason();
        return result;
    }
    if (context.img_n == 4) {
        result.error = "CMYK images are not supported";
        return result;
    }
    if (!imageSizeUsable(context.img_x, context.img_y)) {
        result.error = "image is too large";
        result.tooLarge = true;
        result.declaredWidth = context.img_x;
        result.declaredHeight = context.img_y;
        return result;
    }

    int width = 0, height = 0;
    StbPixels rgb = load(bytes, width, height);
    if (!rgb) {
        const std::string firstError = failureReason();
        const bool ended = bytes.size() >= 2 && bytes[bytes.size() - 2] == 0xFF && bytes[bytes.size() - 1] == 0xD9;
        if (!ended) {
            std::vector<std::uint8_t> closed(bytes.begin(), bytes.end());
            closed.push_back(0xFF);
            closed.push_back(0xD9);
            rgb = load(closed, width, height);
            result.warnings = 1;
        }
        if (!rgb) {
            result.error = firstError;
            result.warnings = 0;
            return result;
        }
    }
    if (width <= 0 || height <= 0 || static_cast<std::uint32_t>(width) != context.img_x ||
        static_cast<std::uint32_t>(height) != context.img_y) {
        result.error = "unexpected decoder output";
        return result;
    }

    DecodedImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(std::size_t(width) * height * 3);
    const stbi_uc* src = rgb.get();
    for (int y = 0; y < height; ++y) {
        // Bottom-up, blue first.
        std::uint8_t* dst = image.pixels.data() + std::size_t(height - 1 - y) * width * 3;
        for (int x = 0; x < width; ++x, src += 3) {
            dst[x * 3] = src[2];
            dst[x * 3 + 1] = src[1];
            dst[x * 3 + 2] = src[0];
        }
    }
    result.image = std::move(image);
    return result;
}

const char* jpegDecoderName() { return "stb"; }

}  // namespace zor
