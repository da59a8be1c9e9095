#pragma once
// Writes LightWave "LWOB" object files: FORM, PNTS, SRFS, POLS, then one SURF
// per surface. Every chunk and sub-chunk is written with an even size, so a
// reader that never pads between chunks reads the same file as one that does.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "system/disk_files.h"

namespace zor::write {

// Bits of the SURF "FLAG" sub-chunk.
enum LwSurfaceFlag : std::uint16_t {
    lwOutline = 0x2,
    lwSmoothing = 0x4,
    lwDoubleSided = 0x100,
};

struct LwTextureMap {
    std::string mapping;            // "Planar Image Map", "Cylindrical Image Map", ...
    std::string image;              // TIMG path; the file name follows the last backslash
    std::uint16_t axisFlags = 0x2;  // TFLG: 0x1 X, 0x2 Y, 0x4 Z
    std::array<float, 3> size{1, 1, 1};
    std::array<float, 3> center{0, 0, 0};
    float wrapWidth = 1;            // TFP0
    float wrapHeight = 1;           // TFP1
};

struct LwSurface {
    std::string name;
    std::array<std::uint8_t, 3> color{200, 200, 200};
    std::uint16_t flags = 0;                 // LwSurfaceFlag bits
    std::optional<float> transparency;       // VTRN
    std::optional<LwTextureMap> texture;     // CTEX + TIMG and the projection
    std::string reflectionImage;             // RIMG path, empty for none
};

struct LwPolygon {
    std::vector<std::uint16_t> points;
    std::uint16_t surface = 1;  // 1-based position in the surface list
};

struct LwObject {
    std::vector<std::array<float, 3>> points;
    std::vector<LwPolygon> polygons;
    std::vector<LwSurface> surfaces;
};

// The whole file. Throws std::invalid_argument for what the format cannot
// hold: more than 65535 points, polygons of 0 or more than 255 vertices,
// point indices or surface numbers out of range, an oversized chunk.
Bytes writeLwob(const LwObject& object);

}  // namespace zor::write
