#pragma once
// What the importer reads from a modelling tool's file, before any
// conversion: plain records in the source's own conventions (right-handed,
// +Y up, metres, seconds, quaternions, linear colours). The glTF and OBJ
// readers fill them; the converter never sees a library's types. Nothing in
// here is trusted: the converter checks every index and count again.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::import {

using Vec2 = std::array<float, 2>;
using Vec3 = std::array<float, 3>;
using Quat = std::array<float, 4>;  // x, y, z, w

struct SourceImage {
    std::string name;                 // file name or the image's own name, for messages and the output name
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;   // width * height * 4, top row first
    bool hasAlpha = false;            // some pixel is not opaque
};

enum class AlphaMode { Opaque, Mask, Blend };

struct SourceMaterial {
    std::string name;
    std::array<float, 4> baseColor{1, 1, 1, 1};  // linear
    int baseColorImage = -1;                      // index into images, -1 for none
    Vec3 emissive{0, 0, 0};                       // linear
    AlphaMode alpha = AlphaMode::Opaque;
    bool doubleSided = false;
    bool unlit = false;                           // KHR_materials_unlit
};

enum class PrimitiveMode { Points, Lines, Triangles, Polygons };

// One drawable piece with one material. For Triangles, indices come in
// threes; for Lines in twos; for Points one by one; for Polygons the
// polygon sizes are in polygonSizes (OBJ faces kept whole).
struct SourcePrimitive {
    PrimitiveMode mode = PrimitiveMode::Triangles;
    int material = -1;                    // -1: the default grey material
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;            // empty or one per position
    std::vector<Vec2> uvs;                // empty or one per position; v = 0 is the image's top row
    std::vector<std::uint32_t> indices;
    std::vector<std::uint32_t> polygonSizes;
    // Morph targets: per target, one position offset per vertex (a target
    // the file gives no positions for is empty).
    std::vector<std::vector<Vec3>> targets;
    // Skin: `influences` (joint, weight) pairs per vertex, the joint an index
    // into the node's skin's joints; empty without a skin.
    int influences = 0;
    std::vector<std::uint32_t> joints;
    std::vector<float> weights;
};

// The faces of a primitive as index lists, as its mode groups the indices.
inline std::vector<std::vector<std::uint32_t>> facesOf(const SourcePrimitive& p) {
    std::vector<std::vector<std::uint32_t>> faces;
    const std::size_t n = p.indices.size();
    switch (p.mode) {
    case PrimitiveMode::Points:
        for (std::size_t i = 0; i < n; ++i) faces.push_back({p.indices[i]});
        break;
    case PrimitiveMode::Lines:
        for (std::size_t i = 0; i + 1 < n; i += 2) faces.push_back({p.indices[i], p.indices[i + 1]});
        break;
    case PrimitiveMode::Triangles:
        for (std::size_t i = 0; i + 2 < n; i += 3) faces.push_back({p.indices[i], p.indices[i + 1], p.indices[i + 2]});
        break;
    case PrimitiveMode::Polygons: {
        std::size_t at = 0;
        for (std::uint32_t size : p.polygonSizes) {
            if (size == 0 || size > n - at) break;
            faces.emplace_back(p.indices.begin() + at, p.indices.begin() + at + size);
            at += size;
        }
        break;
    }
    }
    return faces;
}

struct SourceMesh {
    std::string name;
    std::vector<SourcePrimitive> primitives;
    std::vector<float> weights;            // the morph targets' default weights (may be empty)
    std::vector<std::string> targetNames;  // the targets' names where the file gives them
};

// A skeleton: the nodes whose placement moves a skinned mesh's vertices.
struct SourceSkin {
    std::string name;
    std::vector<int> joints;                         // node indexes; -1 for a node outside the node tree
    std::vector<std::array<float, 16>> inverseBind;  // per joint, column-major; identity when not given
};

struct Transform {
    Vec3 translation{0, 0, 0};
    Quat rotation{0, 0, 0, 1};
    Vec3 scale{1, 1, 1};
};

struct SourceNode {
    std::string name;
    int parent = -1;
    int mesh = -1;
    int camera = -1;
    int light = -1;
    int skin = -1;               // index into skins, -1 for none
    std::vector<float> weights;  // morph weights in place of the mesh's (empty: the mesh's)
    Transform rest;
};

struct SourceCamera {
    std::string name;
    bool perspective = true;
    float yfov = 0.8f;         // radians
    float aspectRatio = 0;     // 0: not given
};

enum class LightKind { Directional, Point, Spot };

struct SourceLight {
    std::string name;
    LightKind kind = LightKind::Directional;
    Vec3 color{1, 1, 1};       // linear
    float intensity = 1;       // lux for directional, candela otherwise
    float innerCone = 0;       // radians, spots
    float outerCone = 0.7853982f;
};

enum class AnimatedPath { Translation, Rotation, Scale, Weights };
enum class Interpolation { Linear, Step, CubicSpline };

// One animated property of one node. values holds one element per time
// (three per time for CUBICSPLINE: in-tangent, value, out-tangent), each of
// 3 floats (translation, scale), 4 (rotation) or one per morph target
// (weights).
struct SourceChannel {
    int node = -1;
    AnimatedPath path = AnimatedPath::Translation;
    Interpolation interpolation = Interpolation::Linear;
    int width = 0;              // floats per element for Weights (the target count)
    std::vector<float> times;   // seconds, rising
    std::vector<float> values;
};

struct SourceModel {
    std::string fileName;  // for messages
    std::vector<SourceNode> nodes;
    std::vector<SourceMesh> meshes;
    std::vector<SourceMaterial> materials;
    std::vector<SourceImage> images;
    std::vector<SourceCamera> cameras;
    std::vector<SourceLight> lights;
    std::vector<SourceSkin> skins;
    std::vector<SourceChannel> channels;
    // Kinds of content the reader met but cannot hand on ("skins",
    // "morph targets", ...), each once.
    std::vector<std::string> notCarried;

    void noteNotCarried(const std::string& what) {
        for (const std::string& n : notCarried)
            if (n == what) return;
        notCarried.push_back(what);
    }
};

}  // namespace zor::import
