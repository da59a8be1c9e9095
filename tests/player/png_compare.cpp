#include "png_compare.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>

namespace zor::test {

RgbImage imageFromSurface(const SDL_Surface* surface) {
    RgbImage image;
    if (!surface) return image;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(const_cast<SDL_Surface*>(surface), SDL_PIXELFORMAT_RGB24, 0);
    if (!rgb) return image;
    image.width = rgb->w;
    image.height = rgb->h;
    image.pixels.resize(static_cast<std::size_t>(rgb->w) * rgb->h * 3);
    for (int y = 0; y < rgb->h; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(rgb->pixels) + static_cast<std::ptrdiff_t>(y) * rgb->pitch;
        std::copy(row, row + rgb->w * 3, image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * rgb->w * 3);
    }
    SDL_FreeSurface(rgb);
    return image;
}

bool writePng(const std::filesystem::path& path, const RgbImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
}

bool readPng(const std::filesystem::path& path, RgbImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
}

long countDifferentPixels(const RgbImage& a, const RgbImage& b, int tolerance) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return -1;
    long count = 0;
    for (std::size_t i = 0; i + 2 < a.pixels.size(); i += 3) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(a.pixels[i + c]) - int(b.pixels[i + c])) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

void expectMatchesReference(const RgbImage& actual, const std::string& name) {
    ASSERT_GT(actual.width, 0);
    const std::filesystem::path reference = std::filesystem::path(ZOR_TEST_DATA_DIR) / "data" / name;
    if (const char* update = std::getenv("ZOR_UPDATE_REFERENCES"); update && std::string(update) == "1") {
        ASSERT_TRUE(writePng(reference, actual));
        GTEST_SKIP() << "reference written: " << reference;
    }
    RgbImage expected;
    ASSERT_TRUE(readPng(reference, expected)) << reference;
    const long different = countDifferentPixels(actual, expected, 8);
    const long allowed = static_cast<long>(actual.width) * actual.height / 200;
    if (different < 0 || different > allowed) {
        const std::filesystem::path out = std::filesystem::path(ZOR_BINARY_DIR) / ("actual-" + name);
        writePng(out, actual);
        FAIL() << different << " pixels differ from " << reference << " (allowed " << allowed
               << "); this run's picture: " << out;
    }
}

}  // namespace zor::test
