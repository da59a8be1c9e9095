#pragma once
// Meshes and the object loaders: LightWave object files (points, polygons,
// surfaces with their texture projections) and the compact binary mesh file
// read when an object file is missing. Loaders take bytes from a DataSource,
// ask for texture images through the TextureLoader they are given and never
// touch the screen.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive.h"

namespace zor {

// Polygon flag bits.
enum PolygonFlags : std::uint8_t {
    flatShaded = 0x01,
    textured = 0x02,
    smoothShaded = 0x04,
    doubleSided = 0x08,
    transparent = 0x10,
    outline = 0x20,
    reflectionMapped = 0x40,
    black = 0x80,  // set only for the duration of the shadow pass
};

struct MeshPoint {
    float position[3] = {};           // object space
    float cameraSpacePosition[3] = {};
    float normal[3] = {};             // average of face normals, not renormalised
    float cameraSpaceNormal[3] = {};
    std::uint32_t lightRed = 0;       // light sums, 0..255 after lighting
    std::uint32_t lightGreen = 0;
    std::uint32_t lightBlue = 0;
    std::int32_t normalCount = 0;     // face normals added into normal
};

struct MeshPolygon {
    std::uint8_t flags = 0;
    std::uint8_t vertexCount = 0;     // 1 point/particle, 2 line, 3+ polygon
    std::uint8_t colorRed = 0;        // surface colour at half intensity
    std::uint8_t colorGreen = 0;
    std::uint8_t colorBlue = 0;
    float faceNormal[3] = {};         // unit; set for 3+ vertices only
    std::vector<float> u;             // vertexCount entries each
    std::vector<float> v;
    std::vector<std::uint16_t> pointIndices;
    std::uint16_t textureIndex = 0;
    std::uint16_t reflectionTextureIndex = 0;
    std::uint8_t surfaceIndex = 0;
};

// The mesh members of a scene object. Invariant: points.size() == pointCount,
// polygons.size() == polygonCount, every point index < pointCount.
struct Mesh {
    std::uint16_t pointCount = 0;
    std::uint16_t polygonCount = 0;
    std::vector<MeshPoint> points;
    std::vector<MeshPolygon> polygons;
};

// Sizes the mesh's arrays (records zeroed). On allocation failure prints
// "OUT OF MEMORY!!!\n(Is that bad eh?)" on stderr and ends the process with a
// non-zero status.
void allocateMesh(Mesh& mesh, std::uint16_t pointCount, std::uint16_t polygonCount);

// Asks the renderer for a texture by image name; answers its index, or -1 when
// the image cannot be loaded (stored as 65535 in the 16-bit index fields).
using TextureLoader = std::function<int(std::string_view imageName)>;

}  // namespace zor
