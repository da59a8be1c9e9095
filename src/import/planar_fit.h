#pragma once
// The player's LightWave objects carry no texture coordinates: a surface's
// image is laid on by a projection. A textured surface whose source
// coordinates follow a plane (u and v each an affine function of one axis)
// can travel as a planar image map; any other needs a binary mesh, which
// carries coordinates per polygon corner.

#include <array>
#include <optional>
#include <vector>

#include "import/source_model.h"

namespace zor::import {

// One polygon before a mesh is cut into objects: player-space corner
// positions, the normal to weld points by, uvs (v = 0 the image's top row)
// and the index of its surface.
struct Corner {
    std::array<float, 3> position;
    std::array<float, 3> weldNormal;
    Vec2 uv;
    std::array<float, 3> morph{0, 0, 0};  // the morph target's offset, player space
};
struct Polygon {
    int surface = 0;
    std::vector<Corner> corners;
};

// A planar image map as the object format writes it.
struct PlanarMap {
    int axis = 2;  // 0 X, 1 Y, 2 Z
    std::array<float, 3> size{1, 1, 1};
    std::array<float, 3> center{0, 0, 0};
};

// The planar projection that gives the uvs of the polygons of `surface`,
// within a thousandth; none when no axis fits.
std::optional<PlanarMap> planarFit(const std::vector<Polygon>& polygons, int surface);

}  // namespace zor::import
