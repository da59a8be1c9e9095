#pragma once
// Writes the compact binary mesh file (".3d"): little-endian header of
// surface, point and polygon counts, surface records, points, then polygons
// carrying their own texture coordinates.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "system/disk_files.h"

namespace zor::write {

// Surface flag bits of the binary mesh file.
enum BinarySurfaceFlag : std::uint8_t {
    binFlat = 0x01,
    binTextured = 0x02,
    binSmooth = 0x04,
    binDoubleSided = 0x08,
    binTransparent = 0x10,
    binOutline = 0x20,
};

struct BinarySurface {
    std::uint8_t flags = binFlat;
    std::array<float, 3> color{1, 1, 1};  // 1.0 = full
    std::string texture;                   // base name without ".jpg"; written only when textured
};

struct BinaryPolygon {
    std::int16_t surface = 1;  // 1-based
    std::vector<std::uint16_t> points;
    std::vector<std::array<float, 2>> uv;  // one (u, v) per vertex; v = 0 is the image's top row
};

struct BinaryMesh {
    std::vector<BinarySurface> surfaces;
    std::vector<std::array<float, 3>> points;
    std::vector<BinaryPolygon> polygons;
};

// Throws std::invalid_argument for what the format cannot hold (more than 150
// surfaces, 0 or more than 255 vertices, indices or surface numbers out of
// range, a uv list of the wrong length, texture names over 119 characters).
Bytes writeBinaryMesh(const BinaryMesh& mesh);

}  // namespace zor::write
