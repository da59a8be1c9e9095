#pragma once
// Private: placing objects, lights and bones under their parents, each item
// once per generation of a PlacementCache.

#include <cstdint>
#include <span>

#include "frame/camera.h"
#include "frame/transform.h"
#include "scene/scene.h"

namespace zor {

inline Vec3 pivotOf(const SceneObject& object) { return load3(object.pivot); }
inline Vec3 pivotOf(const SceneBone&) { return {0, 0, 0}; }

// An item without a parent: its own position and scale, no rotation above.
inline Placement placeAtRoot(const float* own) {
    Placement placement;
    placement.position = {own[0], own[1], own[2]};
    placement.scale = {own[6], own[7], own[8]};
    return placement;
}

// An item whose evaluated motion channels are `own` (position 0..2, scale
// 6..8) one level below `parent`: its position minus `pivot` (the parent's,
// or none) is scaled by the scales above it and turned by the rotations above
// it, and its scale joins the product.
inline Placement placeBelow(const PlacedItem& parent, const Vec3& pivot, const float* own) {
    const Vec3& s = parent.placement.scale;
    const Vec3 offset = {(own[0] - pivot[0]) * s[0], (own[1] - pivot[1]) * s[1], (own[2] - pivot[2]) * s[2]};
    const Vec3 moved = mul(parent.full, offset);
    const Vec3& p = parent.placement.position;
    Placement placement;
    placement.position = {p[0] + moved[0], p[1] + moved[1], p[2] + moved[2]};
    placement.scale = {s[0] * own[6], s[1] * own[7], s[2] * own[8]};
    placement.rotation = parent.full;
    return placement;
}

inline void setPlaced(PlacedItem& entry, const Placement& placement, const Motion& motion) {
    entry.placement = placement;
    entry.full = multiply(placement.rotation, motionRotation(motion));
}

// The position of `item` in `items`, or items.size() when it is not one.
template <class Node>
std::size_t indexIn(const Node* item, std::span<const Node> items) {
    const auto at = reinterpret_cast<std::uintptr_t>(item);
    const auto begin = reinterpret_cast<std::uintptr_t>(items.data());
    if (!item || at < begin || at >= begin + items.size() * sizeof(Node)) return items.size();
    return (at - begin) / sizeof(Node);
}

// The placement of `node`, one of `items`, through its parents. Ancestors
// already placed in this generation are reused; the rest are placed from the
// nearest placed one (or the root) down and kept. A parent outside the array
// ends the chain, and so does a walk longer than the array, which only a
// cycle can make.
template <class Node>
const PlacedItem& placeInChain(const Node& node, std::span<const Node> items, PlacementCache& cache) {
    if (cache.items != items.data() || cache.entries.size() < items.size()) {
        cache.invalidate();
        if (cache.entries.size() < items.size()) cache.entries.resize(items.size());
    }
    const std::size_t count = items.size();
    if (indexIn(&node, items) == count) {
        // Not one of the items: placed under its parent, kept nowhere.
        const std::size_t parent = indexIn(node.parent, items);
        const Placement placement =
            parent == count ? placeAtRoot(node.motion.value)
                            : placeBelow(placeInChain(items[parent], items, cache), pivotOf(items[parent]),
                                         node.motion.value);
        setPlaced(cache.loose, placement, node.motion);
        return cache.loose;
    }
    std::vector<std::size_t>& walk = cache.walk;
    walk.clear();
    std::size_t above = count;  // the nearest ancestor placed in this generation
    for (std::size_t i = indexIn(&node, items);;) {
        if (cache.entries[i].stamp == cache.generation) {
            above = i;
            break;
        }
        walk.push_back(i);
        const std::size_t parent = indexIn(items[i].parent, items);
        if (parent == count || walk.size() >= count) break;
        i = parent;
    }
    for (std::size_t k = walk.size(); k-- > 0;) {
        const Node& item = items[walk[k]];
        PlacedItem& entry = cache.entries[walk[k]];
        setPlaced(entry,
                  above == count ? placeAtRoot(item.motion.value)
                                 : placeBelow(cache.entries[above], pivotOf(items[above]), item.motion.value),
                  item.motion);
        entry.stamp = cache.generation;
        above = walk[k];
    }
    return cache.entries[above];
}

}  // namespace zor
