// PNG files through stb, for builds without libpng (Windows). The bytes go
// through the archive's file calls, so wide and long names work.

#include <climits>
#include <memory>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "system/disk_files.h"
#include "system/text.h"
#include "display/png_file.h"

namespace zor {

bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>& png, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != std::size_t(picture.width) * picture.height * 3) {
        error = "picture has no pixels";
        return false;
    }
    if (picture.width > INT_MAX / 3) {
        error = "picture too wide for a PNG file";
        return false;
    }
    png.clear();
    const auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(context);
        const auto* p = static_cast<const std::uint8_t*>(data);
        out->insert(out->end(), p, p + size);
    };
    if (!stbi_write_png_to_func(append, &png, picture.width, picture.height, 3, picture.pixels.data(),
                                picture.width * 3)) {
        error = "cannot encode the picture";
        return false;
    }
    return true;
}

bool readPng(const std::filesystem::path& path, RgbPicture& picture, std::string& error) {
    ReadFailure failure;
    const std::optional<Bytes> bytes = readWholeFile(path, &failure);
    if (!bytes) {
        error = utf8Of(path) + ": " + failure.reason;
        return false;
    }
    if (bytes->size() > static_cast<std::size_t>(INT_MAX)) {
        error = utf8Of(path) + ": too large";
        return false;
    }
    int width = 0, height = 0, components = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(bytes->data(), static_cast<int>(bytes->size()), &width, &height, &components, 3),
        stbi_image_free);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        error = utf8Of(path) + ": " + (reason ? reason : "not a PNG file");
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(pixels.get(), pixels.get() + std::size_t(width) * height * 3);
    return true;
}

}  // namespace zor
