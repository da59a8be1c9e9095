#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "object/object.h"
#include "test_files.h"

namespace zor {
namespace {

using namespace test;
using testing::ElementsAre;

struct ObjectFileTest : testing::Test {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader{DataSource{}, textures.loader(), &diags};
    Mesh mesh;

    bool parse(const Bytes& file, std::string_view name = "test.lwo") { return loader.parseObject(name, file, mesh); }
};

TEST_F(ObjectFileTest, PointsPolygonsColoursFlagsAndNormals) {
    const Bytes file = lwob({
        srfs({"Red", "Glass"}),
        pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}}),
        pols({{{0, 1, 2}, 1}, {{1, 0, 3, 4}, 2}, {{2}, 1}, {{3, 4}, 2}}),
        surf("Red", {subColor(255, 0, 1), subU16("FLAG", 0x4)}),
        surf("Glass", {subColor(254, 128, 64), subU16("FLAG", 0x100), subF32("VTRN", 0.6f)}),
    });
    ASSERT_TRUE(parse(file));
    EXPECT_TRUE(diags.empty());
    ASSERT_EQ(mesh.pointCount, 5);
    ASSERT_EQ(mesh.polygonCount, 4);
    EXPECT_THAT(mesh.points[4].position, ElementsAre(1.0f, 0.0f, 1.0f));

    const MeshPolygon& triangle = mesh.polygons[0];
    EXPECT_EQ(triangle.vertexCount, 3);
    EXPECT_THAT(triangle.pointIndices, ElementsAre(0, 1, 2));
    EXPECT_EQ(triangle.flags, smoothShaded);
    EXPECT_EQ(triangle.colorRed, 127);  // 255 >> 1
    EXPECT_EQ(triangle.colorGreen, 0);
    EXPECT_EQ(triangle.colorBlue, 0);  // 1 >> 1
    EXPECT_EQ(triangle.surfaceIndex, 0);
    EXPECT_THAT(triangle.faceNormal, ElementsAre(0.0f, 0.0f, 1.0f));

    const MeshPolygon& quad = mesh.polygons[1];
    EXPECT_EQ(quad.vertexCount, 4);
    EXPECT_EQ(quad.flags, flatShaded | doubleSided | transparent);
    EXPECT_EQ(quad.colorRed, 127);
    EXPECT_EQ(quad.colorGreen, 64);
    EXPECT_EQ(quad.colorBlue, 32);
    EXPECT_EQ(quad.surfaceIndex, 1);
    EXPECT_THAT(quad.faceNormal, ElementsAre(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(quad.u.size(), 4u);
    EXPECT_EQ(quad.v.size(), 4u);

    EXPECT_EQ(mesh.polygons[2].vertexCount, 1);
    EXPECT_EQ(mesh.polygons[3].vertexCount, 2);

    // Points 0 and 1 are shared by the triangle and the quad.
    EXPECT_THAT(mesh.points[0].normal, ElementsAre(0.0f, 0.5f, 0.5f));
    EXPECT_EQ(mesh.points[1].normalCount, 2);
    // Point 2 is used by the triangle and by the one-vertex polygon, which adds nothing.
    EXPECT_EQ(mesh.points[2].normalCount, 1);
}

TEST_F(ObjectFileTest, TransparencyMustExceedOneHalf) {
    const Bytes file = lwob({
        srfs({"Half"}),
        pnts({{0, 0, 0}}),
        pols({{{0}, 1}}),
        surf("Half", {subColor(0, 0, 0), subU16("FLAG", 0), subF32("VTRN", 0.5f)}),
    });
    ASSERT_TRUE(parse(file));
    EXPECT_EQ(mesh.polygons[0].flags, flatShaded);
}

TEST_F(ObjectFileTest, TexturedPolygonsGetProjectedCoordinatesOthersZero) {
    const Bytes file = lwob({
        srfs({"Wood", "Plain", "Chrome"}),
        pnts({{1, 1, 5}, {-1, -1, 0}, {0, 0.5f, 0}}),
        pols({{{0, 1, 2}, 1}, {{0, 1, 2}, 2}, {{2, 1, 0}, 3}}),
        surf("Wood", {subU16("FLAG", 0), subText("CTEX", "Planar Image Map"), subText("TIMG", "D:\\tex\\wood.jpg"),
                      subU16("TFLG", 4), subVec("TSIZ", 2, 2, 2)}),
        surf("Plain", {subU16("FLAG", 4)}),
        surf("Chrome", {subU16("FLAG", 4), subText("RIMG", "env.jpg")}),
    });
    ASSERT_TRUE(parse(file));
    EXPECT_THAT(textures.names, ElementsAre("wood.jpg", "env.jpg"));

    const MeshPolygon& wood = mesh.polygons[0];
    EXPECT_EQ(wood.flags, flatShaded | textured);
    EXPECT_EQ(wood.textureIndex, 7);
    // Planar along Z, centre 0, size 2: u = x / 2 + 0.5, v = y / 2 + 0.5.
    EXPECT_THAT(wood.u, ElementsAre(1.0f, 0.0f, 0.5f));
    EXPECT_THAT(wood.v, ElementsAre(1.0f, 0.0f, 0.75f));

    EXPECT_THAT(mesh.polygons[1].u, ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_THAT(mesh.polygons[1].v, ElementsAre(0.0f, 0.0f, 0.0f));

    const MeshPolygon& chrome = mesh.polygons[2];
    EXPECT_EQ(chrome.flags, smoothShaded | reflectionMapped);
    EXPECT_EQ(chrome.reflectionTextureIndex, 8);
    EXPECT_THAT(chrome.u, ElementsAre(0.0f, 0.0f, 0.0f));
}

TEST_F(ObjectFileTest, FlagAfterCtexLeavesPolygonsUntextured) {
    const Bytes file = lwob({
        srfs({"Late"}),
        pnts({{3, 3, 3}}),
        pols({{{0}, 1}}),
        surf("Late", {subText("CTEX", "Planar Image Map"), subVec("TSIZ", 1, 1, 1), subU16("FLAG", 0)}),
    });
    ASSERT_TRUE(parse(file));
    EXPECT_EQ(mesh.polygons[0].flags, flatShaded);
    EXPECT_THAT(mesh.polygons[0].u, ElementsAre(0.0f));
}

TEST_F(ObjectFileTest, ShortAndChunklessFilesGiveEmptyMeshesWithoutWarning) {
    for (std::size_t size : {0u, 5u, 12u}) {
        const Bytes bytes(size, 'x');
        EXPECT_TRUE(parse(bytes)) << size;
        EXPECT_EQ(mesh.pointCount, 0);
    }
    EXPECT_TRUE(parse(lwob({{"TEXT", {'h', 'i'}}})));
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(mesh.polygonCount, 0);
    EXPECT_TRUE(diags.empty());
}

TEST_F(ObjectFileTest, PointsWithoutPolygons) {
    ASSERT_TRUE(parse(lwob({pnts({{1, 2, 3}, {4, 5, 6}})})));
    EXPECT_EQ(mesh.pointCount, 2);
    EXPECT_EQ(mesh.polygonCount, 0);
    EXPECT_THAT(mesh.points[1].position, ElementsAre(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(mesh.points[1].normalCount, 0);
}

TEST_F(ObjectFileTest, ChunkOrderAndUnknownChunksDoNotMatter) {
    const Bytes file = lwob({
        {"BBOX", Bytes(24, 1)},
        pols({{{0, 1, 2}, 1}}),
        srfs({"S"}),
        pnts({{0, 0, 0}, {0, 0, 2}, {0, 3, 0}}),
        surf("Unknown", {subColor(9, 9, 9)}),
        surf("S", {subColor(100, 50, 2)}),
    });
    ASSERT_TRUE(parse(file));
    // Points listed after the polygons are still read.
    EXPECT_THAT(mesh.points[2].position, ElementsAre(0.0f, 3.0f, 0.0f));
    EXPECT_THAT(mesh.polygons[0].faceNormal, ElementsAre(-1.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.polygons[0].colorRed, 50);
    EXPECT_EQ(loader.surfaces()[0].name, "S");
    EXPECT_TRUE(diags.empty());
}

TEST_F(ObjectFileTest, TrailingBytesShorterThanAChunkHeaderAreIgnored) {
    Bytes file = lwob({pnts({{1, 1, 1}})});
    file.insert(file.end(), {0, 'P', 'N'});
    ASSERT_TRUE(parse(file));
    EXPECT_EQ(mesh.pointCount, 1);
}

TEST_F(ObjectFileTest, SurfaceTablePersistsFromObjectToObject) {
    ASSERT_TRUE(parse(lwob({srfs({"Shared"}), surf("Shared", {subColor(10, 20, 30), subU16("FLAG", 4)})})));
    // The second object names the surface but sets only its flags.
    ASSERT_TRUE(parse(lwob({srfs({"Shared"}), pnts({{0, 0, 0}}), pols({{{0}, 1}}),
                            surf("Shared", {subU16("FLAG", 0)})})));
    EXPECT_EQ(mesh.polygons[0].colorRed, 5);
    EXPECT_EQ(mesh.polygons[0].colorGreen, 10);
    EXPECT_EQ(mesh.polygons[0].colorBlue, 15);
    EXPECT_EQ(mesh.polygons[0].flags, flatShaded);
}

TEST_F(ObjectFileTest, LastImageKindCarriesOverSurfacesButNotFiles) {
    // Within one file, a TIMG in the second surface follows the first one's CTEX.
    ASSERT_TRUE(parse(lwob({srfs({"A", "B"}), surf("A", {subText("CTEX", "Planar Image Map")}),
                            surf("B", {subText("TIMG", "b.jpg")})})));
    EXPECT_THAT(textures.names, ElementsAre("b.jpg"));
    ASSERT_TRUE(parse(lwob({srfs({"A"}), surf("A", {subText("RIMG", "r.jpg")})})));
    EXPECT_EQ(loader.lastImageKind(), ImageKind::Reflection);
    // A new file starts with no image kind: its lone TIMG loads nothing.
    ASSERT_TRUE(parse(lwob({srfs({"A"}), surf("A", {subText("TIMG", "c.jpg")})})));
    EXPECT_THAT(textures.names, ElementsAre("b.jpg", "r.jpg"));
}

TEST_F(ObjectFileTest, RepeatedPointsInALargePolygon) {
    // Like a real concave polygon: 66 vertices over 64 points.
    std::vector<std::uint16_t> indices;
    for (std::uint16_t i = 0; i < 64; ++i) indices.push_back(i);
    indices.push_back(0);
    indices.push_back(1);
    ByteWriter points = be();
    for (int i = 0; i < 64; ++i) points.f32(static_cast<float>(i)).f32(static_cast<float>(i % 2)).f32(0);
    ByteWriter polygons = be();
    polygons.u16(66);
    for (std::uint16_t i : indices) polygons.u16(i);
    polygons.i16(1);
    ASSERT_TRUE(parse(lwob({srfs({"S"}), {"PNTS", points.bytes()}, {"POLS", polygons.bytes()}})));
    ASSERT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygons[0].vertexCount, 66);
    EXPECT_EQ(mesh.points[0].normalCount, 2);
    EXPECT_EQ(mesh.points[2].normalCount, 1);
}

// Hostile files: each is refused as a whole. The file first declares and
// describes a surface (with an image) so that a refusal that came too late
// would show in the surface table or the texture requests.
struct HostileCase {
    const char* what;
    std::vector<Chunk> chunks;
    const char* message;
};

Bytes cutChunk(std::string_view id, std::int32_t claimed, std::size_t present) {
    return be().append(id).i32(claimed).append(Bytes(present, 0)).bytes();
}

std::vector<Chunk> withSurface(std::vector<Chunk> rest) {
    std::vector<Chunk> chunks = {srfs({"Good"}), surf("Good", {subColor(200, 200, 200), subText("RIMG", "x.jpg")}),
                                 pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
    chunks.insert(chunks.end(), rest.begin(), rest.end());
    return chunks;
}

Chunk polsRaw(std::uint16_t vertexCount, std::vector<std::uint16_t> indices, std::int16_t surface) {
    ByteWriter w = be();
    w.u16(vertexCount);
    for (std::uint16_t i : indices) w.u16(i);
    w.i16(surface);
    return {"POLS", w.bytes()};
}

std::vector<HostileCase> hostileCases() {
    std::vector<HostileCase> cases;
    cases.push_back({"PointIndexEqualsCount", withSurface({pols({{{0, 1, 3}, 1}})}), "point index 3 is not below"});
    cases.push_back({"SurfaceZero", withSurface({pols({{{0, 1, 2}, 0}})}), "surface number 0 is outside 1..1"});
    cases.push_back({"SurfaceTooBig", withSurface({pols({{{0, 1, 2}, 2}})}), "surface number 2 is outside 1..1"});
    cases.push_back({"DetailPolygon", withSurface({pols({{{0, 1, 2}, -1}})}), "detail polygons"});
    cases.push_back({"NoVertices", withSurface({polsRaw(0, {}, 1)}), "has 0 vertices"});
    cases.push_back({"TooManyVertices",
                     withSurface({polsRaw(256, std::vector<std::uint16_t>(256, 0), 1)}), "has 256 vertices"});
    cases.push_back({"PolygonPastChunkEnd", withSurface({{"POLS", be().u16(3).u16(0).u16(1).bytes()}}),
                     "runs past the end of the chunk"});
    cases.push_back({"VertexCountCutOff", withSurface({{"POLS", be().u16(1).u16(0).i16(1).u8(0).bytes()}}),
                     "cut off before its vertex count"});
    cases.push_back({"SecondPoints", withSurface({pnts({{0, 0, 0}})}), "a second PNTS chunk"});
    cases.push_back({"SecondPolygons", withSurface({pols({{{0}, 1}}), pols({{{0}, 1}})}), "a second POLS chunk"});
    cases.push_back({"TooManyPoints",
                     {srfs({"Good"}), surf("Good", {subText("RIMG", "x.jpg")}), {"PNTS", Bytes(65536 * 12, 0)}},
                     "65536 points"});
    {
        ByteWriter w = be();
        for (int i = 0; i < 65536; ++i) w.u16(1).u16(0).i16(1);
        cases.push_back({"TooManyPolygons", withSurface({{"POLS", w.bytes()}}), "more than 65535 polygons"});
    }
    {
        ByteWriter w = be();
        for (int i = 0; i < 129; ++i) w.evenString("s" + std::to_string(i));
        cases.push_back({"TooManySurfaces", withSurface({{"SRFS", w.bytes()}}), "more than 128 surfaces"});
    }
    cases.push_back({"LongSurfaceName", withSurface({srfs({std::string(64, 'n')})}), "64 characters, more than 63"});
    cases.push_back({"UnterminatedSurfaceName", withSurface({{"SRFS", {'a', 'b'}}}), "no terminating zero"});
    cases.push_back({"UnterminatedSurfName", withSurface({{"SURF", {'a', 'b'}}}), "no terminating zero"});
    cases.push_back({"BadSubChunk", withSurface({surf("Good", {sub("FLAG", {1})})}), "fewer than the 2"});
    cases.push_back({"SubChunkPastEnd",
                     withSurface({{"SURF", concat({be().evenString("Good").bytes(), be().append("COLR").i16(40).bytes()})}}),
                     "runs past the end of its SURF chunk"});
    return cases;
}

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.what; }

class HostileObjectFile : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileObjectFile, IsRefusedAsAWhole) {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader{DataSource{}, textures.loader(), &diags};
    loader.surfaces()[0].name = "Before";
    loader.surfaces()[0].color[0] = 42;

    Mesh mesh;
    allocateMesh(mesh, 3, 3);  // leftovers must be cleared
    EXPECT_FALSE(loader.parseObject("hostile.lwo", lwob(GetParam().chunks), mesh));
    expectRefused(mesh, diags, "hostile.lwo", GetParam().message, textures);
    EXPECT_EQ(loader.surfaces()[0].name, "Before");
    EXPECT_EQ(loader.surfaces()[0].color[0], 42.0f);
}

INSTANTIATE_TEST_SUITE_P(Object, HostileObjectFile, testing::ValuesIn(hostileCases()),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.what); });

// What the format's walk passes over without reading past anything: the
// rest of the object loads, and one warning names the file and what was
// skipped. Each file describes the surface "Good" (colour 200, an image) and
// has a triangle on it before the case's own bytes.
struct SkippedPart {
    const char* what;
    std::vector<Chunk> chunks;
    Bytes trailing;  // raw bytes after the last chunk
    const char* message;
};

void PrintTo(const SkippedPart& c, std::ostream* out) { *out << c.what; }

Bytes subHeader(std::string_view id, std::int16_t size) { return be().append(id).i16(size).bytes(); }

class ObjectFileWithSkippedPart : public testing::TestWithParam<SkippedPart> {};

TEST_P(ObjectFileWithSkippedPart, LoadsTheRestAndSaysWhatWasSkipped) {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader{DataSource{}, textures.loader(), &diags};
    std::vector<Chunk> chunks = withSurface({pols({{{0, 1, 2}, 1}})});
    chunks.insert(chunks.end(), GetParam().chunks.begin(), GetParam().chunks.end());
    Bytes file = lwob(chunks);
    file.insert(file.end(), GetParam().trailing.begin(), GetParam().trailing.end());
    Mesh mesh;
    ASSERT_TRUE(loader.parseObject("sound.lwo", file, mesh)) << diags.items().at(0).text();
    EXPECT_EQ(mesh.pointCount, 3);
    ASSERT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygons[0].colorRed, 100);  // the short "COLR" did not change it
    EXPECT_THAT(textures.names, ElementsAre("x.jpg"));
    ASSERT_EQ(diags.items().size(), 1u);
    EXPECT_EQ(diags.items()[0].file, "sound.lwo");
    EXPECT_THAT(diags.items()[0].message, testing::StartsWith("skipped, the rest loaded: "));
    EXPECT_THAT(diags.items()[0].message, testing::HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Object, ObjectFileWithSkippedPart,
    testing::Values(
        SkippedPart{"TrailingChunkPastTheEnd", {}, cutChunk("CLIP", 5000, 4),
                    "CLIP chunk at offset 124 claims 5000 bytes but only 4 follow"},
        SkippedPart{"UnknownSubChunkPastItsSurf",
                    {{"SURF", concat({be().evenString("Good").bytes(), subU16("FLAG", 0x4), subHeader("XTRA", 40), Bytes{1, 2}})}},
                    {},
                    "sub-chunk XTRA of 40 bytes runs past the end of its SURF chunk"},
        SkippedPart{"SurfForANameNoSurfaceHas",
                    {surf("Unused", {sub("COLR", {1}), subHeader("FLAG", -3)})},
                    {},
                    "for the surface \"Unused\", which no surface name matches"},
        SkippedPart{"SurfNameLongerThanAnySurface", {surf(std::string(70, 'n'), {})}, {}, "which no surface name matches"},
        SkippedPart{"ShortColour", {surf("Good", {sub("COLR", {9, 9}), subU16("FLAG", 0x4)})}, {},
                    "sub-chunk COLR of 2 bytes, fewer than the 3 it needs"}),
    [](const testing::TestParamInfo<SkippedPart>& info) { return std::string(info.param.what); });

TEST_F(ObjectFileTest, ChunkSizesPastTheEndOrNegativeAreRefused) {
    Bytes file = lwob({pnts({{1, 1, 1}})});
    const Bytes pastEnd = cutChunk("POLS", 100, 10);
    Bytes bad = file;
    bad.insert(bad.end(), pastEnd.begin(), pastEnd.end());
    EXPECT_FALSE(parse(bad, "cut.lwo"));
    EXPECT_TRUE(diags.contains("claims 100 bytes but only 10 follow"));
    EXPECT_EQ(diags.items().back().file, "cut.lwo");

    const Bytes negative = cutChunk("PNTS", -12, 12);
    bad = file;
    bad.insert(bad.end(), negative.begin(), negative.end());
    EXPECT_FALSE(parse(bad));
    EXPECT_TRUE(diags.contains("negative size"));
    EXPECT_EQ(mesh.pointCount, 0);
}

}  // namespace
}  // namespace zor
