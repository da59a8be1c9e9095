#pragma once
// The scene's camera and lights. The first camera of the source becomes the
// scene's, placed in the world (the player's camera has no parent), sampled
// every frame under a moving parent; without one, a view from in front
// frames the whole model. Lights hang on their node's object, point and spot
// intensities matched to the player's falloff at the model's centre; without
// one, a white distant light from the upper left is added.

#include <array>
#include <vector>

#include "convert.h"
#include "motions.h"
#include "names.h"
#include "source_model.h"
#include "writers/scene_writer.h"

namespace zor::import {

// Bounds of all geometry at frame 0, in the player's space; false when the
// model has no point.
bool sceneBounds(const SourceModel& model, const Animation& animation, float scale, std::array<double, 3>& low,
                 std::array<double, 3>& high);

void addCamera(const SourceModel& model, Animation& animation, float scale, write::LwsScene& scene, Conversion& out);

// `objectOfNode`: per node, its 1-based object in the scene.
void addLights(const SourceModel& model, const Animation& animation, float scale, const std::vector<int>& objectOfNode,
               NameBook& lightNames, write::LwsScene& scene, Conversion& out);

}  // namespace zor::import
