// Damaged files: real and generated objects and binary meshes with bytes
// flipped, cut short or inserted. Every result must be either a sound mesh
// or a refusal with an empty mesh and a warning; the sanitizer build catches
// any read out of bounds.

#include <gtest/gtest.h>

#include <random>

#include "object/object.h"
#include "test_files.h"

namespace zor {
namespace {

using namespace test;

void expectSoundOrRefused(bool accepted, const Mesh& mesh, const Diagnostics& diags, std::size_t warningsBefore) {
    if (!accepted) {
        EXPECT_EQ(mesh.pointCount, 0);
        EXPECT_EQ(mesh.polygonCount, 0);
        EXPECT_TRUE(mesh.points.empty());
        EXPECT_TRUE(mesh.polygons.empty());
        EXPECT_EQ(diags.items().size(), warningsBefore + 1);
        return;
    }
    ASSERT_EQ(mesh.points.size(), mesh.pointCount);
    ASSERT_EQ(mesh.polygons.size(), mesh.polygonCount);
    for (const MeshPolygon& p : mesh.polygons) {
        ASSERT_GE(p.vertexCount, 1);
        ASSERT_EQ(p.pointIndices.size(), p.vertexCount);
        ASSERT_EQ(p.u.size(), p.vertexCount);
        ASSERT_EQ(p.v.size(), p.vertexCount);
        for (std::uint16_t i : p.pointIndices) ASSERT_LT(i, mesh.pointCount);
        ASSERT_LT(p.surfaceIndex, kSurfaceTableSize);
        ASSERT_EQ(p.flags & black, 0);
    }
}

Bytes mutate(const Bytes& original, std::mt19937& random) {
    Bytes data = original;
    std::uniform_int_distribution<int> kind(0, 3);
    const auto at = [&](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random); };
    switch (kind(random)) {
        case 0:  // flip a few bytes
            for (int i = 0; i < 3 && !data.empty(); ++i) data[at(data.size())] = static_cast<std::uint8_t>(random());
            break;
        case 1:  // cut short
            if (!data.empty()) data.resize(at(data.size()));
            break;
        case 2:  // grow a size field: set a byte to 0x7F or 0xFF
            if (!data.empty()) data[at(data.size())] = (random() & 1) ? 0x7F : 0xFF;
            break;
        default:  // insert bytes
            if (!data.empty()) data.insert(data.begin() + static_cast<std::ptrdiff_t>(at(data.size())), 3, 0x41);
            break;
    }
    return data;
}

std::vector<Bytes> objectSeeds() {
    std::vector<Bytes> seeds;
    for (const char* file : {"assimp/bluewithcylindrictexz.lwo", "assimp/ConcavePolygon.lwo",
                             "blender-import-lwo/box1.5.lwo", "java3d/redcone.lwo"}) {
        std::optional<Bytes> data = readWholeFile(std::filesystem::path(ZOR_CORPUS_DIR) / file);
        if (data) seeds.push_back(*data);
    }
    seeds.push_back(lwob({srfs({"A", "B"}), pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                          pols({{{0, 1, 2}, 1}, {{2, 1}, 2}}),
                          surf("A", {subU16("FLAG", 4), subText("CTEX", "Spherical Image Map"),
                                     subText("TIMG", "a\\b.jpg"), subU16("TFLG", 2), subF32("TFP0", 1)}),
                          surf("B", {subText("RIMG", "r.jpg"), subF32("VTRN", 1)})}));
    return seeds;
}

using Parser = bool (ObjectLoader::*)(std::string_view, std::span<const std::uint8_t>, Mesh&);

// Feeds 3000 damaged copies of the seeds to one parser; returns how many it refused.
int damageAndParse(const std::vector<Bytes>& seeds, unsigned randomSeed, Parser parse) {
    std::mt19937 random(randomSeed);
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader(DataSource{}, textures.loader(), &diags);
    int refused = 0;
    for (std::size_t round = 0; round < 3000; ++round) {
        const Bytes data = mutate(seeds[round % seeds.size()], random);
        Mesh mesh;
        const std::size_t before = diags.items().size();
        const bool accepted = (loader.*parse)("damaged", data, mesh);
        refused += accepted ? 0 : 1;
        expectSoundOrRefused(accepted, mesh, diags, before);
        if (testing::Test::HasFatalFailure()) break;
    }
    return refused;
}

TEST(Mutation, DamagedObjectFilesAreSoundOrRefused) {
    const std::vector<Bytes> seeds = objectSeeds();
    ASSERT_EQ(seeds.size(), 5u);
    // The damage must actually reach the checks.
    EXPECT_GT(damageAndParse(seeds, 20261207, &ObjectLoader::parseObject), 300);
}

TEST(Mutation, DamagedBinaryMeshesAreSoundOrRefused) {
    const Bytes seed = binaryMesh({{0x03, 0.5f, 0.5f, 0.5f, "tex"}, {0x04, 1, 1, 1, ""}},
                                  {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}},
                                  {{{0, 1, 2}, {{0, 0}, {1, 0}, {0, 1}}, 1},
                                   {{3, 2, 1, 0}, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}, 2}});
    EXPECT_GT(damageAndParse({seed}, 7, &ObjectLoader::parseBinaryMesh), 300);
}

}  // namespace
}  // namespace zor
