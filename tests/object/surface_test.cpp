#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "object/surface.h"
#include "test_files.h"

namespace zor {
namespace {

using test::concat;
using test::sub;
using test::subColor;
using test::subF32;
using test::subText;
using test::subU16;
using test::subVec;
using test::TextureRecorder;

constexpr double kPi = 3.14159265358979323846;

struct SurfaceFixture : testing::Test {
    Surface surface;
    ImageKind lastImage = ImageKind::None;
    TextureRecorder textures;
    std::string error;

    bool apply(const Bytes& subChunks) {
        return applySurfaceChunk(surface, lastImage, subChunks, textures.loader(), error);
    }
};

TEST_F(SurfaceFixture, ColourTransparencyAndProjectionFields) {
    ASSERT_TRUE(apply(concat({subF32("VTRN", 0.75f), subColor(255, 128, 3)}))) << error;
    EXPECT_THAT(surface.color, testing::ElementsAre(255.0f, 128.0f, 3.0f));
    EXPECT_EQ(surface.transparency, 0.0f);  // COLR clears it

    ASSERT_TRUE(apply(concat({subF32("VTRN", 0.75f), subVec("TSIZ", 1, 2, 3), subVec("TCTR", 4, 5, 6),
                              subF32("TFP0", 2.5f), subF32("TFP1", 0.5f)})));
    EXPECT_EQ(surface.transparency, 0.75f);
    EXPECT_THAT(surface.size, testing::ElementsAre(1.0f, 2.0f, 3.0f));
    EXPECT_THAT(surface.center, testing::ElementsAre(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(surface.wrapWidth, 2.5f);
    EXPECT_EQ(surface.wrapHeight, 0.5f);
}

TEST_F(SurfaceFixture, FlagReplacesTheType) {
    surface.type = 0xFF;
    ASSERT_TRUE(apply(subU16("FLAG", 0x0000)));
    EXPECT_EQ(surface.type, 1);  // flat shaded
    ASSERT_TRUE(apply(subU16("FLAG", 0x0004)));
    EXPECT_EQ(surface.type, 4);
    ASSERT_TRUE(apply(subU16("FLAG", 0x0002)));
    EXPECT_EQ(surface.type, 1 | 32);
    ASSERT_TRUE(apply(subU16("FLAG", 0x0106)));
    EXPECT_EQ(surface.type, 4 | 32 | 8);
}

TEST_F(SurfaceFixture, FlagAfterCtexDropsTexturedAndBeforeKeepsIt) {
    ASSERT_TRUE(apply(concat({subU16("FLAG", 0x4), subText("CTEX", "Planar Image Map")})));
    EXPECT_EQ(surface.type, 4 | 2);
    ASSERT_TRUE(apply(concat({subText("CTEX", "Planar Image Map"), subU16("FLAG", 0x4)})));
    EXPECT_EQ(surface.type, 4);
}

TEST_F(SurfaceFixture, CtexSetsMappingAndClearsTheCentre) {
    ASSERT_TRUE(apply(concat({subVec("TCTR", 1, 2, 3), subText("CTEX", "Spherical Image Map")})));
    EXPECT_EQ(surface.mapping, "Spherical Image Map");
    EXPECT_THAT(surface.center, testing::ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(lastImage, ImageKind::Color);
    // A centre given after the CTEX stays.
    ASSERT_TRUE(apply(subVec("TCTR", 1, 2, 3)));
    EXPECT_THAT(surface.center, testing::ElementsAre(1.0f, 2.0f, 3.0f));
}

TEST_F(SurfaceFixture, TimgAfterCtexLoadsTheFileNameAfterTheLastBackslash) {
    ASSERT_TRUE(apply(concat({subText("CTEX", "Planar Image Map"),
                              subText("TIMG", "C:\\Users\\demo\\images\\Wood.JPG")})));
    EXPECT_THAT(textures.names, testing::ElementsAre("Wood.JPG"));
    EXPECT_EQ(surface.textureIndex, 7);
    EXPECT_EQ(surface.type & 2, 2);
}

TEST_F(SurfaceFixture, TimgAfterRimgLoadsNothing) {
    ASSERT_TRUE(apply(concat({subText("RIMG", "chrome.jpg"), subText("TIMG", "wood.jpg")})));
    EXPECT_THAT(textures.names, testing::ElementsAre("chrome.jpg"));
    EXPECT_EQ(surface.reflectionTextureIndex, 7);
    EXPECT_EQ(surface.textureIndex, 0);
    EXPECT_EQ(surface.type, 64);
    EXPECT_EQ(lastImage, ImageKind::Reflection);

    // The kind carries over to the next chunk; a CTEX turns it back to colour.
    ASSERT_TRUE(apply(subText("TIMG", "wood.jpg")));
    EXPECT_EQ(textures.names.size(), 1u);
    ASSERT_TRUE(apply(concat({subText("CTEX", "Planar Image Map"), subText("TIMG", "wood.jpg")})));
    EXPECT_THAT(textures.names, testing::ElementsAre("chrome.jpg", "wood.jpg"));
    EXPECT_EQ(surface.textureIndex, 8);
}

TEST_F(SurfaceFixture, TimgWithNoImageKindYetLoadsNothing) {
    ASSERT_TRUE(apply(subText("TIMG", "wood.jpg")));
    EXPECT_TRUE(textures.names.empty());
}

TEST_F(SurfaceFixture, FailedImageIsStoredAs65535) {
    textures.missing = {"gone.jpg"};
    ASSERT_TRUE(apply(concat({subText("RIMG", "x\\gone.jpg")})));
    EXPECT_EQ(surface.reflectionTextureIndex, 65535);
}

TEST_F(SurfaceFixture, NoLoaderMeansNoTexture) {
    ASSERT_TRUE(applySurfaceChunk(surface, lastImage, subText("RIMG", "a.jpg"), TextureLoader{}, error));
    EXPECT_EQ(surface.reflectionTextureIndex, 65535);
}

TEST_F(SurfaceFixture, TflgHighestBitWinsAndNoBitsKeepTheAxis) {
    ASSERT_TRUE(apply(subU16("TFLG", 0x2)));
    EXPECT_EQ(surface.axis, 1);
    ASSERT_TRUE(apply(subU16("TFLG", 0x0)));
    EXPECT_EQ(surface.axis, 1);
    ASSERT_TRUE(apply(subU16("TFLG", 0x3)));
    EXPECT_EQ(surface.axis, 1);
    ASSERT_TRUE(apply(subU16("TFLG", 0x64)));  // as in a real file: 0x4 plus other bits
    EXPECT_EQ(surface.axis, 2);
    ASSERT_TRUE(apply(subU16("TFLG", 0x1)));
    EXPECT_EQ(surface.axis, 0);
}

TEST_F(SurfaceFixture, UnknownSubChunksAreSkippedBySize) {
    ASSERT_TRUE(apply(concat({sub("LUMI", {0, 0}), sub("ALPH", {0, 2, 0, 0xFF}), sub("XYZW", {}),
                              subColor(10, 20, 30)})));
    EXPECT_THAT(surface.color, testing::ElementsAre(10.0f, 20.0f, 30.0f));
}

TEST(PathFileName, TakesTheTextAfterTheLastBackslash) {
    EXPECT_EQ(pathFileName("C:\\a\\b\\tex.jpg"), "tex.jpg");
    EXPECT_EQ(pathFileName("tex.jpg"), "tex.jpg");
    EXPECT_EQ(pathFileName("images/tex.jpg"), "images/tex.jpg");
    EXPECT_EQ(pathFileName("C:\\images\\"), "");
}

// Malformed sub-chunks: refused as a whole, the surface untouched and no
// image requested, even for sub-chunks before the bad one.
struct BadSubChunk {
    const char* what;
    Bytes bytes;
    const char* message;
};

void PrintTo(const BadSubChunk& c, std::ostream* out) { *out << c.what; }

class MalformedSurfaceChunk : public testing::TestWithParam<BadSubChunk> {};

TEST_P(MalformedSurfaceChunk, IsRefusedWithoutChanges) {
    Surface surface;
    surface.type = 0x55;
    ImageKind lastImage = ImageKind::None;
    TextureRecorder textures;
    std::string error;
    const Bytes chunk = concat({subText("RIMG", "first.jpg"), subColor(1, 2, 3), GetParam().bytes});
    EXPECT_FALSE(applySurfaceChunk(surface, lastImage, chunk, textures.loader(), error));
    EXPECT_THAT(error, testing::HasSubstr(GetParam().message));
    EXPECT_EQ(surface.type, 0x55);
    EXPECT_EQ(surface.color[0], 0.0f);
    EXPECT_EQ(lastImage, ImageKind::None);
    EXPECT_TRUE(textures.names.empty());
}

Bytes header(std::string_view id, std::int16_t size) { return test::be().append(id).i16(size).bytes(); }

INSTANTIATE_TEST_SUITE_P(
    Object, MalformedSurfaceChunk,
    testing::Values(
        BadSubChunk{"PastTheEnd", concat({header("COLR", 8), Bytes{1, 2, 3, 4}}), "runs past the end"},
        BadSubChunk{"NegativeSize", header("COLR", -2), "negative size"},
        BadSubChunk{"HeaderCutOff", Bytes{'C', 'O', 'L'}, "header cut off"},
        BadSubChunk{"ShortFlag", sub("FLAG", {1}), "fewer than the 2"},
        BadSubChunk{"ShortSize", sub("TSIZ", Bytes(8, 0)), "fewer than the 12"},
        BadSubChunk{"ShortTransparency", sub("VTRN", {0, 0}), "fewer than the 4"},
        BadSubChunk{"UnterminatedImage", sub("TIMG", {'a', 'b'}), "no terminating zero"},
        BadSubChunk{"UnterminatedMapping", sub("CTEX", {'P', 'l'}), "no terminating zero"},
        BadSubChunk{"LongMapping", subText("CTEX", std::string(50, 'M')), "longer than 49"}),
    [](const testing::TestParamInfo<BadSubChunk>& info) { return std::string(info.param.what); });

TEST(MapTexture, PlanarExamples) {
    Surface s;
    s.mapping = "Planar Image Map";
    s.axis = 2;
    s.size[0] = s.size[1] = s.size[2] = 2;
    TextureCoordinates uv = mapTexture(s, 1, 1, 5);
    EXPECT_FLOAT_EQ(uv.u, 1.0f);
    EXPECT_FLOAT_EQ(uv.v, 1.0f);
    uv = mapTexture(s, -1, -1, 0);
    EXPECT_FLOAT_EQ(uv.u, 0.0f);
    EXPECT_FLOAT_EQ(uv.v, 0.0f);

    // Axis X takes (z, y), axis Y (x, z); the centre shifts, sizes scale.
    s.center[0] = 1;
    s.center[1] = 2;
    s.center[2] = 3;
    s.size[0] = 4;
    s.size[1] = 8;
    s.size[2] = 16;
    s.axis = 0;
    uv = mapTexture(s, 100, 6, 7);
    EXPECT_FLOAT_EQ(uv.u, (7.0f - 3) / 16 + 0.5f);
    EXPECT_FLOAT_EQ(uv.v, (6.0f - 2) / 8 + 0.5f);
    s.axis = 1;
    uv = mapTexture(s, 3, 100, 7);
    EXPECT_FLOAT_EQ(uv.u, (3.0f - 1) / 4 + 0.5f);
    EXPECT_FLOAT_EQ(uv.v, (7.0f - 3) / 16 + 0.5f);
}

TEST(MapTexture, CylindricalExamples) {
    Surface s;
    s.mapping = "Cylindrical Image Map";
    s.axis = 1;
    s.wrapWidth = 1;
    s.size[0] = s.size[1] = s.size[2] = 1;
    // +X side: angle 0.
    TextureCoordinates uv = mapTexture(s, 1, 0.25f, 0);
    EXPECT_FLOAT_EQ(uv.u, 0.75f);
    EXPECT_FLOAT_EQ(uv.v, 0.75f);
    // -Z side: angle pi/2, with 1/3.14 rather than 1/pi.
    uv = mapTexture(s, 0, 0, -1);
    EXPECT_FLOAT_EQ(uv.u, static_cast<float>(1.0 - (kPi / 4 / 3.14 + 0.25)));
    EXPECT_NEAR(uv.u, 0.49987, 1e-5);

    // Axis Z, wrap 2: the point (0, 1, 0) lies at angle pi/2.
    s.axis = 2;
    s.wrapWidth = 2;
    uv = mapTexture(s, 0, 1, 0.5f);
    EXPECT_FLOAT_EQ(uv.u, static_cast<float>(1.0 - (kPi / 2 / 3.14 + 0.25)));
    EXPECT_FLOAT_EQ(uv.v, 1.0f);
    // Axis X: p = y, q = -z; the point (0.5, 0, -1) lies at angle 0.
    s.axis = 0;
    uv = mapTexture(s, 0.5f, 0, -1);
    EXPECT_FLOAT_EQ(uv.u, 0.75f);
    EXPECT_FLOAT_EQ(uv.v, 1.0f);
}

TEST(MapTexture, SphericalExamples) {
    Surface s;
    s.mapping = "Spherical Image Map";
    s.axis = 1;
    s.wrapWidth = 1;
    s.wrapHeight = 1;
    s.size[0] = s.size[1] = s.size[2] = 1000;  // not used
    TextureCoordinates uv = mapTexture(s, 0, 1, 0);
    EXPECT_FLOAT_EQ(uv.u, -0.25f);
    EXPECT_FLOAT_EQ(uv.v, static_cast<float>(kPi / 8 + 0.5));
    EXPECT_NEAR(uv.v, 0.8927, 1e-4);

    // Axis Y: p = dz, q = dx. The point (0, 0, 2) lies at angle pi/2 on the equator.
    uv = mapTexture(s, 0, 0, 2);
    const double kSingle = 1.0 / static_cast<double>(3.14f);
    EXPECT_FLOAT_EQ(uv.u, static_cast<float>(kPi / 2 * 0.5 * kSingle - 0.25));
    EXPECT_FLOAT_EQ(uv.v, 0.5f);

    // Axis Z with a centre: d = (1, 0, -1) gives angle atan2(1, 0) = pi/2 and
    // latitude asin(-1/sqrt 2) = -pi/4.
    s.axis = 2;
    s.center[0] = 1;
    s.center[2] = 2;
    uv = mapTexture(s, 2, 0, 1);
    EXPECT_FLOAT_EQ(uv.u, static_cast<float>(kPi / 2 * 0.5 * kSingle - 0.25));
    EXPECT_FLOAT_EQ(uv.v, static_cast<float>(-kPi / 4 * 0.25 + 0.5));

    // The centre itself has no direction: a finite result.
    uv = mapTexture(s, 1, 0, 2);
    EXPECT_TRUE(std::isfinite(uv.u));
    EXPECT_TRUE(std::isfinite(uv.v));
}

TEST(MapTexture, OtherMappingsGiveZero) {
    Surface s;
    s.size[0] = s.size[1] = s.size[2] = 1;
    for (const char* mapping : {"", "planar image map", "Cubic Image Map"}) {
        s.mapping = mapping;
        const TextureCoordinates uv = mapTexture(s, 3, 4, 5);
        EXPECT_EQ(uv.u, 0.0f) << mapping;
        EXPECT_EQ(uv.v, 0.0f) << mapping;
    }
}

}  // namespace
}  // namespace zor
