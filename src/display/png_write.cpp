// Writing a PNG file: the picture encoded (libpng or stb, whichever the
// build has), then written beside its place and renamed into it.

#include "display/png_file.h"

namespace zor {

bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error, Replace replace) {
    std::vector<std::uint8_t> png;
    if (!encodePng(picture, png, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    std::string why;
    if (!writeFileByRename(path, png, replace, why)) {
        error = path.string() + ": " + why;
        return false;
    }
    return true;
}

}  // namespace zor
