#pragma once
// Preparation done once after a scene is read: morph target differences, and
// for objects with bones each bone's rest frame in object space and the
// normalised influence of every bone on every point, so that per-frame
// deformation only blends precomputed data.

#include <array>
#include <string>

#include "archive/diagnostics.h"
#include "scene/scene.h"

namespace zor {

// Degrees to radians, as the data was authored with (not exactly pi/180).
inline constexpr float kDegreesToRadians = 0.01745328f;

// Row-major 3x3 rotation for heading, pitch, bank in degrees; it takes an
// offset in the parent's frame into the item's own frame.
std::array<float, 9> rotationFromAngles(float heading, float pitch, float bank);

// Copies the object's points into restPoints and stores, per point, the
// target's position and normal minus the object's. False (object unchanged)
// when the target has fewer points than the object.
bool setMorphTarget(SceneObject& object, const SceneObject& target);

// Rest frames and weights of every bone of the object; releases weightSums.
// Parent links between the bones must not form a cycle. A point that no bone
// reaches (its weight sum is 0, or not a finite number) gets weight 0 from
// every bone and so keeps its rest position when deformed; that is reported
// to `diagnostics` under `fileName` when given.
void prepareBones(SceneObject& object, Diagnostics* diagnostics = nullptr, std::string_view fileName = {});

}  // namespace zor
