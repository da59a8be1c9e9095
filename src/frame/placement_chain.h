#pragma once
// Private: the one chain walk shared by objects, lights and bones.

#include <vector>

#include "frame/camera.h"
#include "frame/transform.h"
#include "scene/scene.h"

namespace zor {

inline Vec3 pivotOf(const SceneObject& object) { return load3(object.pivot); }
inline Vec3 pivotOf(const SceneBone&) { return {0, 0, 0}; }

// Places an item whose evaluated motion channels are `own` (position 0..2,
// scale 6..8) under `parent`. `pivotOnOwn` says whether the direct parent's
// pivot is subtracted from the item's own position (false for lights and for
// bones, which have none). The chain is collected into `chain` first, so any
// depth works without a fixed array. Links are trusted to be acyclic, but a
// chain longer than `limit` (the number of items there are) can only be a
// cycle and is cut there rather than looping for ever.
template <class Node>
Placement placeUnder(const Node* parent, const float* own, bool pivotOnOwn, std::vector<const Node*>& chain,
                     std::size_t limit) {
    Placement placement;
    if (!parent) {
        placement.position = {own[0], own[1], own[2]};
        placement.scale = {own[6], own[7], own[8]};
        return placement;
    }
    chain.clear();
    for (const Node* node = parent; node && chain.size() < limit; node = node->parent) chain.push_back(node);
    if (chain.empty()) chain.push_back(parent);
    const Node* root = chain.back();
    Vec3 pos = {root->motion.value[0], root->motion.value[1], root->motion.value[2]};
    Vec3 s = {root->motion.value[6], root->motion.value[7], root->motion.value[8]};
    Mat3 r = kIdentity3;
    for (std::size_t i = chain.size(); i-- > 0;) {
        const Node* ancestor = chain[i];
        r = multiply(r, motionRotation(ancestor->motion));
        const float* child = i > 0 ? chain[i - 1]->motion.value : own;
        const Vec3 pivot = (i > 0 || pivotOnOwn) ? pivotOf(*ancestor) : Vec3{0, 0, 0};
        const Vec3 offset = {(child[0] - pivot[0]) * s[0], (child[1] - pivot[1]) * s[1],
                             (child[2] - pivot[2]) * s[2]};
        const Vec3 moved = mul(r, offset);
        pos = {pos[0] + moved[0], pos[1] + moved[1], pos[2] + moved[2]};
        s = {s[0] * child[6], s[1] * child[7], s[2] * child[8]};
    }
    placement.position = pos;
    placement.scale = s;
    placement.rotation = r;
    return placement;
}

}  // namespace zor
