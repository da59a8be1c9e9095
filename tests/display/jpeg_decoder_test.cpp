// The JPEG decoder behind the image code, built once per implementation
// (libjpeg, stb): both must give the same kind of pixels within the loss of
// the format and refuse or flag the same damage.

#include <gtest/gtest.h>

#include <cstdlib>

#include "display/jpeg_decoder.h"
#include "display_test_support.h"

namespace zor {
namespace {

using test::encodeJpeg;

// A smooth picture with some detail: what textures look like.
std::array<std::uint8_t, 4> scenery(int x, int y) {
    return {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4),
            static_cast<std::uint8_t>(128 + ((x / 8 + y / 8) % 2) * 60), 0};
}

TEST(JpegDecoder, ColourComesBackBottomUpInBlueGreenRedCloseToTheOriginal) {
    const Bytes jpeg = encodeJpeg(64, 48, 3, scenery);
    const JpegDecoding d = decodeJpegData(jpeg);
    ASSERT_TRUE(d.image) << jpegDecoderName() << ": " << d.error;
    EXPECT_EQ(d.warnings, 0);
    ASSERT_EQ(d.image->width, 64);
    ASSERT_EQ(d.image->height, 48);
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* p = &d.image->pixels[(std::size_t(47 - y) * 64 + x) * 3];
            const auto c = scenery(x, y);
            for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(p[2 - k]) - int(c[std::size_t(k)])));
        }
    // Quality 100 without subsampling loses a few levels at the squares' edges.
    EXPECT_LE(worst, 8) << jpegDecoderName();
}

TEST(JpegDecoder, GreyBecomesThreeEqualChannels) {
    const JpegDecoding d = decodeJpegData(encodeJpeg(8, 8, 1, [](int, int) { return std::array<std::uint8_t, 4>{100}; }));
    ASSERT_TRUE(d.image) << d.error;
    for (std::size_t i = 0; i < d.image->pixels.size(); i += 3) {
        EXPECT_NEAR(d.image->pixels[i], 100, 1);
        EXPECT_EQ(d.image->pixels[i], d.image->pixels[i + 2]);
    }
}

TEST(JpegDecoder, CmykGarbageAndHugeImagesAreRefused) {
    const JpegDecoding cmyk = decodeJpegData(encodeJpeg(8, 8, 4, [](int, int) { return std::array<std::uint8_t, 4>{1, 2, 3, 4}; }));
    EXPECT_FALSE(cmyk.image);
    EXPECT_EQ(cmyk.error, "CMYK images are not supported");
    const Bytes garbage = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(decodeJpegData(garbage).image);
    // 65000 x 65000 in the frame header: refused before any pixel memory.
    Bytes huge = encodeJpeg(16, 16, 3, scenery);
    for (std::size_t i = 2; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xFD;
            huge[i + 6] = huge[i + 8] = 0xE8;
            break;
        }
    const JpegDecoding big = decodeJpegData(huge);
    EXPECT_FALSE(big.image);
    EXPECT_EQ(big.error, "image is too large");
}

TEST(JpegDecoder, ACutFileIsRefusedOrFlaggedAsDamagedNeverTakenSilently) {
    const Bytes whole = encodeJpeg(32, 32, 3, scenery);
    int damaged = 0;
    for (std::size_t cut = 1; cut < whole.size() - 2; cut += 7) {
        const JpegDecoding d = decodeJpegData(std::span<const std::uint8_t>(whole.data(), cut));
        if (d.image) {
            EXPECT_GT(d.warnings, 0) << jpegDecoderName() << " cut at " << cut;
            EXPECT_EQ(d.image->pixels.size(), std::size_t(32 * 32 * 3));
            ++damaged;
        } else {
            EXPECT_FALSE(d.error.empty());
        }
    }
    // Both decoders fill in what is missing once the header is there.
    EXPECT_GT(damaged, 0) << jpegDecoderName();
}

}  // namespace
}  // namespace zor
