// Bad object files and binary meshes, one class of damage per test. A
// refused file leaves an empty mesh and one warning naming the file; an
// accepted one keeps every index inside the mesh.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "object/object.h"
#include "robustness_util.h"
#include "writers/byte_writer.h"

namespace zor::robust {
namespace {

using write::ByteWriter;

ByteWriter bigEndian() { return ByteWriter(ByteWriter::Order::Big); }

// Object files chunk by chunk, so that a chunk can claim a size it does not
// have (the writers' writeLwob refuses to make such files).
struct Lwob {
    ByteWriter file = bigEndian();

    Lwob() { file.tag("FORM").u32(0).tag("LWOB"); }
    Lwob& chunk(std::string_view id, const Bytes& data, std::optional<std::int32_t> size = std::nullopt) {
        file.tag(id).i32(size.value_or(static_cast<std::int32_t>(data.size()))).append(data);
        return *this;
    }
    const Bytes& bytes() const { return file.bytes(); }

    static Bytes points(int n) {
        ByteWriter b = bigEndian();
        for (int i = 0; i < n; ++i) b.f32(static_cast<float>(i)).f32(static_cast<float>(i % 2)).f32(0.0f);
        return b.take();
    }
    static Bytes polygon(std::vector<std::uint16_t> indices, std::int16_t surface) {
        ByteWriter b = bigEndian();
        b.u16(static_cast<std::uint16_t>(indices.size()));
        for (auto i : indices) b.u16(i);
        return b.i16(surface).take();
    }
    static Bytes names(std::vector<std::string> list) {
        ByteWriter b = bigEndian();
        for (const auto& s : list) b.evenString(s);
        return b.take();
    }
};

Bytes triangleFile(std::vector<std::uint16_t> indices = {0, 1, 2}, std::int16_t surface = 1) {
    return Lwob()
        .chunk("PNTS", Lwob::points(3))
        .chunk("SRFS", Lwob::names({"Skin"}))
        .chunk("POLS", Lwob::polygon(std::move(indices), surface))
        .bytes();
}

struct Parsed {
    Diagnostics diags;
    std::vector<std::string> textures;
    ObjectLoader loader{DataSource{}, [this](std::string_view n) {
                            textures.emplace_back(n);
                            return static_cast<int>(textures.size()) - 1;
                        },
                        &diags};
    Mesh mesh;
    bool loaded = false;

