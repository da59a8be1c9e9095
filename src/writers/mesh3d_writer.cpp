#include "writers/mesh3d_writer.h"

#include <stdexcept>

#include "object/object.h"
#include "writers/byte_writer.h"

namespace zor::write {
namespace {

void check(const BinaryMesh& mesh) {
    const std::string most = std::to_string(kMaxObjectCount);
    if (mesh.surfaces.size() > kMaxBinaryMeshSurfaces)
        throw std::invalid_argument("3d: more than " + std::to_string(kMaxBinaryMeshSurfaces) + " surfaces");
    if (mesh.points.size() > kMaxObjectCount) throw std::invalid_argument("3d: more than " + most + " points");
    if (mesh.polygons.size() > kMaxObjectCount) throw std::invalid_argument("3d: more than " + most + " polygons");
    for (const BinarySurface& s : mesh.surfaces)
        if ((s.flags & binTextured) && (s.texture.empty() || s.texture.size() > kMaxBinaryTextureNameLength))
            throw std::invalid_argument("3d: textured surface needs a name of 1 to 119 characters");
    for (const BinaryPolygon& p : mesh.polygons) {
        if (p.points.empty() || p.points.size() > 255)
            throw std::invalid_argument("3d: polygon with " + std::to_string(p.points.size()) + " vertices");
        if (p.uv.size() != p.points.size()) throw std::invalid_argument("3d: uv count differs from vertex count");
        if (p.surface < 1 || static_cast<std::size_t>(p.surface) > mesh.surfaces.size())
            throw std::invalid_argument("3d: surface number " + std::to_string(p.surface) + " out of range");
        for (std::uint16_t i : p.points)
            if (i >= mesh.points.size())
                throw std::invalid_argument("3d: point index " + std::to_string(i) + " out of range");
    }
}

}  // namespace

Bytes writeBinaryMesh(const BinaryMesh& mesh) {
    check(mesh);
    ByteWriter out(ByteWriter::Order::Little);
    out.i32(static_cast<std::int32_t>(mesh.surfaces.size()));
    out.i32(static_cast<std::int32_t>(mesh.points.size()));
    out.i32(static_cast<std::int32_t>(mesh.polygons.size()));
    for (const BinarySurface& s : mesh.surfaces) {
        out.u8(s.flags);
        for (float c : s.color) out.f32(c);
        if (s.flags & binTextured) out.cString(s.texture);
    }
    for (const auto& p : mesh.points)
        for (float f : p) out.f32(f);
    for (const BinaryPolygon& p : mesh.polygons) {
        out.u8(static_cast<std::uint8_t>(p.points.size()));
        out.u8(0);
        out.i16(p.surface);
        for (std::uint16_t i : p.points) out.u16(i);
        for (const auto& uv : p.uv) {
            out.f32(uv[0]);
            out.f32(uv[1]);
        }
    }
    return out.take();
}

}  // namespace zor::write
