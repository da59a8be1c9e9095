#pragma once
// Object files for the tests, chunk by chunk on the writers' ByteWriter:
// LightWave object files (big-endian IFF chunks) and binary mesh files
// (little-endian) with every field the readers see spelled out in the test,
// including the damaged ones that zor::write's whole-file writers refuse to
// make. Also a texture loader that records the names it is asked for.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "object/object.h"
#include "scratch_dir.h"
#include "writers/byte_writer.h"

namespace zor::test {

using write::ByteWriter;

inline ByteWriter be() { return ByteWriter(ByteWriter::Order::Big); }
inline ByteWriter le() { return ByteWriter(ByteWriter::Order::Little); }

struct Chunk {
    std::string id;
    Bytes data;
};

// "FORM", size, "LWOB", then the chunks with their true sizes.
inline Bytes lwob(const std::vector<Chunk>& chunks) {
    ByteWriter body = be();
    body.append("LWOB");
    for (const Chunk& c : chunks) body.append(c.id).i32(static_cast<std::int32_t>(c.data.size())).append(c.data);
    ByteWriter file = be();
    file.append("FORM").i32(static_cast<std::int32_t>(body.bytes().size())).append(body.bytes());
    return file.bytes();
}

inline Chunk pnts(std::initializer_list<std::array<float, 3>> points) {
    ByteWriter w = be();
    for (const auto& p : points) w.f32(p[0]).f32(p[1]).f32(p[2]);
    return {"PNTS", w.bytes()};
}

struct Poly {
    std::vector<std::uint16_t> indices;
    std::int16_t surface = 1;
};

inline Chunk pols(std::initializer_list<Poly> polygons) {
    ByteWriter w = be();
    for (const Poly& p : polygons) {
        w.u16(static_cast<std::uint16_t>(p.indices.size()));
        for (std::uint16_t i : p.indices) w.u16(i);
        w.i16(p.surface);
    }
    return {"POLS", w.bytes()};
}

inline Chunk srfs(std::initializer_list<std::string> names) {
    ByteWriter w = be();
    for (const std::string& n : names) w.evenString(n);
    return {"SRFS", w.bytes()};
}

// One sub-chunk of a "SURF" chunk: id, 16-bit size, data.
inline Bytes sub(std::string_view id, const Bytes& data) {
    ByteWriter w = be();
    w.append(id).i16(static_cast<std::int16_t>(data.size())).append(data);
    return w.bytes();
}
inline Bytes subText(std::string_view id, std::string_view text) { return sub(id, be().evenString(text).bytes()); }
inline Bytes subU16(std::string_view id, std::uint16_t v) { return sub(id, be().u16(v).bytes()); }
inline Bytes subF32(std::string_view id, float v) { return sub(id, be().f32(v).bytes()); }
inline Bytes subVec(std::string_view id, float x, float y, float z) { return sub(id, be().f32(x).f32(y).f32(z).bytes()); }
inline Bytes subColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return sub("COLR", be().u8(r).u8(g).u8(b).u8(0).bytes());
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Chunk surf(std::string_view name, std::initializer_list<Bytes> subChunks) {
    ByteWriter w = be();
    w.evenString(name);
    for (const Bytes& s : subChunks) w.append(s);
    return {"SURF", w.bytes()};
}

// Binary mesh file pieces.
struct BinarySurfaceSpec {
    std::uint8_t flags = 0;
    float red = 0, green = 0, blue = 0;
    std::string texture;  // written only when flags has 0x02
};
struct BinaryPolygonSpec {
    std::vector<std::uint16_t> indices;
    std::vector<std::array<float, 2>> uv;
    std::int16_t surface = 1;
};

inline Bytes binaryMesh(const std::vector<BinarySurfaceSpec>& surfaces,
                        const std::vector<std::array<float, 3>>& points,
                        const std::vector<BinaryPolygonSpec>& polygons) {
    ByteWriter w = le();
    w.i32(static_cast<std::int32_t>(surfaces.size()))
        .i32(static_cast<std::int32_t>(points.size()))
        .i32(static_cast<std::int32_t>(polygons.size()));
    for (const auto& s : surfaces) {
        w.u8(s.flags).f32(s.red).f32(s.green).f32(s.blue);
        if (s.flags & 0x02) w.cString(s.texture);
    }
    for (const auto& p : points) w.f32(p[0]).f32(p[1]).f32(p[2]);
    for (const auto& p : polygons) {
        w.u8(static_cast<std::uint8_t>(p.indices.size())).u8(0xEE).i16(p.surface);
        for (std::uint16_t i : p.indices) w.u16(i);
        for (const auto& c : p.uv) w.f32(c[0]).f32(c[1]);
    }
    return w.bytes();
}

// A texture loader that records every request and answers the next index,
// or -1 for names listed as missing.
struct TextureRecorder {
    std::vector<std::string> names;
    std::vector<std::string> missing;
    int next = 7;

    TextureLoader loader() {
        return [this](std::string_view name) {
            names.emplace_back(name);
            for (const std::string& m : missing)
                if (m == name) return -1;
            return next++;
        };
    }
};

// A refused file: empty mesh, exactly one warning naming the file and
// saying what is wrong, and no image requested.
inline void expectRefused(const Mesh& mesh, const Diagnostics& diags, std::string_view file,
                          std::string_view message, const TextureRecorder& textures) {
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(mesh.polygonCount, 0);
    EXPECT_TRUE(mesh.points.empty());
    EXPECT_TRUE(mesh.polygons.empty());
    ASSERT_EQ(diags.items().size(), 1u);
    EXPECT_EQ(diags.items()[0].file, file);
    EXPECT_THAT(diags.items()[0].message, testing::HasSubstr(std::string(message)));
    EXPECT_TRUE(textures.names.empty());
}

}  // namespace zor::test
