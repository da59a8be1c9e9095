// Bad JPEG images on the texture path: decode from memory, conversion to
// 16-bit pixels and mip levels. A refused image is a missing texture with a
// warning naming the file; nothing is ever written to disk.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display/display.h"
#include "robustness_util.h"
#include "support/recording_display_layer.h"
#include "writers/jpeg_writer.h"

namespace zor::robust {
namespace {

Bytes smallJpeg(int w = 24, int h = 16) {
    write::RgbImage image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = image.at(x, y);
            p[0] = static_cast<std::uint8_t>(x * 10);
            p[1] = static_cast<std::uint8_t>(y * 15);
            p[2] = 128;
        }
    return write::encodeJpeg(image);
}

// Offset of the start-of-frame marker's height field.
std::size_t frameHeaderSize(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    return 0;
}

TEST(BadImage, EmptyAndWrongMagicAreRefusedWithTheName) {
    {
        Diagnostics d;
        EXPECT_FALSE(decodeJpeg({}, "skin.jpg", &d));
        EXPECT_TRUE(d.contains("empty JPEG file")) << report(d);
        EXPECT_EQ(d.items().at(0).file, "skin.jpg");
    }
    {
        Diagnostics d;
        const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
        EXPECT_FALSE(decodeJpeg(png, "skin.jpg", &d));
        EXPECT_TRUE(d.contains("cannot decode JPEG: Not a JPEG file")) << report(d);
        // Nothing of the file's content is echoed.
        EXPECT_FALSE(d.contains("0x89")) << report(d);
        EXPECT_FALSE(d.contains("0x50")) << report(d);
    }
}

TEST(BadImage, TruncatedAtEveryLengthIsRefusedOrWarned) {
    const Bytes whole = smallJpeg();
    int refused = 0;
    int damaged = 0;
    for (std::size_t cut = 1; cut < whole.size(); ++cut) {
        Diagnostics d;
        const auto image = decodeJpeg(std::span<const std::uint8_t>(whole.data(), cut), "cut.jpg", &d);
        ASSERT_FALSE(d.empty()) << "a damaged image is never taken silently, cut at " << cut;
        if (!image) {
            ++refused;
            EXPECT_TRUE(d.contains("cannot decode JPEG: ")) << report(d);
        } else {
            ++damaged;
            EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width * image->height * 3));
            EXPECT_TRUE(d.contains("JPEG data is damaged")) << report(d);
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(damaged, 0);
}

TEST(BadImage, LyingDimensionsAreRefusedBeforeAllocation) {
    const Bytes whole = smallJpeg();
    const std::size_t at = frameHeaderSize(whole);
    ASSERT_GT(at, 0u);
    struct Case {
        std::uint16_t height, width;
        std::string message;
    };
    // A few kilobytes declaring 8192 x 8192 once took 192 MiB per image to
    // decode; no side may pass the largest texture, 2048.
    for (const Case& c : {Case{65000, 65000, "image of 65000 x 65000 pixels is refused"},
                          Case{8192, 8192, "image of 8192 x 8192 pixels is refused: the largest texture is 2048 x 2048"},
                          Case{16, 2049, "image of 2049 x 16 pixels is refused"},
                          Case{0, 24, "cannot decode JPEG: "},
                          Case{16, 0, "cannot decode JPEG: "}}) {
        Bytes lying = whole;
        lying[at] = static_cast<std::uint8_t>(c.height >> 8);
        lying[at + 1] = static_cast<std::uint8_t>(c.height);
        lying[at + 2] = static_cast<std::uint8_t>(c.width >> 8);
        lying[at + 3] = static_cast<std::uint8_t>(c.width);
        Diagnostics d;
        EXPECT_FALSE(decodeJpeg(lying, "big.jpg", &d)) << c.height << "x" << c.width;
        EXPECT_TRUE(d.contains(c.message)) << report(d);
    }
}

TEST(BadImage, GarbageAfterAValidHeaderNeverReadsOutside) {
    Bytes jpeg = smallJpeg(40, 40);
    const std::size_t at = frameHeaderSize(jpeg);
    for (std::size_t i = at + 40; i + 2 < jpeg.size(); i += 7) jpeg[i] ^= 0x5A;
    Diagnostics d;
    const auto image = decodeJpeg(jpeg, "noise.jpg", &d);
    EXPECT_FALSE(d.empty());
    if (image) {
        // Whatever came out converts and filters within its own bounds.
        std::vector<std::uint8_t> out(static_cast<std::size_t>(image->width * image->height * 2));
        convertPixels(prepareConversion(0xF800, 0x07E0, 0x001F), image->pixels.data(), out.data(), image->width,
                      image->height, 0, image->width * 2);
        std::vector<std::uint8_t> half(static_cast<std::size_t>((image->width / 2) * (image->height / 2) * 3));
        resampleImage(image->pixels.data(), half.data(), image->width, image->height, image->width / 2,
                      image->height / 2);
    }
}

TEST(BadImage, NamesWithSeparatorsAreReadFromMemoryAndNothingIsWritten) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "play");
    RawArchive a;
    a.add("../up.jpg", smallJpeg());
    a.add("sub\\x.jpg", smallJpeg(8, 8));
    writeBytes(dir / "play" / "zor.dat", a.bytes());

    RecordingDisplayLayer layer;
    DisplayContext context(layer);
    Diagnostics d;
    context.diagnostics = &d;
    context.source = DataSource{dir / "play", "zor.dat"};
    const auto up = loadJpeg(context, "../up.jpg");
    ASSERT_TRUE(up) << report(d);
    EXPECT_EQ(up->width, 24);
    const auto sub = loadJpeg(context, "sub\\x.jpg");
    ASSERT_TRUE(sub) << report(d);
    EXPECT_FALSE(loadJpeg(context, "../../missing.jpg"));
    EXPECT_TRUE(d.contains("image not found on disk or in the archive")) << report(d);

    // Decoding from memory leaves no file behind, in the folder or above it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "play"), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace zor::robust
