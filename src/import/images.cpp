#include "import/images.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <stb_image_resize.h>

#include "writers/jpeg_writer.h"

namespace zor::import {

float linearToDisplay(float v) {
    v = std::clamp(std::isfinite(v) ? v : 0.0f, 0.0f, 1.0f);
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}
float displayToLinear(float v) {
    v = std::clamp(v, 0.0f, 1.0f);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}
std::uint8_t displayByte(float linear) {
    return static_cast<std::uint8_t>(std::lround(linearToDisplay(linear) * 255.0f));
}

std::string ImageBaker::imageFor(const SourceMaterial& material) {
    const int index = material.baseColorImage;
    if (index < 0 || index >= static_cast<int>(model_.images.size())) return {};
    const SourceImage& image = model_.images[index];
    const std::size_t pixels = static_cast<std::size_t>(std::max(image.width, 0)) * std::max(image.height, 0);
    if (pixels == 0 || image.rgba.size() != pixels * 4) {
        out_.addNotCarried("images that cannot be read");
        return {};
    }
    const std::array<float, 3> factor{material.baseColor[0], material.baseColor[1], material.baseColor[2]};
    const bool additive = material.alpha == AlphaMode::Blend;
    const auto key = std::make_tuple(index, factor, additive);
    if (auto it = images_.find(key); it != images_.end()) return it->second;

    auto side = [](int s) {
        int p = kMinImageSide;
        while (p < kMaxImageSide && p * 2 <= s * 1.41421356) p *= 2;  // nearest power of two
        return p;
    };
    const int w = side(image.width), h = side(image.height);
    // Factor (and, for additive surfaces, alpha) in linear light.
    std::vector<std::uint8_t> rgb(pixels * 3);
    std::array<float, 256> toLinear;
    for (int i = 0; i < 256; ++i) toLinear[i] = displayToLinear(i / 255.0f);
    const bool plain = factor == std::array<float, 3>{1, 1, 1} && !additive;
    for (std::size_t p = 0; p < pixels; ++p) {
        const float alpha = additive ? image.rgba[p * 4 + 3] / 255.0f * material.baseColor[3] : 1.0f;
        for (int c = 0; c < 3; ++c) {
            const std::uint8_t v = image.rgba[p * 4 + c];
            rgb[p * 3 + c] = plain ? v : displayByte(toLinear[v] * factor[c] * alpha);
        }
    }
    write::RgbImage resized(w, h);
    if (w == image.width && h == image.height) {
        resized.rgb = std::move(rgb);
    } else if (!stbir_resize_uint8(rgb.data(), image.width, image.height, 0, resized.rgb.data(), w, h, 0, 3)) {
        out_.addNotCarried("images that cannot be resampled");
        return {};
    }
    if (image.hasAlpha && !additive) out_.addNotCarried("image transparency (only blended materials become additive)");
    // A second colouring of the same image gets a name of its own.
    const std::string name = names_.take(image.name, "image", "image") + ".jpg";
    write::JpegOptions jpeg;
    jpeg.quality = 90;
    out_.files.push_back({name, write::encodeJpeg(resized, jpeg)});
    ++out_.images;
    if (w != image.width || h != image.height)
        out_.notes.push_back("image " + name + " resampled from " + std::to_string(image.width) + " x " +
                             std::to_string(image.height) + " to " + std::to_string(w) + " x " + std::to_string(h));
    images_[key] = name;
    return name;
}

}  // namespace zor::import
