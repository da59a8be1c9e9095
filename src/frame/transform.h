#pragma once
// Placement of objects, lights and bones through their parent chains, and the
// per-point transform of an object into camera space.
//
// Placement rule, the same for every item: start at the root of the chain
// with its position and scale; going down, each level's rotation is appended,
// the child's position minus its parent's pivot is scaled by the product of
// the scales above it and rotated into place, and the child's own scale joins
// the product. The final scale is applied per axis in the item's own frame.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "frame/camera.h"
#include "frame/linear.h"

namespace zor {

struct Scene;
struct SceneObject;
struct SceneBone;

struct Placement {
    Vec3 position = {};             // the item's origin, in its root's space
    Vec3 scale = {1, 1, 1};         // product of the scales down the chain, own included
    Mat3 rotation = kIdentity3;     // product of the ancestors' rotations (own excluded)
};

// A placement with the item's full rotation (placement.rotation times its
// own), which is what the items below it start from.
struct PlacedItem {
    Placement placement;
    Mat3 full = kIdentity3;
    std::uint64_t stamp = 0;   // the generation it was worked out in
    bool hasChildren = false;  // objects only: some object has it as parent
};

// Placements of one array of items (a scene's objects, or one object's
// bones) for their motion values as they stand. Each item is placed once,
// from its parent's entry, so placing a whole array costs one step per item
// however deep its chains are. Entries hold for one generation, which begins
// when the motions are evaluated (a frame's objects, an object's bones); an
// item whose own motion changes within it (a trail sample) is forgotten, and
// so is everything after a move of an item that others hang below.
// Outside a pass (items not the array asked about) every call starts afresh.
struct PlacementCache {
    const void* items = nullptr;     // the array the entries describe, during a pass
    std::uint64_t generation = 0;
    std::vector<PlacedItem> entries;
    std::vector<std::size_t> walk;   // scratch: items still to place, the asked one first
    PlacedItem loose;                // an item outside the array asked about

    // Starts a generation for `count` items at `array`; grows once to the
    // largest array, then never allocates.
    void begin(const void* array, std::size_t count);
    void end() { items = nullptr; }
    // Everything placed so far must be worked out again.
    void invalidate() { ++generation; }
    // Item `index` must be worked out again (its own motion changed).
    void forget(std::size_t index) {
        if (index < entries.size()) entries[index].stamp = 0;
    }
};

// What the preview puts in place of the scene's own placements, right after
// the motions are evaluated; every rule of the view and of the placement
// stays the player's. The player sets none.
struct FrameOverrides {
    // The camera placed here instead of by its motion (a free look).
    std::optional<CameraPlacement> camera;
    // Object `movedObject` (an index into the scene's objects) placed
    // `offset` away from where its motion puts it, in its parent's space
    // (a model being moved before its key is written).
    std::optional<std::size_t> movedObject;
    Vec3 offset = {};
};

// Per-frame working state: the camera view and the placements of the frame.
// The scratch grows once to the largest scene and object, then is reused, so
// evaluation does not allocate frame after frame.
struct FrameContext {
    CameraView view;
    PlacementCache objects;
    PlacementCache bones;
    FrameOverrides overrides;
};

// Placement of an object through its parent objects.
Placement placeObject(const SceneObject& object, const Scene& scene, FrameContext& context);
// Placement of a bone through its parent bones: no pivots, and the scales only
// scale the offsets between bones.
Placement placeBone(const SceneBone& bone, const SceneObject& owner, FrameContext& context);

// Camera-space positions and normals of all points, light sums cleared, then
// lightObject. Normals are rotated only: no scale, no renormalisation.
void transformObject(SceneObject& object, const Scene& scene, FrameContext& context);

// Number of points that every per-point array of the object really holds.
std::size_t usablePointCount(const SceneObject& object);

}  // namespace zor
