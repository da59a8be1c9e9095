// Real LightWave objects written by other programs, read in place.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "object/object.h"
#include "test_files.h"

namespace zor {
namespace {

struct CorpusObject {
    std::string file;
    int points = 0;
    int polygons = 0;
};

std::vector<CorpusObject> corpusObjects() {
    std::vector<CorpusObject> objects;
    std::ifstream list(std::string(ZOR_CORPUS_DIR) + "/objects.tsv");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        CorpusObject o;
        fields >> o.file >> o.points >> o.polygons;
        objects.push_back(o);
    }
    return objects;
}

TEST(Corpus, EveryListedObjectLoadsWithItsCounts) {
    const std::vector<CorpusObject> objects = corpusObjects();
    ASSERT_GE(objects.size(), 10u) << "objects.tsv not found under " << ZOR_CORPUS_DIR;
    test::TextureRecorder textures;
    Diagnostics diags;
    DataSource source;
    source.directory = ZOR_CORPUS_DIR;
    ObjectLoader loader(source, textures.loader(), &diags);
    for (const CorpusObject& o : objects) {
        SCOPED_TRACE(o.file);
        std::string name = o.file;
        Mesh mesh;
        loader.loadObject(name, mesh);
        EXPECT_EQ(name, o.file);
        EXPECT_EQ(mesh.pointCount, o.points);
        EXPECT_EQ(mesh.polygonCount, o.polygons);
        for (const MeshPolygon& p : mesh.polygons) {
            ASSERT_EQ(p.pointIndices.size(), p.vertexCount);
            for (std::uint16_t i : p.pointIndices) ASSERT_LT(i, mesh.pointCount);
        }
    }
    std::ostringstream printed;
    diags.print(printed);
    EXPECT_TRUE(diags.empty()) << printed.str();
}

TEST(Corpus, CylindricalTextureFromAWindowsPath) {
    test::TextureRecorder textures;
    DataSource source;
    source.directory = ZOR_CORPUS_DIR;
    ObjectLoader loader(source, textures.loader(), nullptr);
    std::string name = "assimp/bluewithcylindrictexz.lwo";
    Mesh mesh;
    loader.loadObject(name, mesh);
    EXPECT_THAT(textures.names, testing::ElementsAre("IMAGE2.jpg"));
    const Surface& surface = loader.surfaces()[0];
    EXPECT_EQ(surface.name, "Test");
    EXPECT_EQ(surface.mapping, "Cylindrical Image Map");
    EXPECT_EQ(surface.axis, 2);  // TFLG 0x64
    ASSERT_EQ(mesh.polygonCount, 6);
    for (const MeshPolygon& p : mesh.polygons) {
        // FLAG 0 then CTEX: flat shaded and textured; COLR (0, 128, 192).
        EXPECT_EQ(p.flags, flatShaded | textured);
        EXPECT_EQ(p.textureIndex, 7);
        EXPECT_EQ(p.colorGreen, 64);
        EXPECT_EQ(p.colorBlue, 96);
        // Every vertex gets the cylindrical coordinates of its point.
        for (std::size_t k = 0; k < p.vertexCount; ++k) {
            const float* pos = mesh.points[p.pointIndices[k]].position;
            const TextureCoordinates uv = mapTexture(surface, pos[0], pos[1], pos[2]);
            EXPECT_EQ(p.u[k], uv.u);
            EXPECT_EQ(p.v[k], uv.v);
            // Axis Z, size 1, centre 0: v = z + 0.5.
            EXPECT_FLOAT_EQ(p.v[k], pos[2] + 0.5f);
        }
    }
}

TEST(Corpus, SmoothSurfaceAndSixSurfaceBox) {
    DataSource source;
    source.directory = ZOR_CORPUS_DIR;
    ObjectLoader loader(source, {}, nullptr);
    std::string name = "assimp/ConcavePolygon.lwo";
    Mesh mesh;
    loader.loadObject(name, mesh);
    ASSERT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygons[0].vertexCount, 66);
    EXPECT_EQ(mesh.polygons[0].flags, smoothShaded);  // FLAG 0x4
    EXPECT_EQ(mesh.polygons[0].colorRed, 0x24 >> 1);

    name = "blender-import-lwo/box1.5.lwo";
    loader.loadObject(name, mesh);
    ASSERT_EQ(mesh.polygonCount, 6);
    std::vector<int> surfaces;
    for (const MeshPolygon& p : mesh.polygons) surfaces.push_back(p.surfaceIndex);
    EXPECT_THAT(surfaces, testing::UnorderedElementsAre(0, 1, 2, 3, 4, 5));
    // "Top" is pure blue: COLR (0, 0, 255).
    for (const MeshPolygon& p : mesh.polygons) {
        if (p.surfaceIndex == 5) {
            EXPECT_EQ(p.colorBlue, 127);
            EXPECT_EQ(p.colorRed, 0);
        }
    }
}

}  // namespace
}  // namespace zor
