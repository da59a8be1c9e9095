#include "import/logo.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <stb_image_resize.h>

#include "import/convert.h"
#include "import/readers.h"
#include "system/text.h"
#include "writers/jpeg_writer.h"

namespace zor::import {
namespace {

// The key colour as the player tests it: red and blue above 240, green below 20.
bool isKey(const std::uint8_t* p) { return p[0] > 240 && p[2] > 240 && p[1] < 20; }

}  // namespace

Bytes logoJpeg(const std::filesystem::path& path) {
    const std::string name = utf8Of(path);
    ReadFailure failure;
    const std::optional<Bytes> bytes = readWholeFile(path, &failure);
    if (!bytes) throw ImportError(name + ": cannot be read: " + failure.reason);
    SourceImage image;
    std::string why;
    if (!decodeImage(bytes->data(), bytes->size(), image, why)) throw ImportError(name + ": " + why);
    // Key-coloured pixels are see-through: they add nothing to their
    // neighbours when the image is resampled.
    std::vector<std::uint8_t> rgba = image.rgba;
    for (std::size_t p = 0; p + 3 < rgba.size(); p += 4)
        if (isKey(&rgba[p])) rgba[p + 3] = 0;
    const double fit = static_cast<double>(kLogoSide) / std::max(image.width, image.height);
    const int w = std::clamp(static_cast<int>(std::lround(image.width * fit)), 1, kLogoSide);
    const int h = std::clamp(static_cast<int>(std::lround(image.height * fit)), 1, kLogoSide);
    std::vector<std::uint8_t> fitted(static_cast<std::size_t>(w) * h * 4);
    if (w == image.width && h == image.height) fitted = rgba;
    else if (!stbir_resize_uint8_generic(rgba.data(), image.width, image.height, 0, fitted.data(), w, h, 0, 4, 3, 0,
                                         STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr))
        throw ImportError(name + ": cannot be resampled to the logo's size");

    write::RgbImage logo(kLogoSide, kLogoSide);
    const int left = (kLogoSide - w) / 2, top = (kLogoSide - h) / 2;
    for (int y = 0; y < kLogoSide; ++y)
        for (int x = 0; x < kLogoSide; ++x) {
            std::uint8_t* out = logo.at(x, y);
            const int sx = x - left, sy = y - top;
            const std::uint8_t* in =
                sx >= 0 && sx < w && sy >= 0 && sy < h ? &fitted[(static_cast<std::size_t>(sy) * w + sx) * 4] : nullptr;
            if (!in || in[3] < 128) {
                out[0] = 255, out[1] = 0, out[2] = 255;
            } else {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
                // A colour the player would take for the key is moved off it.
                if (isKey(out)) out[1] = 20;
            }
        }
    write::JpegOptions jpeg;
    jpeg.quality = 95;
    jpeg.fullChroma = true;
    return write::encodeJpeg(logo, jpeg);
}

}  // namespace zor::import
