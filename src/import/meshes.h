#pragma once
// A source mesh becomes one or more object files: its primitives' faces in
// the player's space (front faces turned to run clockwise), one surface per
// material and kind (smooth or flat, textured, lines and points), points
// welded where position and normal agree, then cut into parts the formats
// hold (65535 points and polygons, 128 surfaces in a LightWave object, 150 in
// a binary mesh). A mesh with a texture no planar map gives becomes binary
// meshes, which carry texture coordinates.

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "import/convert.h"
#include "import/images.h"
#include "import/names.h"
#include "import/planar_fit.h"
#include "import/source_model.h"

namespace zor::import {

// One object file of a mesh.
struct Part {
    std::string file;       // "NAME.lwo" or "NAME.3d"
    std::string name;       // base name
    int points = 0;
    int polygons = 0;
    std::string morphFile;  // the same object in the morph target's shape, when the mesh morphs
};

class MeshWriter {
public:
    // `doubleSided`: every surface is drawn from both sides, whatever its
    // material says.
    MeshWriter(const SourceModel& model, float scale, bool doubleSided, ImageBaker& images, NameBook& objectNames,
               Conversion& out)
        : model_(model), scale_(scale), doubleSided_(doubleSided), images_(images), objectNames_(objectNames),
          out_(out) {}

    // Writes the mesh as one or more object files (the first named `name`,
    // the others after it) into the conversion; their parts in order, empty
    // when no polygon came across. With a morph target (an index into the
    // primitives' targets), each part also gets a twin in the target's shape:
    // the same points in the same order, moved by the target's offsets.
    std::vector<Part> write(const std::string& name, const SourceMesh& mesh, int morphTarget = -1);

private:
    struct SurfaceKey {
        int material = -1;
        bool smooth = false;
        bool textured = false;
        bool lineOrPoint = false;
        bool operator<(const SurfaceKey& o) const;
    };
    struct SurfacePlan {
        SurfaceKey key;
        std::string image;                 // JPEG name when textured
        std::optional<PlanarMap> planar;   // the projection that gives the source's uvs
    };

    const SourceMaterial& materialOf(int index) const;
    Corner corner(const SourcePrimitive& p, std::uint32_t i, const SurfaceKey& key,
                  const std::array<float, 3>& faceNormal, int morphTarget) const;
    void noteMaterial(const SourceMaterial& material);
    void collectPolygons(const SourceMesh& mesh, int morphTarget, std::vector<Polygon>& polygons,
                         std::vector<SurfacePlan>& surfaces);
    std::string surfaceName(const SurfacePlan& s, std::set<std::string>& used) const;

    const SourceModel& model_;
    float scale_;
    bool doubleSided_;
    ImageBaker& images_;
    NameBook& objectNames_;
    Conversion& out_;
};

}  // namespace zor::import
