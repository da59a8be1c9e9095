#pragma once
// Stand-in object loader for the scene targets: every named object gets a
// small fan of triangles whose point count depends on the name, so bones,
// morph targets of other sizes and parents all have points to work on.

#include <cstddef>
#include <cstdint>
#include <string>

#include "object/object.h"
#include "scene/scene_reader.h"

namespace zor::fuzz {

inline void fanMesh(const std::string& name, Mesh& mesh) {
    std::size_t hash = 0;
    for (char c : name) hash = hash * 31 + static_cast<unsigned char>(c);
    const auto points = static_cast<std::uint16_t>(name.empty() ? 0 : 3 + hash % 6);
    const auto polygons = static_cast<std::uint16_t>(points < 3 ? 0 : points - 2);
    allocateMesh(mesh, points, polygons);
    for (std::uint16_t i = 0; i < points; ++i) {
        mesh.points[i].position[0] = static_cast<float>(i % 3) - 1.0f;
        mesh.points[i].position[1] = static_cast<float>(i / 3);
        mesh.points[i].position[2] = static_cast<float>(i % 2);
    }
    static constexpr std::uint8_t kFlags[] = {flatShaded, smoothShaded | doubleSided, transparent,
                                              textured | smoothShaded, outline, reflectionMapped};
    for (std::uint16_t k = 0; k < polygons; ++k) {
        MeshPolygon& p = mesh.polygons[k];
        p.vertexCount = 3;
        p.pointIndices = {0, static_cast<std::uint16_t>(k + 1), static_cast<std::uint16_t>(k + 2)};
        p.u.assign(3, 0.5f);
        p.v.assign(3, 0.25f);
        p.flags = kFlags[(hash + k) % std::size(kFlags)];
        p.colorRed = p.colorGreen = p.colorBlue = 128;
    }
    computeNormals(mesh);
}

inline ObjectLoadFunction fanLoader() {
    return [](std::string& name, Mesh& mesh) { fanMesh(name, mesh); };
}

}  // namespace zor::fuzz
