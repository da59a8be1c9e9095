// The image path on hostile bytes: JPEG decode from memory, conversion to
// 16-bit pixels in the two usual layouts and the chain of mip levels, the
// way a texture is made, without a display.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "display/display.h"
#include "fuzz_checks.h"

namespace {

constexpr std::uint64_t kMaxConvertedPixels = std::uint64_t{1} << 18;
constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{1} << 20;

// Pixels the first start-of-frame marker declares, 0 when there is none.
// Images of millions of pixels made from a kilobyte of corrupt data take well
// under a second in a normal build but over a second in this instrumented
// one; like other JPEG fuzzers this one leaves them to the unit tests.
std::uint64_t declaredPixels(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] != 0xFF) continue;
        const std::uint8_t m = data[i + 1];
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            const std::uint64_t h = std::uint64_t{data[i + 5]} << 8 | data[i + 6];
            const std::uint64_t w = std::uint64_t{data[i + 7]} << 8 | data[i + 8];
            return w * h;
        }
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (declaredPixels(data, size) > kMaxDecodedPixels) return 0;
    zor::Diagnostics diags;
    std::optional<zor::DecodedImage> image =
        zor::decodeJpeg(std::span<const std::uint8_t>(data, size), "fuzz.jpg", &diags);
    if (!image) {
        if (diags.empty()) __builtin_trap();  // a refusal is never silent
        return 0;
    }
    const int w = image->width;
    const int h = image->height;
    if (w <= 0 || h <= 0) __builtin_trap();
    if (image->pixels.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) __builtin_trap();
    // The pixel code's work depends only on the size, and over millions of
    // instrumented pixels it alone would pass the one-second limit; large
    // images are decoded and checked, then left.
    if (static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > kMaxConvertedPixels) return 0;

    static std::vector<std::uint8_t> target;
    target.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 2);
    const zor::ConversionParameters c565 = zor::prepareConversion(0xF800, 0x07E0, 0x001F);
    const zor::ConversionParameters c555 = zor::prepareConversion(0x7C00, 0x03E0, 0x001F);
    zor::convertPixels(c565, image->pixels.data(), target.data(), w, h, 0, w * 2);
    zor::convertPixels(c555, image->pixels.data(), target.data(), w, h, 0, w * 2);
    zor::fuzz::touch(zor::magentaKey(c565));
    zor::fuzz::touch(target[target.size() / 2]);

    // Mip levels: each half the size of the one above, down to one pixel;
    // the first is made from the decoded pixels themselves.
    static std::vector<std::uint8_t> level;
    static std::vector<std::uint8_t> next;
    const std::uint8_t* source = image->pixels.data();
    int lw = w;
    int lh = h;
    const int levels = zor::mipLevelCount(static_cast<std::uint32_t>(w), true);
    for (int i = 1; i < levels && (lw > 1 || lh > 1); ++i) {
        const int nw = std::max(1, lw / 2);
        const int nh = std::max(1, lh / 2);
        next.assign(static_cast<std::size_t>(nw) * static_cast<std::size_t>(nh) * 3, 0);
        zor::resampleImage(source, next.data(), lw, lh, nw, nh);
        level.swap(next);
        source = level.data();
        lw = nw;
        lh = nh;
    }
    zor::fuzz::touch(source[0]);
    return 0;
}
