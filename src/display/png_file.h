#pragma once
// 8-bit RGB pictures as PNG files (captured frames and reference pictures).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "system/disk_files.h"

namespace zor {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // 3 bytes per pixel, top row first
};

// The picture as the bytes of a PNG file; false with a reason in error.
bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>& png, std::string& error);
// Writes the PNG beside `path` and renames it into place
// (writeFileByRename): a failed write leaves no partial file. False with
// "PATH: reason" in error (the system's reason, say "no space left on
// device"); with Replace::Never a file already at `path` stays, and the
// reason is "exists".
bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error,
              Replace replace = Replace::Always);
// Reads any 8-bit PNG as RGB (grey and palette expanded, alpha dropped).
bool readPng(const std::filesystem::path& path, RgbPicture& picture, std::string& error);

}  // namespace zor
