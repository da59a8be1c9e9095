#pragma once
// PNG files for picture tests: write a 32-bit SDL surface as RGB, read one
// back, and count the pixels that differ by more than a tolerance.

#include <SDL2/SDL.h>

#include <cstdint>
#include <filesystem>
#include <string>
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

// Compares with the reference picture data/<name> of this folder: at most
// 0.5% of the pixels may differ by more than 8 levels. On failure this run's
// picture is written to the build folder and the test fails; with
// ZOR_UPDATE_REFERENCES=1 the reference is rewritten and the test skipped.
void expectMatchesReference(const RgbImage& actual, const std::string& name);

}  // namespace zor::test
