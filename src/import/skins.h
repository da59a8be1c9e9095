#pragma once
// Skinned meshes as the player can move them. The player's bones weigh
// points by their distance from each bone, not by the weights a modelling
// tool painted, so a skin travels as rigid pieces instead: every vertex
// goes with its strongest joint, every face with the joint most of its
// corners go with, and each piece is laid out in its joint's own space
// (through the joint's inverse bind matrix), ready to hang on the joint's
// object, whose animation then moves it.

#include <cstddef>
#include <vector>

#include "import/source_model.h"

namespace zor::import {

struct RigidPiece {
    int joint = -1;  // index into the skin's joints
    int node = -1;   // the joint's node; -1: not in the node tree (the piece keeps the mesh's space)
    SourceMesh mesh;
};

struct RigidSplit {
    std::vector<RigidPiece> pieces;  // in the order of the skin's joints
    std::size_t vertices = 0;        // vertices of the mesh
    std::size_t blended = 0;         // of them, those whose strongest weight is below 1
};

RigidSplit splitSkinnedMesh(const SourceMesh& mesh, const SourceSkin& skin);

}  // namespace zor::import
