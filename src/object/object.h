#pragma once
// Meshes and the object loaders: LightWave object files (points, polygons,
// surfaces with their texture projections) and the compact binary mesh file
// read when an object file is missing. Loaders take bytes from a DataSource,
// ask for texture images through the TextureLoader they are given and never
// touch the screen.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/data_source.h"
#include "archive/diagnostics.h"
#include "object/surface.h"

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

// Sizes the mesh's arrays (records zeroed). A failed allocation throws
// std::bad_alloc, as every loader here does: what follows is the program's
// choice (the player reports it and ends).
void allocateMesh(Mesh& mesh, std::uint16_t pointCount, std::uint16_t polygonCount);

// Face normals of polygons with three or more vertices, and per point the
// plain average of the face normals of the polygons using it (not
// renormalised). Point indices must be below pointCount.
void computeNormals(Mesh& mesh);

// What one object may hold, in either format: at most this many points and
// this many polygons (16-bit counts), polygons of 1 to 255 vertices.
inline constexpr std::size_t kMaxObjectCount = 65535;
inline constexpr std::size_t kMaxPolygonVertices = 255;

inline constexpr int kSurfaceTableSize = 128;
inline constexpr int kMaxBinaryMeshSurfaces = 150;
inline constexpr std::size_t kMaxBinaryTextureNameLength = 119;

// What became of the objects an ObjectLoader was asked for by loadObject.
struct ObjectLoads {
    int loaded = 0;   // read (an object file or its binary mesh)
    int refused = 0;  // found, but broke a limit of its format
    int missing = 0;  // found neither as an object file nor as a binary mesh
    std::string firstRefusal;  // "FILE: why" of the first refused file
};

// What a tool says when a scene shows none of its objects: how many were
// refused (with the first reason) and how many were not found, and, only
// when some were not found, where files are looked for (nothingFoundHint).
std::string describeNoObject(const ObjectLoads& loads, const std::filesystem::path& directory);

// Reads meshes from LightWave object files (binary IFF, big-endian) and, when
// an object file is nowhere to be found, from the binary mesh file of the same
// base name with the extension "3d" (little-endian).
//
// Input is not trusted: every chunk size, count and index is checked before
// anything is changed, and a file that breaks a limit is refused as a whole
// with a warning naming the file; its mesh stays empty and the surface table
// untouched. The surface table persists from object to object: a surface
// field that one object's "SURF" chunks leave alone keeps what an earlier
// object set.
class ObjectLoader {
public:
    // loadTexture asks the renderer for an image by name (its index, or -1);
    // diagnostics may be null.
    ObjectLoader(DataSource source, TextureLoader loadTexture, Diagnostics* diagnostics);

    // Fills mesh from the object file `name` (disk first, then the archive);
    // when it exists in neither, from the binary mesh file, in which case
    // `name` is rewritten to that file's name.
    void loadObject(std::string& name, Mesh& mesh);
    // Rewrites the extension of `name` to "3d" (appending ".3d" when it has
    // none) and fills mesh from that binary mesh file.
    void loadBinaryMesh(std::string& name, Mesh& mesh);

    // Parsers over bytes already in memory; fileName is only used in
    // warnings. False (mesh empty, warning added) for a refused file.
    bool parseObject(std::string_view fileName, std::span<const std::uint8_t> data, Mesh& mesh);
    bool parseBinaryMesh(std::string_view fileName, std::span<const std::uint8_t> data, Mesh& mesh);

    const std::array<Surface, kSurfaceTableSize>& surfaces() const { return surfaces_; }
    std::array<Surface, kSurfaceTableSize>& surfaces() { return surfaces_; }
    // Image kind of the last "CTEX"/"RIMG" of the object read last.
    ImageKind lastImageKind() const { return lastImage_; }
    // The objects loadObject was asked for so far.
    const ObjectLoads& loads() const { return loads_; }

private:
    enum class FindResult { Loaded, Refused, Missing };
    FindResult readBinaryMesh(std::string& name, Mesh& mesh);
    bool refuse(std::string_view fileName, Mesh& mesh, std::string message);

    DataSource source_;
    TextureLoader loadTexture_;
    Diagnostics* diagnostics_;
    std::array<Surface, kSurfaceTableSize> surfaces_{};
    ImageKind lastImage_ = ImageKind::None;
    ObjectLoads loads_;
    std::string lastRefusal_;  // "FILE: why" of the last refused file
};

}  // namespace zor
