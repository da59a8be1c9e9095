#pragma once
// Private: lighting of points in blocks, shared by lightObject and the fused
// transform loop. A block holds camera-space positions and normals as separate
// arrays so each light runs as one straight loop over the block, which the
// compiler turns into vector code.
//
// Each light's contribution to a channel is the product colour x g carried in
// double and truncated toward zero on its own. Those integers are summed in
// double, which holds them exactly (each is bounded by 2^30), and the sums
// are clamped to 0..255 once at the end, so they do not depend on the order
// the lights are added in.

#include <cstddef>

#include "object/object.h"
#include "scene/scene.h"

// The per-point loops are built for AVX2 and for the baseline on x86, and the
// better one is picked when the program loads; elsewhere (WebAssembly, ARM,
// and Windows, whose programs cannot pick at load time) they have one plain
// build.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
#define ZOR_POINT_LOOP [[gnu::target_clones("avx2", "default")]]
#else
#define ZOR_POINT_LOOP
#endif

namespace zor {

struct LightList {
    const SceneLight* lights = nullptr;
    std::size_t count = 0;
};

struct PointBlock {
    static constexpr std::size_t kCapacity = 64;
    std::size_t count = 0;
    alignas(32) float x[kCapacity];  // camera-space position
    alignas(32) float y[kCapacity];
    alignas(32) float z[kCapacity];
    alignas(32) float nx[kCapacity];  // camera-space normal
    alignas(32) float ny[kCapacity];
    alignas(32) float nz[kCapacity];
    alignas(32) double red[kCapacity];  // light sums so far, whole numbers
    alignas(32) double green[kCapacity];
    alignas(32) double blue[kCapacity];
};

// Where an object's points go: camera space = m x ((position - pivot) * scale)
// + offset; normals = m x normal.
struct BlockTransform {
    float m[9];
    float offset[3];
    float scale[3];
    float pivot[3];
};

// Transforms `count` points (at most kCapacity) into camera space, writing
// both the points' camera-space fields and the block's, and sets the block's
// light sums to `initialSum`.
void transformBlock(PointBlock& block, MeshPoint* points, std::size_t count, const BlockTransform& where,
                    double initialSum);

// Copies the camera-space fields and current light sums of `count` points
// (at most kCapacity) into the block.
void gatherBlock(PointBlock& block, const MeshPoint* points, std::size_t count);

// Adds every light's contribution to the block's sums.
void lightBlock(PointBlock& block, const LightList& lights);

// Clamps the block's sums to 0..255 and writes them into the points.
void storeBlockSums(PointBlock& block, MeshPoint* points);

}  // namespace zor
