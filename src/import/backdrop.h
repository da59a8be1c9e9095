#pragma once
// A backdrop: a box-shaped room of one colour around the whole scene, its
// walls facing inward, so that every frame covers the whole screen (the
// player never clears the picture, and a moving model over an open
// background leaves copies of itself).
//
// How the room shows its colour as given. The player has no luminous
// surfaces: a textured polygon shows its image times the light its points
// get (/ 255), and a point's light is summed over the scene's lights from
// its normal. Each wall is written twice, once facing inward and once
// outward over the same points; the player draws only the inward one from
// inside, and every corner's normal, the plain average of its polygons'
// normals, is zero. A distant light then gives every point of the room the
// same light, its colour / 4 x its intensity, whatever its direction and
// the camera's; point lights and spots give none. The room's image is the
// colour divided by that light, so that the two multiply back to the colour:
// exactly as long as the distant lights give at least the colour in each
// channel (the default light gives 145 of 255), and as near as they allow
// otherwise (a warning says so). A scene without a distant light gets one
// in the backdrop's colour, as bright as that colour (the room's glow, which
// tints the models too): without it the room would be black.
//
// The room holds the scene's models where they stand at their keys and
// every key of the camera, with a margin; a warning says when some of it
// lies beyond the view's far end from a camera key, where it would leave
// the screen uncovered.

#include <array>
#include <cstdint>

#include "import/camera_lights.h"
#include "import/convert.h"
#include "import/names.h"
#include "writers/scene_writer.h"

namespace zor::import {

// Adds the room (an object, its file and its image) to `scene`, whose lights
// and camera are already there; `content` is where the models reach.
void addBackdrop(const std::array<std::uint8_t, 3>& colour, const Bounds& content, write::LwsScene& scene,
                 NameBook& objectNames, NameBook& imageNames, Conversion& out);

// The light a point with a zero normal gets from the scene's lights, per
// channel: each distant light's colour / 4 x its intensity (constant
// intensities; an envelope counts with its first key), truncated, the sum
// clamped to 255.
std::array<int, 3> lightOfZeroNormal(const write::LwsScene& scene);

}  // namespace zor::import
