// JPEG encoding through stb_image_write, for builds without libjpeg
// (Windows). stb subsamples the colour at quality 90 and below and never
// above it, so full-resolution colour is had by raising the quality to 91.

#include <stdexcept>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "writers/jpeg_writer.h"

namespace zor::write {

Bytes encodeJpeg(const RgbImage& image, const JpegOptions& options) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        throw std::invalid_argument("jpeg: image size and pixel count disagree");
    if (options.quality < 1 || options.quality > 100) throw std::invalid_argument("jpeg: quality outside 1..100");
    const int quality = options.fullChroma && options.quality <= 90 ? 91 : options.quality;
    Bytes out;
    const auto append = [](void* context, void* data, int size) {
        auto* bytes = static_cast<Bytes*>(context);
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes->insert(bytes->end(), p, p + size);
    };
    if (!stbi_write_jpg_to_func(append, &out, image.width, image.height, 3, image.rgb.data(), quality))
        throw std::runtime_error("jpeg: the encoder failed");
    return out;
}

}  // namespace zor::write
