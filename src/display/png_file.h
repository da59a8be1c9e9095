#pragma once
// 8-bit RGB pictures as PNG files (captured frames and reference pictures).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zor {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // 3 bytes per pixel, top row first
};

// False with a reason in error when the file cannot be written.
bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error);
// Reads any 8-bit PNG as RGB (grey and palette expanded, alpha dropped).
bool readPng(const std::filesystem::path& path, RgbPicture& picture, std::string& error);

}  // namespace zor
