#pragma once
// PNG files for picture tests: write a 32-bit SDL surface as RGB, read one
// back, and count the pixels that differ by more than a tolerance.

#include <SDL2/SDL.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace zor::test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // 3 bytes per pixel, rows top-down
};

RgbImage imageFromSurface(const SDL_Surface* surface);
bool writePng(const std::filesystem::path& path, const RgbImage& image);
bool readPng(const std::filesystem::path& path, RgbImage& image);
// Pixels where some channel differs by more than `tolerance`; -1 when the
// sizes differ.
long countDifferentPixels(const RgbImage& a, const RgbImage& b, int tolerance);

}  // namespace zor::test
