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
#include <vector>

#include "frame/camera.h"
#include "frame/linear.h"

namespace zor {

struct Scene;
struct SceneObject;
struct SceneBone;

// Per-frame working state: the camera view and scratch space for walking
// parent chains root first. The scratch grows once to the deepest chain and is
// then reused, so evaluation does not allocate frame after frame.
struct FrameContext {
    CameraView view;
    std::vector<const SceneObject*> objectChain;
    std::vector<const SceneBone*> boneChain;
};

struct Placement {
    Vec3 position = {};             // the item's origin, in its root's space
    Vec3 scale = {1, 1, 1};         // product of the scales down the chain, own included
    Mat3 rotation = kIdentity3;     // product of the ancestors' rotations (own excluded)
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
