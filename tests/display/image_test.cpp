// Pixel conversion, the colour key, the box filter, JPEG decoding and the
// texture table on the scripted layer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "display_test_support.h"

namespace zor {
namespace {

using test::encodeJpeg;
using test::RecordedDisplay;
using test::solid;
using test::ScratchDir;
using test::writeFile;

std::uint16_t convertOne(const ConversionParameters& c, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const std::uint8_t bgr[3] = {b, g, r};
    std::uint8_t out[2];
    convertPixels(c, bgr, out, 1, 1, 0, 2);
    std::uint16_t v;
    std::memcpy(&v, out, 2);
    return v;
}

TEST(Conversion, ShiftsAndLossesOfBothFormats) {
    const auto c565 = prepareConversion(0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(c565.redShift, 11);
    EXPECT_EQ(c565.greenShift, 5);
    EXPECT_EQ(c565.blueShift, 0);
    EXPECT_EQ(c565.redLoss, 3);
    EXPECT_EQ(c565.greenLoss, 2);
    EXPECT_EQ(c565.blueLoss, 3);
    const auto c555 = prepareConversion(0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(c555.redShift, 10);
    EXPECT_EQ(c555.greenShift, 5);
    EXPECT_EQ(c555.greenLoss, 3);

    // (255, 128, 64): 31 << 11 | 32 << 5 | 8.
    EXPECT_EQ(convertOne(c565, 255, 128, 64), 0xFC08);
    // 5-5-5: 31 << 10 | 16 << 5 | 8.
    EXPECT_EQ(convertOne(c555, 255, 128, 64), 0x7E08);
    // Low bits are dropped, not rounded.
    EXPECT_EQ(convertOne(c565, 7, 3, 7), 0x0000);
    EXPECT_EQ(magentaKey(c565), 0xF81F);
    EXPECT_EQ(magentaKey(c555), 0x7C1F);
}

TEST(Conversion, RowGapAndPitch) {
    const auto c = prepareConversion(0xF800, 0x07E0, 0x001F);
    // Two rows of two pixels, one byte of gap after each source row, pitch 6.
    const std::uint8_t source[] = {0, 0, 255, 0, 255, 0, 99, 255, 0, 0, 255, 255, 255, 77};
    std::uint8_t out[12];
    std::memset(out, 0xAB, sizeof out);
    convertPixels(c, source, out, 2, 2, 1, 6);
    std::uint16_t v[6];
    std::memcpy(v, out, 12);
    EXPECT_EQ(v[0], 0xF800);  // red
    EXPECT_EQ(v[1], 0x07E0);  // green
    EXPECT_EQ(v[2], 0xABAB);  // padding untouched
    EXPECT_EQ(v[3], 0x001F);  // blue
    EXPECT_EQ(v[4], 0xFFFF);  // white
    EXPECT_EQ(v[5], 0xABAB);
}

TEST(Resample, HalvingAveragesThreeByThreeBlocksClippedAtTheEdges) {
    // 4 x 4 source, one channel value per pixel = 10 * (row * 4 + column).
    std::vector<std::uint8_t> source(4 * 4 * 3);
    for (int i = 0; i < 16; ++i) source[i * 3] = source[i * 3 + 1] = source[i * 3 + 2] = static_cast<std::uint8_t>(i * 10);
    std::vector<std::uint8_t> out(2 * 2 * 3, 0xEE);
    resampleImage(source.data(), out.data(), 4, 4, 2, 2);
    // (0,0): rows 0-2, columns 0-2: mean of 0,10,20,40,50,60,80,90,100 = 50.
    EXPECT_EQ(out[0], 50);
    // (1,0): columns 2-3 only (4 is outside), rows 0-2: 20,30,60,70,100,110 -> 65.
    EXPECT_EQ(out[3], 65);
    // (0,1): rows 2-3, columns 0-2: 80,90,100,120,130,140 -> 110.
    EXPECT_EQ(out[6], 110);
    // (1,1): rows 2-3, columns 2-3: 100,110,140,150 -> 125.
    EXPECT_EQ(out[9], 125);
}

TEST(Resample, IntegerDivisionOfSumsPerChannel) {
    const std::uint8_t source[] = {1, 2, 3, 2, 2, 255};
    std::uint8_t out[3];
    resampleImage(source, out, 2, 1, 1, 1);
    EXPECT_EQ(out[0], 1);  // (1 + 2) / 2
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 129);  // (3 + 255) / 2
}

TEST(Jpeg, ColourImageDecodesBottomUpInBlueGreenRed) {
    // Top half red, bottom half blue.
    const Bytes jpeg = encodeJpeg(16, 16, 3, [](int, int y) {
        return y < 8 ? std::array<std::uint8_t, 4>{255, 0, 0, 0} : std::array<std::uint8_t, 4>{0, 0, 255, 0};
    });
    Diagnostics diags;
    const auto image = decodeJpeg(jpeg, "split.jpg", &diags);
    ASSERT_TRUE(image) << (diags.empty() ? "" : diags.items()[0].text());
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->height, 16);
    ASSERT_EQ(image->pixels.size(), 16u * 16 * 3);
    // First row in memory is the image's last (blue): B high, R low.
    EXPECT_GT(image->pixels[0], 240);
    EXPECT_LT(image->pixels[2], 15);
    const std::size_t lastRow = 15 * 16 * 3;
    EXPECT_LT(image->pixels[lastRow], 15);
    EXPECT_GT(image->pixels[lastRow + 2], 240);
}

TEST(Jpeg, GreyImageBecomesThreeEqualChannels) {
    const Bytes jpeg = encodeJpeg(8, 8, 1, solid(100, 0, 0));
    const auto image = decodeJpeg(jpeg, "grey.jpg", nullptr);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->pixels.size(), 8u * 8 * 3);
    for (std::size_t i = 0; i < image->pixels.size(); i += 3) {
        EXPECT_NEAR(image->pixels[i], 100, 1);
        EXPECT_EQ(image->pixels[i], image->pixels[i + 1]);
        EXPECT_EQ(image->pixels[i], image->pixels[i + 2]);
    }
}

TEST(Jpeg, CmykAndGarbageAreRefusedWithTheFileName) {
    Diagnostics diags;
    EXPECT_FALSE(decodeJpeg(encodeJpeg(8, 8, 4, solid(1, 2, 3)), "print.jpg", &diags));
    EXPECT_TRUE(diags.contains("CMYK"));
    EXPECT_EQ(diags.items().back().file, "print.jpg");
    const Bytes garbage = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(decodeJpeg(garbage, "broken.jpg", &diags));
    EXPECT_EQ(diags.items().back().file, "broken.jpg");
    // A truncated file: the header survives, the data does not.
    Bytes cut = encodeJpeg(64, 64, 3, solid(10, 20, 30));
    cut.resize(cut.size() / 3);
    EXPECT_FALSE(decodeJpeg(Bytes(cut.begin(), cut.begin() + 20), "cut.jpg", &diags));
    EXPECT_FALSE(decodeJpeg({}, "empty.jpg", &diags));
}

TEST(Jpeg, ArchiveOnlyImageLoadsAndLeavesNoFileBehind) {
    ScratchDir folder("archive-only");
    {
        PackFile pack((folder / "zor.dat").string());
        ASSERT_TRUE(pack.addData(encodeJpeg(8, 8, 3, solid(0, 255, 0)), "packed.jpg"));
    }
    RecordedDisplay display;
    display.context.source.directory = folder.path();
    display.context.source.archiveName = "zor.dat";
    const auto before = std::distance(std::filesystem::directory_iterator(folder.path()), {});
    const auto image = loadJpeg(display.context, "packed.jpg");
    ASSERT_TRUE(image);
    EXPECT_GT(image->pixels[1], 240);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), before);
    EXPECT_FALSE(std::filesystem::exists("packed.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder / "packed.jpg"));
    // The disk copy wins over the archive entry.
    writeFile(folder / "packed.jpg", encodeJpeg(8, 8, 3, solid(255, 0, 0)));
    const auto disk = loadJpeg(display.context, "packed.jpg");
    ASSERT_TRUE(disk);
    EXPECT_GT(disk->pixels[2], 240);
    EXPECT_FALSE(loadJpeg(display.context, "missing.jpg"));
}

TEST(Logo, NearMagentaSnapsAndBecomesTheColourKey) {
    ScratchDir folder("logo");
    // Left column near-magenta (250, 10, 245), right column (240, 0, 255), on an 8x2 image
    // with 4-pixel blocks so JPEG keeps each block's colour.
    writeFile(folder / "skane.jpg", encodeJpeg(16, 16, 3, [](int x, int) {
                  return x < 8 ? std::array<std::uint8_t, 4>{250, 10, 245, 0}
                               : std::array<std::uint8_t, 4>{232, 0, 255, 0};
              }));
    RecordedDisplay display;
    ASSERT_TRUE(display.up);
    display.context.source.directory = folder.path();
    Image logo;
    loadImageSurface(display.context, logo, "skane.jpg");
    ASSERT_NE(logo.surface, SurfaceId::none);
    EXPECT_EQ(logo.name, "skane.jpg");
    EXPECT_EQ(logo.width, 16);
    EXPECT_EQ(logo.height, 16);
    const MemorySurface& s = display.layer.surface(logo.surface);
    ASSERT_TRUE(s.colorKey);
    EXPECT_EQ(*s.colorKey, 0xF81F);
    EXPECT_EQ(s.desc.caps, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
    EXPECT_EQ(s.pixel(0, 0), 0xF81F);
    EXPECT_EQ(s.pixel(2, 15), 0xF81F);
    // Red 232 is not above 240: kept, so not transparent.
    EXPECT_NE(s.pixel(12, 0), 0xF81F);
    EXPECT_THAT(display.layer.calls, ::testing::Contains("setColorKey 0x8 0xF81F 0xF81F"));

    // Blitting keeps the destination where the logo is transparent.
    std::vector<std::uint8_t>& backBytes = display.layer.surface(display.context.state.backBuffer).bytes;
    for (std::size_t i = 0; i + 1 < backBytes.size(); i += 2) backBytes[i] = 0x34, backBytes[i + 1] = 0x12;
    blitLogo(display.context, logo);
    EXPECT_EQ(display.layer.calls.back(), "blt 2 <- " + std::to_string(static_cast<int>(logo.surface)) +
                                              " 0x8008000 rect");
}

TEST(Logo, FifteenBitKeyAndTopDownRows) {
    ScratchDir folder("logo15");
    writeFile(folder / "skane.jpg", encodeJpeg(16, 16, 3, [](int, int y) {
                  return y < 8 ? std::array<std::uint8_t, 4>{255, 255, 255, 0} : std::array<std::uint8_t, 4>{0, 0, 0, 0};
              }));
    RecordedDisplay display(15);
    ASSERT_TRUE(display.up);
    display.context.source.directory = folder.path();
    Image logo;
    loadImageSurface(display.context, logo, "skane.jpg");
    ASSERT_NE(logo.surface, SurfaceId::none);
    const MemorySurface& s = display.layer.surface(logo.surface);
    EXPECT_EQ(*s.colorKey, 0x7C1F);
    // Top rows white, bottom rows black.
    EXPECT_EQ(s.pixel(0, 0), 0x7FFF);
    EXPECT_EQ(s.pixel(0, 15), 0x0000);
}

TEST(Logo, MissingImageOrOverlongNameLeavesNoSurface) {
    RecordedDisplay display;
    Image logo;
    loadImageSurface(display.context, logo, "nowhere.jpg");
    EXPECT_EQ(logo.surface, SurfaceId::none);
    Image longName;
    loadImageSurface(display.context, longName, std::string(32, 'a'));
    EXPECT_EQ(longName.surface, SurfaceId::none);
    EXPECT_TRUE(display.diagnostics.contains("longer than 31"));
}

struct TextureCase {
    std::uint32_t caps;
    int width, height;
    std::uint32_t expectWidth, expectHeight;
    std::uint32_t levels;
};

TEST(Textures, SizesAndLevelCountsUnderEachCapability) {
    const std::vector<TextureCase> cases = {
        {0, 300, 200, 300, 200, 5},
        {D3DPTEXTURECAPS_POW2, 300, 200, 512, 256, 5},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, 300, 200, 512, 512, 5},
        {D3DPTEXTURECAPS_SQUAREONLY, 100, 20, 100, 100, 3},
        {D3DPTEXTURECAPS_POW2, 1, 128, 1, 128, 1},
        {0, 20, 300, 20, 300, 1},
        {0, 32, 8, 32, 8, 2},
        {0, 255, 8, 255, 8, 4},
    };
    for (const auto& c : cases) {
        RecordedDisplay display;
        display.layer.textureCaps = c.caps;
        Texture t;
        ASSERT_TRUE(createTextureSurface(display.context, t, c.width, c.height, true));
        const MemorySurface& top = display.layer.surface(t.surface);
        EXPECT_EQ(top.desc.width, c.expectWidth) << c.width << "x" << c.height;
        EXPECT_EQ(top.desc.height, c.expectHeight) << c.width << "x" << c.height;
        EXPECT_EQ(top.desc.mipMapCount, c.levels) << c.width;
        EXPECT_EQ(top.desc.flags, 0x20007u);
        EXPECT_EQ(top.desc.caps, 0x401008u);
        EXPECT_EQ(top.desc.caps2, 0x20000u);
    }
    RecordedDisplay display;
    Texture flat;
    ASSERT_TRUE(createTextureSurface(display.context, flat, 300, 200, false));
    EXPECT_EQ(display.layer.surface(flat.surface).desc.mipMapCount, 1u);
}

TEST(Textures, CacheByExactNameAndFailedNamesKeepTheirIndex) {
    ScratchDir folder("texture-cache");
    writeFile(folder / "Wood.jpg", encodeJpeg(64, 32, 3, solid(200, 100, 50)));
    writeFile(folder / "wood.jpg", encodeJpeg(16, 16, 3, solid(10, 20, 30)));
    RecordedDisplay display;
    display.context.source.directory = folder.path();
    EXPECT_EQ(loadTextureFile(display.context, "Wood.jpg"), 0);
    const auto creates = display.layer.callsStartingWith("createSurface").size();
    EXPECT_EQ(loadTextureFile(display.context, "Wood.jpg"), 0);
    EXPECT_EQ(display.layer.callsStartingWith("createSurface").size(), creates);  // not read again
    EXPECT_EQ(loadTextureFile(display.context, "wood.jpg"), 1);
    EXPECT_EQ(findTexture(display.context, "wood.jpg"), 1);
    EXPECT_EQ(findTexture(display.context, "WOOD.jpg"), -1);
    EXPECT_EQ(loadTextureFile(display.context, "gone.jpg"), -1);
    ASSERT_EQ(display.context.textures.size(), 3u);
    EXPECT_EQ(display.context.textures[2].surface, SurfaceId::none);
    EXPECT_EQ(loadTextureFile(display.context, "gone.jpg"), 2);  // the entry stays
    EXPECT_EQ(loadTextureFile(display.context, std::string(64, 'x') + ".jpg"), -1);
    EXPECT_EQ(display.context.textures.size(), 3u);
}

// Textures are kept per exact name; one small file named five ways would be
// decoded and kept five times. All textures together keep to 2^24 texels.
TEST(Textures, AllTexturesTogetherKeepToABudget) {
    ScratchDir folder("texture-budget");
    writeFile(folder / "big.jpg", encodeJpeg(2048, 2048, 3, solid(90, 90, 90)));
    writeFile(folder / "big.avi", Bytes{1});  // no mip levels to build
    RecordedDisplay display;
    Diagnostics diagnostics;
    display.context.diagnostics = &diagnostics;
    display.context.source.directory = folder.path();
    const char* names[] = {"big.jpg", "./big.jpg", ".//big.jpg", "././big.jpg", ".///big.jpg"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(loadTextureFile(display.context, names[i]), i) << names[i];
    EXPECT_EQ(loadTextureFile(display.context, names[4]), -1);
    EXPECT_TRUE(diagnostics.contains("texture refused: the scene's textures would pass 16777216 texels"));
    EXPECT_EQ(display.context.textures[4].surface, SurfaceId::none);
}

TEST(Textures, LevelsHoldTheBoxFilteredImageBottomUp) {
    ScratchDir folder("texture-levels");
    // 64 x 32: top half white, bottom half black. Texture row 0 is the image's last row.
    writeFile(folder / "half.jpg", encodeJpeg(64, 32, 3, [](int, int y) {
                  return y < 16 ? std::array<std::uint8_t, 4>{255, 255, 255, 0} : std::array<std::uint8_t, 4>{0, 0, 0, 0};
              }));
    RecordedDisplay display;
    display.context.source.directory = folder.path();
    const int index = loadTextureFile(display.context, "half.jpg");
    ASSERT_EQ(index, 0);
    const SurfaceId top = display.context.textures[0].surface;
    const MemorySurface& level0 = display.layer.surface(top);
    EXPECT_EQ(level0.desc.mipMapCount, 3u);
    EXPECT_EQ(level0.pixel(0, 0), 0x0000);
    EXPECT_EQ(level0.pixel(0, 31), 0xFFFF);
    ASSERT_NE(level0.attached, SurfaceId::none);
    const MemorySurface& level1 = display.layer.surface(level0.attached);
    EXPECT_EQ(level1.desc.width, 32u);
    EXPECT_EQ(level1.desc.height, 16u);
    EXPECT_EQ(level1.pixel(0, 0), 0x0000);
    EXPECT_EQ(level1.pixel(0, 15), 0xFFFF);
    const MemorySurface& level2 = display.layer.surface(level1.attached);
    EXPECT_EQ(level2.desc.width, 16u);
    EXPECT_EQ(level2.attached, SurfaceId::none);
    // Every temporary surface was released after its blit.
    EXPECT_EQ(display.layer.callsStartingWith("releaseSurface").size(), 3u);
    EXPECT_EQ(display.layer.callsStartingWith("blt").size(), 3u);
}

TEST(Textures, AviCompanionTurnsOffMipLevels) {
    ScratchDir folder("texture-avi");
    writeFile(folder / "movie.jpg", encodeJpeg(256, 16, 3, solid(1, 2, 3)));
    writeFile(folder / "still.jpg", encodeJpeg(256, 16, 3, solid(1, 2, 3)));
    writeFile(folder / "movie.avi", Bytes{1, 2, 3});
    RecordedDisplay display;
    display.context.source.directory = folder.path();
    ASSERT_EQ(loadTextureFile(display.context, "movie.jpg"), 0);
    ASSERT_EQ(loadTextureFile(display.context, "still.jpg"), 1);
    EXPECT_EQ(display.layer.surface(display.context.textures[0].surface).desc.mipMapCount, 1u);
    EXPECT_EQ(display.layer.surface(display.context.textures[1].surface).desc.mipMapCount, 5u);
}

TEST(Textures, SystemMemoryFallbackAndFatalSecondFailure) {
    RecordedDisplay display;
    display.layer.failing = {"createSurface:video"};
    const SurfaceId s = createOffscreenSurface(display.context, display.context.state.primary, 8, 8);
    ASSERT_NE(s, SurfaceId::none);
    EXPECT_EQ(display.layer.surface(s).desc.caps, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);

    display.layer.failing = {"createSurface:video", "createSurface:system"};
    EXPECT_EQ(createOffscreenSurface(display.context, display.context.state.primary, 8, 8), SurfaceId::none);
    EXPECT_THAT(display.messages, ::testing::ElementsAre("ERROR!: DDraw error!"));
    ASSERT_TRUE(display.context.fatalError);
    EXPECT_EQ(display.context.fatalError->status, kDisplayFailureStatus);
    // The program is ending: no further texture is made, and no second box.
    EXPECT_EQ(loadTextureFile(display.context, "any.jpg"), -1);
    EXPECT_EQ(display.messages.size(), 1u);
}

}  // namespace
}  // namespace zor
