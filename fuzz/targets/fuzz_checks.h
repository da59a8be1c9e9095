#pragma once
// Invariants the fuzz targets check on what a reader accepted. A broken one
// traps, so libFuzzer keeps the input.

#include <cstddef>

#include "object/object.h"

namespace zor::fuzz {

// Reads a value so the sanitizers see uninitialised or freed memory.
template <class T>
inline void touch(const T& value) {
    volatile T sink = value;
    (void)sink;
}

inline void checkMesh(const Mesh& mesh) {
    if (mesh.points.size() != mesh.pointCount) __builtin_trap();
    if (mesh.polygons.size() != mesh.polygonCount) __builtin_trap();
    for (const MeshPolygon& p : mesh.polygons) {
        if (p.pointIndices.size() < p.vertexCount) __builtin_trap();
        for (std::size_t k = 0; k < p.vertexCount; ++k) {
            if (p.pointIndices[k] >= mesh.pointCount) __builtin_trap();
        }
        if (p.vertexCount > 0 && (p.u.size() < p.vertexCount || p.v.size() < p.vertexCount)) __builtin_trap();
    }
}

}  // namespace zor::fuzz
