#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "object/object.h"
#include "test_files.h"

namespace zor {
namespace {

using namespace test;
using testing::ElementsAre;

struct BinaryMeshTest : testing::Test {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader{DataSource{}, textures.loader(), &diags};
    Mesh mesh;

    bool parse(const Bytes& file) { return loader.parseBinaryMesh("ship.3d", file, mesh); }
};

TEST_F(BinaryMeshTest, ColoursFlagsTexturesAndCoordinates) {
    const Bytes file = binaryMesh(
        {
            {0x01, 0.5f, 1.0f, 3.0f, ""},
            {0x03 | 0x04 | 0x08, 0.25f, 0.25f, 0.25f, "hull"},
            {0x04 | 0x10 | 0x20 | 0xC0, 0.999f, -1.0f, 1.99f, ""},
        },
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
        {
            {{0, 1, 2}, {{0, 0}, {1, 0}, {0.25f, 0.25f}}, 1},
            {{2, 1, 0}, {{0.5f, 1}, {0, 0.5f}, {1, 1}}, 2},
            {{1}, {{0, 0}}, 3},
        });
    ASSERT_TRUE(parse(file));
    EXPECT_TRUE(diags.empty());
    EXPECT_THAT(textures.names, ElementsAre("hull.jpg"));
    ASSERT_EQ(mesh.pointCount, 3);
    ASSERT_EQ(mesh.polygonCount, 3);

    const MeshPolygon& flat = mesh.polygons[0];
    EXPECT_EQ(flat.flags, flatShaded);
    EXPECT_EQ(flat.colorRed, 64);  // trunc(0.5 * 128)
    EXPECT_EQ(flat.colorGreen, 128);
    EXPECT_EQ(flat.colorBlue, 255);  // 384 clamped
    EXPECT_EQ(flat.textureIndex, 0);
    EXPECT_THAT(flat.u, ElementsAre(0.0f, 1.0f, 0.25f));
    EXPECT_THAT(flat.v, ElementsAre(1.0f, 1.0f, 0.75f));  // 1 - file v
    EXPECT_THAT(flat.faceNormal, ElementsAre(0.0f, 0.0f, 1.0f));

    const MeshPolygon& hull = mesh.polygons[1];
    // 0x02 wins over 0x01, and the colour turns white.
    EXPECT_EQ(hull.flags, textured | smoothShaded | doubleSided);
    EXPECT_EQ(hull.textureIndex, 7);
    EXPECT_EQ(hull.colorRed, 255);
    EXPECT_EQ(hull.colorGreen, 255);
    EXPECT_EQ(hull.colorBlue, 255);
    EXPECT_THAT(hull.pointIndices, ElementsAre(2, 1, 0));
    EXPECT_THAT(hull.v, ElementsAre(0.0f, 0.5f, 0.0f));
    EXPECT_THAT(hull.faceNormal, ElementsAre(0.0f, 0.0f, -1.0f));
    EXPECT_EQ(hull.reflectionTextureIndex, 0);
    EXPECT_EQ(hull.surfaceIndex, 0);

    const MeshPolygon& third = mesh.polygons[2];
    // Bits without meaning (0x40, 0x80) are dropped; colours truncate toward zero.
    EXPECT_EQ(third.flags, smoothShaded | transparent | outline);
    EXPECT_EQ(third.colorRed, 127);  // trunc(127.872)
    EXPECT_EQ(third.colorGreen, 0);
    EXPECT_EQ(third.colorBlue, 254);  // trunc(254.72)

    // Normals as for object files: points shared by both triangles cancel out.
    EXPECT_THAT(mesh.points[0].normal, ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.points[0].normalCount, 2);
    EXPECT_EQ(mesh.points[1].normalCount, 2);  // the one-vertex polygon adds nothing
}

TEST_F(BinaryMeshTest, FailedTextureIsStoredAs65535) {
    textures.missing = {"gone.jpg"};
    ASSERT_TRUE(parse(binaryMesh({{0x02, 1, 1, 1, "gone"}}, {{0, 0, 0}}, {{{0}, {{0, 0}}, 1}})));
    EXPECT_EQ(mesh.polygons[0].textureIndex, 65535);
}

TEST_F(BinaryMeshTest, EmptyMeshAndTrailingBytes) {
    Bytes file = binaryMesh({}, {}, {});
    file.push_back(0xAB);
    ASSERT_TRUE(parse(file));
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(mesh.polygonCount, 0);
}

// Hostile binary meshes: refused, mesh empty, one warning, no texture asked for.
struct HostileBinary {
    const char* what;
    Bytes file;
    const char* message;
};

Bytes header(std::int32_t surfaces, std::int32_t points, std::int32_t polygons) {
    return le().i32(surfaces).i32(points).i32(polygons).bytes();
}

std::vector<HostileBinary> hostileBinaries() {
    const std::vector<BinarySurfaceSpec> textured = {{0x02, 1, 1, 1, "wood"}};
    const std::vector<std::array<float, 3>> points = {{0, 0, 0}, {1, 0, 0}};
    std::vector<HostileBinary> cases;
    cases.push_back({"ShortHeader", Bytes{1, 0, 0, 0, 2, 0}, "inside its 12-byte header"});
    cases.push_back({"NegativeSurfaces", header(-1, 0, 0), "surface count -1"});
    cases.push_back({"TooManySurfaces", header(151, 0, 0), "surface count 151 is outside 0..150"});
    cases.push_back({"NegativePoints", header(0, -5, 0), "point count -5"});
    cases.push_back({"TooManyPoints", header(0, 65536, 0), "point count 65536"});
    cases.push_back({"TooManyPolygons", header(0, 0, 65536), "polygon count 65536"});
    cases.push_back({"SurfaceCutOff", concat({header(1, 0, 0), Bytes{0, 0, 0}}), "inside surface record 1"});
    cases.push_back({"TextureNameUnterminated", concat({header(1, 0, 0), le().u8(2).f32(1).f32(1).f32(1).append("abc").bytes()}),
                     "texture name"});
    cases.push_back({"TextureNameTooLong", binaryMesh({{0x02, 1, 1, 1, std::string(120, 't')}}, {}, {}),
                     "longer than 119"});
    cases.push_back({"PointsCutOff", concat({header(0, 3, 0), Bytes(35, 0)}), "inside the points"});
    {
        Bytes file = binaryMesh(textured, points, {{{0}, {{0, 0}}, 1}});
        file.resize(12 + 18 + 24 + 2);  // two bytes into the polygon record
        cases.push_back({"PolygonCutOff", file, "inside polygon record 1"});
    }
    {
        Bytes file = binaryMesh(textured, points, {{{0, 1}, {{0, 0}, {1, 1}}, 1}});
        file.resize(file.size() - 1);
        cases.push_back({"VerticesCutOff", file, "polygon record 1's vertices"});
    }
    {
        Bytes file = binaryMesh(textured, points, {{{0}, {{0, 0}}, 1}});
        file[12 + 13 + 5 + 24] = 0;  // the vertex count
        cases.push_back({"NoVertices", file, "has 0 vertices"});
    }
    cases.push_back({"SurfaceZero", binaryMesh(textured, points, {{{0}, {{0, 0}}, 0}}), "surface number 0 is outside 1..1"});
    cases.push_back({"SurfaceTooBig", binaryMesh(textured, points, {{{0}, {{0, 0}}, 2}}), "surface number 2"});
    cases.push_back({"SurfaceNegative", binaryMesh(textured, points, {{{0}, {{0, 0}}, -3}}), "surface number -3"});
    cases.push_back({"PointIndexTooBig", binaryMesh(textured, points, {{{0, 2}, {{0, 0}, {0, 0}}, 1}}),
                     "point index 2 is not below the point count 2"});
    return cases;
}

void PrintTo(const HostileBinary& c, std::ostream* out) { *out << c.what; }

class HostileBinaryMesh : public testing::TestWithParam<HostileBinary> {};

TEST_P(HostileBinaryMesh, IsRefusedAsAWhole) {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader{DataSource{}, textures.loader(), &diags};
    Mesh mesh;
    allocateMesh(mesh, 2, 2);
    EXPECT_FALSE(loader.parseBinaryMesh("bad.3d", GetParam().file, mesh));
    expectRefused(mesh, diags, "bad.3d", GetParam().message, textures);
}

INSTANTIATE_TEST_SUITE_P(Object, HostileBinaryMesh, testing::ValuesIn(hostileBinaries()),
                         [](const testing::TestParamInfo<HostileBinary>& info) { return std::string(info.param.what); });

TEST_F(BinaryMeshTest, AllowsTheLimits) {
    // 150 surfaces and a 255-vertex polygon are within the limits.
    std::vector<BinarySurfaceSpec> surfaces(150, BinarySurfaceSpec{0x01, 0, 0, 0, ""});
    surfaces[149] = {0x02, 0, 0, 0, std::string(119, 'n')};
    std::vector<std::uint16_t> indices(255, 0);
    std::vector<std::array<float, 2>> uv(255, {0, 0});
    ASSERT_TRUE(parse(binaryMesh(surfaces, {{0, 0, 0}}, {{indices, uv, 150}})));
    EXPECT_EQ(mesh.polygons[0].vertexCount, 255);
    EXPECT_EQ(mesh.polygons[0].flags, textured);
    EXPECT_THAT(textures.names, ElementsAre(std::string(119, 'n') + ".jpg"));
}

}  // namespace
}  // namespace zor
