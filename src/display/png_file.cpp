#include "display/png_file.h"

#include <png.h>

#include "system/text.h"


namespace zor {

bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>& png, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != std::size_t(picture.width) * picture.height * 3) {
        error = "picture has no pixels";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    // Asked once for the size, then written.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels.data(), picture.width * 3, nullptr)) {
        error = image.message;
        return false;
    }
    png.resize(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, picture.pixels.data(), picture.width * 3, nullptr)) {
        error = image.message;
        return false;
    }
    png.resize(size);
    return true;
}

bool readPng(const std::filesystem::path& path, RgbPicture& picture, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = utf8Of(path) + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        error = utf8Of(path) + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace zor
