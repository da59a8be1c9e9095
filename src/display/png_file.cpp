#include "display/png_file.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace zor {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != std::size_t(picture.width) * picture.height * 3) {
        error = path.string() + ": picture has no pixels";
        return false;
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = path.string() + ": cannot open for writing";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_stdio(&image, file.get(), 0, picture.pixels.data(), picture.width * 3, nullptr)) {
        error = path.string() + ": " + image.message;
        return false;
    }
    if (std::fflush(file.get()) != 0) {
        error = path.string() + ": write failed";
        return false;
    }
    return true;
}

bool readPng(const std::filesystem::path& path, RgbPicture& picture, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path.string() + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        error = path.string() + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace zor
