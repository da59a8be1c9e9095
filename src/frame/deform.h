#pragma once
// Vertex deformation: bones and morph targets rebuild an object's object-space
// points from its rest copy every call, so nothing accumulates between frames.
// Morph differences are added after the bone blend, in object space, without
// being turned by the bones.

namespace zor {

struct SceneObject;
struct FrameContext;

// Evaluates every bone's motion at the frame, then blends the points carried
// by each bone by its weights. Does nothing for an object without bones.
void deformBones(SceneObject& object, float frame, FrameContext& context);

// Applies the evaluated morph amount: from the rest points when the object has
// no bones, on top of the bone blend when it has.
void applyMorph(SceneObject& object);

}  // namespace zor
