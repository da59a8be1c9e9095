// The program's own binary mesh file (little-endian, no padding): surface
// records with finished colours and flags, points, and polygons carrying
// their own texture coordinates. Every record is checked against the data
// and the limits before textures are requested.

#include <cmath>
#include <new>

#include "object/byte_order.h"
#include "object/object.h"

namespace zor {
namespace {

using detail::readF32LE;
using detail::readI16LE;
using detail::readI32LE;
using detail::readU16LE;
using detail::terminatedLength;

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kSurfaceFixedSize = 13;  // flags and three f32
constexpr std::size_t kPointSize = 12;
constexpr std::size_t kPolygonHeaderSize = 4;
constexpr std::size_t kVertexSize = 10;  // u16 index, f32 u, f32 v

struct BinarySurface {
    std::uint8_t flags = 0;
    std::uint8_t color[3] = {};
    std::string_view textureName;  // without extension; only with flag 0x02
    std::uint16_t textureIndex = 0;
};

// min(trunc(c * 128), 255); negative (and NaN) colours give 0.
std::uint8_t packColor(float c) {
    const double scaled = std::trunc(static_cast<double>(c) * 128.0);
    if (scaled >= 255.0) return 255;
    if (scaled > 0.0) return static_cast<std::uint8_t>(scaled);
    return 0;
}

void rewriteExtension(std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        name += ".3d";
    } else {
        name.replace(dot + 1, std::string::npos, "3d");
    }
}

}  // namespace

void ObjectLoader::loadBinaryMesh(std::string& name, Mesh& mesh) {
    if (readBinaryMesh(name, mesh) == FindResult::Missing && diagnostics_) {
        diagnostics_->warning(name, 0, "binary mesh file not found on disk or in the archive");
    }
}

ObjectLoader::FindResult ObjectLoader::readBinaryMesh(std::string& name, Mesh& mesh) {
    mesh = Mesh{};
    rewriteExtension(name);
    const std::optional<Bytes> bytes = readDataFile(source_, name, diagnostics_);
    if (!bytes) return FindResult::Missing;
    return parseBinaryMesh(name, *bytes, mesh) ? FindResult::Loaded : FindResult::Refused;
}

