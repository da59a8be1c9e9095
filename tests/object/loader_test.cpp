// loadObject and loadBinaryMesh over real files: temporary folders and
// archives built with PackFile.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "object/object.h"
#include "test_files.h"

namespace zor {
namespace {

using namespace test;
using testing::ElementsAre;

Bytes objectWithPoints(int count, float x) {
    ByteWriter w = be();
    for (int i = 0; i < count; ++i) w.f32(x).f32(static_cast<float>(i)).f32(0);
    return lwob({srfs({"S"}), {"PNTS", w.bytes()}, pols({{{0}, 1}}), surf("S", {subColor(8, 8, 8)})});
}

Bytes binaryWithPoints(int count) {
    std::vector<std::array<float, 3>> points(static_cast<std::size_t>(count), {2, 2, 2});
    return binaryMesh({{0x01, 1, 1, 1, ""}}, points, {{{0}, {{0, 0}}, 1}});
}

void writeArchive(const std::filesystem::path& path, std::initializer_list<std::pair<std::string, Bytes>> entries) {
    PackFile pack(path.string());
    for (const auto& [name, data] : entries) ASSERT_TRUE(pack.addData(data, name)) << pack.error();
    ASSERT_TRUE(pack.flush()) << pack.error();
}

struct LoaderTest : testing::Test {
    ScratchDir dir;
    TextureRecorder textures;
    Diagnostics diags;
    Mesh mesh;

    ObjectLoader loader() {
        DataSource source;
        source.directory = dir.path();
        source.archiveName = "zor.dat";
        return ObjectLoader(source, textures.loader(), &diags);
    }
};

TEST_F(LoaderTest, ReadsAnObjectFromDisk) {
    dir.write("box.lwo", objectWithPoints(3, 1));
    std::string name = "box.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(name, "box.lwo");
    EXPECT_EQ(mesh.pointCount, 3);
    EXPECT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygons[0].colorRed, 4);
    EXPECT_TRUE(diags.empty());
}

TEST_F(LoaderTest, DiskTakesPrecedenceOverTheArchive) {
    writeArchive(dir.path() / "zor.dat", {{"box.lwo", objectWithPoints(5, 9)}, {"ball.lwo", objectWithPoints(4, 3)}});
    dir.write("box.lwo", objectWithPoints(3, 1));

    ObjectLoader objects = loader();
    std::string box = "box.lwo";
    objects.loadObject(box, mesh);
    EXPECT_EQ(mesh.pointCount, 3);
    EXPECT_EQ(mesh.points[0].position[0], 1.0f);

    // Only in the archive; the lookup folds letter case.
    std::string ball = "BALL.lwo";
    objects.loadObject(ball, mesh);
    EXPECT_EQ(mesh.pointCount, 4);
    EXPECT_EQ(mesh.points[0].position[0], 3.0f);
    EXPECT_TRUE(diags.empty());
}

TEST_F(LoaderTest, MissingObjectFallsBackToTheBinaryMeshOnDisk) {
    dir.write("ship.3d", binaryWithPoints(6));
    std::string name = "ship.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(name, "ship.3d");
    EXPECT_EQ(mesh.pointCount, 6);
    EXPECT_EQ(mesh.polygonCount, 1);
    EXPECT_TRUE(diags.empty());
}

TEST_F(LoaderTest, MissingObjectFallsBackToTheBinaryMeshInTheArchive) {
    writeArchive(dir.path() / "zor.dat", {{"ship.3d", binaryWithPoints(7)}});
    std::string name = "ship.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(name, "ship.3d");
    EXPECT_EQ(mesh.pointCount, 7);
}

TEST_F(LoaderTest, MissingEverywhereGivesOneWarningAndAnEmptyMesh) {
    allocateMesh(mesh, 2, 2);
    std::string name = "gone.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(name, "gone.3d");  // the buffer is rewritten even so
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_TRUE(mesh.points.empty());
    ASSERT_EQ(diags.items().size(), 1u);
    EXPECT_EQ(diags.items()[0].file, "gone.lwo");
    EXPECT_THAT(diags.items()[0].message, testing::HasSubstr("gone.3d"));
    // No archive file is left behind by looking.
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "zor.dat"));
}

TEST_F(LoaderTest, LoadBinaryMeshRewritesTheExtensionInPlace) {
    dir.write("a.b.3d", binaryWithPoints(1));
    ObjectLoader objects = loader();
    std::string name = "a.b.lwo";
    objects.loadBinaryMesh(name, mesh);
    EXPECT_EQ(name, "a.b.3d");
    EXPECT_EQ(mesh.pointCount, 1);

    name = "noextension";
    objects.loadBinaryMesh(name, mesh);
    EXPECT_EQ(name, "noextension.3d");
    EXPECT_EQ(mesh.pointCount, 0);
    ASSERT_EQ(diags.items().size(), 1u);
    EXPECT_EQ(diags.items()[0].file, "noextension.3d");

    name = "x.lwob";
    objects.loadBinaryMesh(name, mesh);
    EXPECT_EQ(name, "x.3d");
}

TEST_F(LoaderTest, RefusedFilesWarnWithTheirName) {
    dir.write("bad.lwo", lwob({pnts({{0, 0, 0}}), pols({{{4}, 1}})}));
    std::string name = "bad.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(mesh.pointCount, 0);
    ASSERT_EQ(diags.items().size(), 1u);
    EXPECT_EQ(diags.items()[0].file, "bad.lwo");
    EXPECT_THAT(diags.items()[0].message, testing::HasSubstr("point index 4"));
}

// A file of "FORM" alone is there: refused, not missing (which would send
// the author looking for it elsewhere).
TEST_F(LoaderTest, AFileOfNoMoreThanItsHeaderIsRefusedNotMissing) {
    dir.write("form.lwo", Bytes{'F', 'O', 'R', 'M'});
    std::string name = "form.lwo";
    ObjectLoader objects = loader();
    objects.loadObject(name, mesh);
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(objects.loads().refused, 1);
    EXPECT_EQ(objects.loads().missing, 0);
    EXPECT_EQ(describeNoObject(objects.loads(), dir.path()),
              "not one of its objects could be used: 1 was refused (form.lwo: the file holds 4 bytes, no chunk after "
              "the object's 12-byte header)");
}

TEST_F(LoaderTest, CorruptArchiveIsReportedAndLoadingGoesOn) {
    dir.write("zor.dat", Bytes(64, 0x5A));
    std::string name = "box.lwo";
    loader().loadObject(name, mesh);
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_FALSE(diags.empty());
    EXPECT_TRUE(diags.contains("box.3d"));
}

}  // namespace
}  // namespace zor