    Parsed& object(const Bytes& bytes) {
        loaded = loader.parseObject("Ship.lwo", bytes, mesh);
        return *this;
    }
    Parsed& binary(const Bytes& bytes) {
        loaded = loader.parseBinaryMesh("Ship.3d", bytes, mesh);
        return *this;
    }
};

void expectRefused(const Parsed& p, const std::string& message) {
    EXPECT_FALSE(p.loaded) << message;
    EXPECT_EQ(p.mesh.pointCount, 0);
    EXPECT_EQ(p.mesh.polygonCount, 0);
    EXPECT_TRUE(p.mesh.points.empty() && p.mesh.polygons.empty());
    ASSERT_EQ(p.diags.items().size(), 1u) << report(p.diags);
    EXPECT_EQ(p.diags.items()[0].file, p.mesh.pointCount == 0 ? p.diags.items()[0].file : "");
    EXPECT_NE(p.diags.items()[0].text().find(message), std::string::npos) << report(p.diags);
}

void expectSound(const Mesh& mesh) {
    ASSERT_EQ(mesh.points.size(), mesh.pointCount);
    ASSERT_EQ(mesh.polygons.size(), mesh.polygonCount);
    for (const MeshPolygon& polygon : mesh.polygons) {
        ASSERT_EQ(polygon.pointIndices.size(), polygon.vertexCount);
        for (std::uint16_t i : polygon.pointIndices) ASSERT_LT(i, mesh.pointCount);
    }
}

TEST(BadObject, EmptyAndHeaderOnlyFilesGiveEmptyMeshes) {
    for (std::size_t size : {0u, 1u, 11u, 12u}) {
        Parsed p;
        p.object(Bytes(size, 'F'));
        EXPECT_TRUE(p.loaded);
        EXPECT_EQ(p.mesh.pointCount, 0);
        EXPECT_EQ(p.mesh.polygonCount, 0);
    }
}

TEST(BadObject, WrongMagicIsNotReadButChunksAre) {
    // The 12-byte header is skipped unread; the chunks after it decide.
    Bytes file = triangleFile();
    std::memcpy(file.data(), "RIFF\0\0\0\0WAVE", 12);
    Parsed p;
    p.object(file);
    EXPECT_TRUE(p.loaded) << report(p.diags);
    EXPECT_EQ(p.mesh.pointCount, 3);
    EXPECT_EQ(p.mesh.polygonCount, 1);
}

TEST(BadObject, TruncatedAtEveryLengthIsRefusedOrSound) {
    const Bytes whole = readBytes(std::filesystem::path(ZOR_CORPUS_DIR) / "java3d" / "redcone.lwo");
    ASSERT_GT(whole.size(), 100u);
    int refused = 0;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        Parsed p;
        p.object(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        expectSound(p.mesh);
        if (!p.loaded) {
            ++refused;
            ASSERT_EQ(p.diags.items().size(), 1u);
            EXPECT_EQ(p.diags.items()[0].file, "Ship.lwo");
            EXPECT_EQ(p.diags.items()[0].message.rfind("object refused: ", 0), 0u) << report(p.diags);
        }
    }
    // Every cut inside a chunk lies about that chunk's size.
    EXPECT_GT(refused, static_cast<int>(whole.size()) / 2);
}

TEST(BadObject, LyingChunkSizesAreRefused) {
    {
        Parsed p;
        p.object(Lwob().chunk("PNTS", Lwob::points(2), 1000).bytes());
        expectRefused(p, "Ship.lwo: object refused: PNTS chunk at offset 12 claims 1000 bytes but only 24 follow");
    }
    {
        Parsed p;
        p.object(Lwob().chunk("PNTS", Lwob::points(2), -4).bytes());
        expectRefused(p, "PNTS chunk at offset 12 has a negative size (-4)");
    }
    {
        Parsed p;
        const Bytes surf = bigEndian().evenString("Skin").append(Bytes{'C', 'O', 'L', 'R', 0x7f, 0xff, 1, 2, 3, 0}).take();
        p.object(Lwob().chunk("SRFS", Lwob::names({"Skin"})).chunk("SURF", surf).bytes());
        expectRefused(p, "sub-chunk COLR of 32767 bytes runs past the end of its SURF chunk");
    }
    {
        // A polygon whose vertex count runs past its chunk.
        Parsed p;
        Bytes pols = Lwob::polygon({0, 1, 2}, 1);
        pols[1] = 40;
        p.object(Lwob().chunk("PNTS", Lwob::points(3)).chunk("SRFS", Lwob::names({"S"})).chunk("POLS", pols).bytes());
        expectRefused(p, "polygon 1 of 40 vertices runs past the end of the chunk");
    }
}

TEST(BadObject, IndexesOutOfRangeAreRefused) {
    {
        Parsed p;
        p.object(triangleFile({0, 1, 9}));
        expectRefused(p, "polygon 1: point index 9 is not below the point count 3");
    }
    {
        Parsed p;
        p.object(triangleFile({0, 1, 2}, 2));
        expectRefused(p, "polygon 1: surface number 2 is outside 1..1");
    }
    {
        Parsed p;
        p.object(triangleFile({0, 1, 2}, 0));
        expectRefused(p, "polygon 1: surface number 0 is outside 1..1");
    }
    {
        Parsed p;
        p.object(triangleFile({0, 1, 2}, -1));
        expectRefused(p, "detail polygons (negative surface number -1) are not supported");
    }
}

TEST(BadObject, AbsurdCountsAreRefused) {
    {
        Parsed p;
        p.object(Lwob().chunk("PNTS", Bytes(65536 * 12, 0)).bytes());
        expectRefused(p, "PNTS chunk at offset 12: 65536 points, more than 65535");
    }
    {
        Parsed p;
        const Bytes pols = bigEndian().u16(0).take();
        p.object(Lwob().chunk("POLS", pols).bytes());
        expectRefused(p, "polygon 1 has 0 vertices (1 to 255 are allowed)");
    }
    {
        Parsed p;
        Bytes pols = bigEndian().u16(256).take();
        pols.resize(2 + 2 * 256 + 2, 0);
        p.object(Lwob().chunk("POLS", pols).bytes());
        expectRefused(p, "polygon 1 has 256 vertices (1 to 255 are allowed)");
    }
    {
        std::vector<std::string> names;
        for (int i = 0; i < 129; ++i) names.push_back("s" + std::to_string(i));
        Parsed p;
        p.object(Lwob().chunk("SRFS", Lwob::names(names)).bytes());
        expectRefused(p, "more than 128 surfaces");
    }
    {
        Parsed p;
        p.object(Lwob().chunk("PNTS", Lwob::points(1)).chunk("PNTS", Lwob::points(1)).bytes());
        expectRefused(p, "a second PNTS chunk");
    }
}

TEST(BadObject, UnterminatedAndOverlongTextsAreRefused) {
    {
        Parsed p;
        p.object(Lwob().chunk("SRFS", bytesOf("NoEnd")).bytes());
        expectRefused(p, "surface name 1 has no terminating zero");
    }
    {
        Parsed p;
        const Bytes surf = bigEndian().evenString("Skin").append(Bytes{'C', 'T', 'E', 'X', 0, 4, 'P', 'l', 'a', 'n'}).take();
        p.object(Lwob().chunk("SRFS", Lwob::names({"Skin"})).chunk("SURF", surf).bytes());
        expectRefused(p, "sub-chunk CTEX text has no terminating zero");
    }
}

TEST(BadObject, ImageNamesWithPathSeparatorsAskForTheLastPart) {
    // Backslash paths lose their folders; forward slashes and dots are not
    // folders here and reach the texture loader as they are.
    ByteWriter surf = bigEndian();
    surf.evenString("Skin");
    auto sub = [&surf](std::string_view id, std::string_view text) {
        const Bytes payload = bigEndian().evenString(text).take();
        surf.tag(id).u16(static_cast<std::uint16_t>(payload.size())).append(payload);
    };
    sub("CTEX", "Planar Image Map");
    sub("TIMG", "C:\\..\\..\\images\\skin.jpg");
    sub("RIMG", "../../etc/chrome.jpg");
    Parsed p;
    p.object(Lwob().chunk("PNTS", Lwob::points(3)).chunk("SRFS", Lwob::names({"Skin"})).chunk("SURF", surf.bytes())
                 .chunk("POLS", Lwob::polygon({0, 1, 2}, 1)).bytes());
    ASSERT_TRUE(p.loaded) << report(p.diags);
    EXPECT_EQ(p.textures, (std::vector<std::string>{"skin.jpg", "../../etc/chrome.jpg"}));
}

// Binary mesh files piece by piece, counts that lie included.
struct Mesh3d {
    ByteWriter file{ByteWriter::Order::Little};