bool ObjectLoader::parseBinaryMesh(std::string_view fileName, std::span<const std::uint8_t> data, Mesh& mesh) {
    mesh = Mesh{};
    std::size_t offset = 0;
    // Whether `count` more bytes follow the read position (offset never
    // passes the end).
    const auto have = [&](std::size_t count) { return count <= data.size() - offset; };
    const auto cutOff = [&](const std::string& what) {
        return refuse(fileName, mesh,
                      "binary mesh ends at byte " + std::to_string(data.size()) + " inside " + what);
    };

    if (!have(kHeaderSize)) return cutOff("its 12-byte header");
    const std::int32_t surfaceCount = readI32LE(data.data());
    const std::int32_t pointCount = readI32LE(data.data() + 4);
    const std::int32_t polygonCount = readI32LE(data.data() + 8);
    offset = kHeaderSize;
    if (surfaceCount < 0 || surfaceCount > kMaxBinaryMeshSurfaces) {
        return refuse(fileName, mesh, "surface count " + std::to_string(surfaceCount) + " is outside 0.." +
                                          std::to_string(kMaxBinaryMeshSurfaces));
    }
    constexpr auto kMaxCount = static_cast<std::int32_t>(kMaxObjectCount);
    if (pointCount < 0 || pointCount > kMaxCount) {
        return refuse(fileName, mesh, "point count " + std::to_string(pointCount) + " is outside 0.." +
                                          std::to_string(kMaxCount));
    }
    if (polygonCount < 0 || polygonCount > kMaxCount) {
        return refuse(fileName, mesh, "polygon count " + std::to_string(polygonCount) + " is outside 0.." +
                                          std::to_string(kMaxCount));
    }

    std::array<BinarySurface, kMaxBinaryMeshSurfaces> surfaces{};
    for (std::int32_t i = 0; i < surfaceCount; ++i) {
        const std::string which = "surface record " + std::to_string(i + 1);
        if (!have(kSurfaceFixedSize)) return cutOff(which);
        BinarySurface& s = surfaces[static_cast<std::size_t>(i)];
        const std::uint8_t* p = data.data() + offset;
        s.flags = p[0];
        for (int c = 0; c < 3; ++c) s.color[c] = packColor(readF32LE(p + 1 + 4 * c));
        offset += kSurfaceFixedSize;
        if (s.flags & 0x02) {
            const auto length = terminatedLength(data.subspan(offset));
            if (!length) return cutOff(which + "'s texture name");
            if (*length > kMaxBinaryTextureNameLength) {
                return refuse(fileName, mesh, which + ": texture name of " + std::to_string(*length) +
                                                  " characters is longer than " +
                                                  std::to_string(kMaxBinaryTextureNameLength));
            }
            s.textureName = std::string_view(reinterpret_cast<const char*>(data.data() + offset), *length);
            offset += *length + 1;
        }
    }

    if (!have(kPointSize * static_cast<std::size_t>(pointCount))) return cutOff("the points");
    allocateMesh(mesh, static_cast<std::uint16_t>(pointCount), static_cast<std::uint16_t>(polygonCount));
    for (MeshPoint& point : mesh.points) {
        for (int c = 0; c < 3; ++c) point.position[c] = readF32LE(data.data() + offset + 4 * c);
        offset += kPointSize;
    }

    // Surface number of each polygon, for the texture indices set below.
    std::vector<std::uint8_t> polygonSurface(static_cast<std::size_t>(polygonCount));
    for (std::int32_t i = 0; i < polygonCount; ++i) {
        const auto which = [&] { return "polygon record " + std::to_string(i + 1); };
        if (!have(kPolygonHeaderSize)) return cutOff(which());
        const std::uint8_t* p = data.data() + offset;
        const std::size_t n = p[0];
        const int surfaceNumber = readI16LE(p + 2);
        if (n == 0) return refuse(fileName, mesh, which() + " has 0 vertices");
        if (surfaceNumber < 1 || surfaceNumber > surfaceCount) {
            return refuse(fileName, mesh, which() + ": surface number " + std::to_string(surfaceNumber) +
                                              " is outside 1.." + std::to_string(surfaceCount));
        }
        offset += kPolygonHeaderSize;
        if (!have(kVertexSize * n)) return cutOff(which() + "'s vertices");

        MeshPolygon& polygon = mesh.polygons[static_cast<std::size_t>(i)];
        polygon.vertexCount = static_cast<std::uint8_t>(n);
        polygon.pointIndices.resize(n);
        polygon.u.resize(n);
        polygon.v.resize(n);
        const std::uint8_t* indices = data.data() + offset;
        const std::uint8_t* coordinates = indices + 2 * n;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint16_t index = readU16LE(indices + 2 * k);
            if (index >= pointCount) {
                return refuse(fileName, mesh, which() + ": point index " + std::to_string(index) +
                                                  " is not below the point count " + std::to_string(pointCount));
            }
            polygon.pointIndices[k] = index;
            polygon.u[k] = readF32LE(coordinates + 8 * k);
            // The file's v runs top-down; texture rows are stored bottom-up.
            polygon.v[k] = 1.0f - readF32LE(coordinates + 8 * k + 4);
        }
        offset += kVertexSize * n;

        const BinarySurface& s = surfaces[static_cast<std::size_t>(surfaceNumber - 1)];
        polygonSurface[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(surfaceNumber - 1);
        polygon.colorRed = s.color[0];
        polygon.colorGreen = s.color[1];
        polygon.colorBlue = s.color[2];
        std::uint8_t flags = 0;
        if (s.flags & 0x01) flags = flatShaded;
        if (s.flags & 0x02) {
            // Textured wins over flat colour and shows the image unshaded.
            flags = textured;
            polygon.colorRed = polygon.colorGreen = polygon.colorBlue = 255;
        }
        flags |= s.flags & (smoothShaded | doubleSided | transparent | outline);
        polygon.flags = flags;
    }

    // The file is sound: now ask for its images, in surface order.
    for (std::int32_t i = 0; i < surfaceCount; ++i) {
        BinarySurface& s = surfaces[static_cast<std::size_t>(i)];
        if (!(s.flags & 0x02)) continue;
        const std::string imageName = std::string(s.textureName) + ".jpg";
        s.textureIndex = loadTexture_ ? static_cast<std::uint16_t>(loadTexture_(imageName)) : 0xFFFF;
    }
    for (std::size_t i = 0; i < mesh.polygons.size(); ++i) {
        const BinarySurface& s = surfaces[polygonSurface[i]];
        if (s.flags & 0x02) mesh.polygons[i].textureIndex = s.textureIndex;
    }

    computeNormals(mesh);
    return true;
}

}  // namespace zor
