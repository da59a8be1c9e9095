// Writing a PNG file: the picture encoded (libpng or stb, whichever the
// build has), then written beside its place and renamed into it.

#include "display/png_file.h"
#include "system/text.h"

namespace zor {

bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error, Replace replace) {
    std::vector<std::uint8_t> png;
    if (!encodePng(picture, png, error)) {
        error = utf8Of(path) + ": " + error;
        return false;
    }
    WriteFailure failure;
    if (!writeFileByRename(path, png, replace, failure)) {
        error = utf8Of(path) + ": " + failure.reason;
        return false;
    }
    return true;
}

}  // namespace zor