    Mesh3d(std::int32_t surfaces, std::int32_t points, std::int32_t polygons) {
        file.i32(surfaces).i32(points).i32(polygons);
    }
    Mesh3d& surface(std::uint8_t flags, std::string_view texture = {}) {
        file.u8(flags).f32(0.5f).f32(0.5f).f32(0.5f);
        if (flags & 0x02) file.cString(texture);
        return *this;
    }
    Mesh3d& points(int n) {
        for (int i = 0; i < 3 * n; ++i) file.f32(static_cast<float>(i));
        return *this;
    }
    Mesh3d& polygon(std::vector<std::uint16_t> indices, std::int16_t surface) {
        file.u8(static_cast<std::uint8_t>(indices.size())).u8(0).i16(surface);
        for (auto i : indices) file.u16(i);
        for (std::size_t k = 0; k < indices.size(); ++k) file.f32(0.25f).f32(0.75f);
        return *this;
    }
    const Bytes& bytes() const { return file.bytes(); }
};

TEST(BadBinaryMesh, SoundFileIsAccepted) {
    Parsed p;
    p.binary(Mesh3d(1, 3, 1).surface(0x02, "skin").points(3).polygon({0, 1, 2}, 1).bytes());
    ASSERT_TRUE(p.loaded) << report(p.diags);
    EXPECT_EQ(p.mesh.polygonCount, 1);
    EXPECT_EQ(p.textures, (std::vector<std::string>{"skin.jpg"}));
}

TEST(BadBinaryMesh, EmptyAndTruncatedFilesAreRefused) {
    {
        Parsed p;
        p.binary({});
        expectRefused(p, "Ship.3d: object refused: binary mesh ends at byte 0 inside its 12-byte header");
    }
    const Bytes whole = Mesh3d(2, 4, 2).surface(0x01).surface(0x02, "tex").points(4)
                            .polygon({0, 1, 2}, 1).polygon({0, 2, 3}, 2).bytes();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        Parsed p;
        p.binary(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        expectRefused(p, "binary mesh ends at byte " + std::to_string(cut) + " inside ");
        EXPECT_TRUE(p.textures.empty()) << "no image is asked for before the file is known sound";
    }
}

TEST(BadBinaryMesh, LyingAndAbsurdCountsAreRefused) {
    struct Case {
        std::int32_t surfaces, points, polygons;
        std::string message;
    };
    for (const Case& c : {Case{-1, 0, 0, "surface count -1 is outside 0..150"},
                          Case{151, 0, 0, "surface count 151 is outside 0..150"},
                          Case{0, 65536, 0, "point count 65536 is outside 0..65535"},
                          Case{0, -7, 0, "point count -7 is outside 0..65535"},
                          Case{0, 0, 0x7fffffff, "polygon count 2147483647 is outside 0..65535"},
                          Case{0, 65535, 0, "binary mesh ends at byte 12 inside the points"},
                          Case{1, 0, 65535, "inside surface record 1"}}) {
        Parsed p;
        p.binary(Mesh3d(c.surfaces, c.points, c.polygons).bytes());
        expectRefused(p, c.message);
    }
}

TEST(BadBinaryMesh, IndexesOutOfRangeAreRefused) {
    struct Case {
        std::vector<std::uint16_t> indices;
        std::int16_t surface;
        std::string message;
    };
    for (const Case& c : {Case{{0, 1, 3}, 1, "polygon record 1: point index 3 is not below the point count 3"},
                          Case{{0, 1, 2}, 2, "polygon record 1: surface number 2 is outside 1..1"},
                          Case{{0, 1, 2}, 0, "polygon record 1: surface number 0 is outside 1..1"},
                          Case{{0, 1, 2}, -3, "surface number -3 is outside 1..1"},
                          Case{{}, 1, "polygon record 1 has 0 vertices"}}) {
        Parsed p;
        p.binary(Mesh3d(1, 3, 1).surface(0x02, "skin").points(3).polygon(c.indices, c.surface).bytes());
        expectRefused(p, c.message);
        EXPECT_TRUE(p.textures.empty());
    }
}

TEST(BadBinaryMesh, TextureNamesUnterminatedOrTooLongAreRefused) {
    {
        Parsed p;
        Bytes file = Mesh3d(1, 0, 0).bytes();
        file.push_back(0x02);
        file.resize(file.size() + 12, 0);
        file.insert(file.end(), {'a', 'b', 'c'});
        p.binary(file);
        expectRefused(p, "inside surface record 1's texture name");
    }
    {
        Parsed p;
        p.binary(Mesh3d(1, 0, 0).surface(0x02, std::string(120, 'n')).bytes());
        expectRefused(p, "surface record 1: texture name of 120 characters is longer than 119");
    }
    {
        // Path separators stay part of the name that is asked for.
        Parsed p;
        p.binary(Mesh3d(1, 3, 1).surface(0x02, "..\\../up").points(3).polygon({0, 1, 2}, 1).bytes());
        ASSERT_TRUE(p.loaded) << report(p.diags);
        EXPECT_EQ(p.textures, (std::vector<std::string>{"..\\../up.jpg"}));
    }
}

}  // namespace
}  // namespace zor::robust
