#pragma once
// A recipe's placements and camera keys as the scene's motions. Values are
// the player's own (positions in its units and axes, heading, pitch and bank
// in degrees), so they are written as they stand; between keys the player's
// own curve runs (Kochanek-Bartels with tension, continuity and bias 0).

#include <array>
#include <vector>

#include "recipe/recipe.h"
#include "writers/scene_writer.h"

namespace zor::import {

// The root null's motion of a recipe model. Its placement (position,
// rotation, scale / scaleDivisor) is its key at `firstFrame`; the recipe's
// keys follow, each value a key leaves out held from the key before (a key
// at `firstFrame` takes the placement's place). With a spin, the placement
// is sampled once a frame from `firstFrame` to `lastFrame` and the spin
// added, in degrees a second since frame 0 by the player's clock: x to the
// pitch (about x), y to the heading (about y), z to the bank (about z); the
// keys a straight line gives back are dropped again.
write::LwsMotion modelMotion(const recipe::RecipeModel& model, double scaleDivisor, int firstFrame, int lastFrame);

// The camera's motion from a recipe's keys: each key's position, and its
// rotation, or the heading and pitch that look from the position at
// `look_at` (bank 0; each heading the turn nearest the key before's), or
// none. A first key after `firstFrame` is held from there (before its first
// key the player's curve would run on backwards).
write::LwsMotion cameraMotion(const std::vector<recipe::CameraKey>& keys, int firstFrame);

// Heading and pitch (degrees) that look from `from` towards `to`: heading 0
// looks along +z and 90 along +x, pitch 90 straight down. Of the headings
// that do, the one nearest `previousHeading`.
std::array<double, 2> aimAt(const recipe::Vec3& from, const recipe::Vec3& to, double previousHeading = 0);

}  // namespace zor::import
