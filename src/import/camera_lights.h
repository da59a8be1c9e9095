#pragma once
// The scene's camera and lights. A source's first camera can become the
// scene's, placed in the world (the player's camera has no parent), sampled
// every frame under a moving parent; without one, a view from in front
// frames the whole scene. Lights hang on their node's object, point and spot
// intensities matched to the player's falloff at the model's centre; a scene
// without any gets a white distant light from the upper left, bright enough
// that the faces turned to the view show their images at full colour.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "import/convert.h"
#include "import/motions.h"
#include "import/source_model.h"
#include "writers/scene_writer.h"

namespace zor::import {

// An axis-aligned box in the player's space.
struct Bounds {
    std::array<double, 3> low{1e300, 1e300, 1e300};
    std::array<double, 3> high{-1e300, -1e300, -1e300};

    bool empty() const { return low[0] > high[0]; }
    void add(const std::array<double, 3>& p);
    void add(const Bounds& b);
    std::array<double, 3> centre() const;
    double radius() const;  // half the diagonal
    double largestSide() const;
    // The box scaled about the origin, then moved by `at`.
    Bounds placed(double scale, const std::array<float, 3>& at) const;
};

// Bounds of the model's geometry at frame 0, in the player's space at scale 1.
Bounds modelBounds(const SourceModel& model, const Animation& animation);

// The first node with a camera, or -1.
int cameraNode(const SourceModel& model);

// How far the framing view stands from the centre of a sphere of `radius`
// to hold all of it, and whether the sphere then lies within the view's
// depth.
double framingDistance(double radius);
bool framingFits(double radius);
// About the largest scale at which a model of `radius` fits the framing view.
double largestFittingScale(double radius);

// What a camera at `position`, turned by heading, pitch and bank (degrees),
// sees of a model's points at frame 0, the model placed at `scale` and moved
// by `at`.
struct CameraSight {
    std::size_t points = 0;  // of the model
    std::size_t ahead = 0;   // beyond the view's near end
    std::size_t inCone = 0;  // of those, within the view's angles
    std::size_t seen = 0;    // of those, not beyond the view's far end
    double nearest = 1e300, farthest = 0;  // distances from the camera
    double farthestInCone = 0;             // depth ahead of the camera
};
CameraSight sightOf(const SourceModel& model, const Animation& animation, float scale, const std::array<float, 3>& at,
                    const std::array<float, 3>& position, const std::array<double, 3>& hpb);

// When the source's own camera sees none of the model at frame 0 within the
// view's far end (at scale 1), though some of it lies within its angles
// beyond: a round scale (roundScale) that brings that within reach, camera
// and all, so the picture stays the same in smaller numbers; `depth` gets
// how far ahead the farthest point it sees lies.
std::optional<double> scaleIntoCameraReach(const SourceModel& model, const Animation& animation, double& depth);

// How far ahead the view reaches, from the camera.
double farthestSeenDepth();

// The source's camera as the scene's: its world placement (positions times
// `scale`, then moved by `at`). Notes what does not come across, and warns
// when the camera sees none of the model at frame 0 or notes when parts lie
// beyond the view.
void addSourceCamera(const SourceModel& model, Animation& animation, float scale, const std::array<float, 3>& at,
                     const std::string& sourceName, write::LwsScene& scene, Conversion& out,
                     const std::string& scaleOption = "--scale");

// A camera looking along +z at the middle of `bounds`, far enough back to
// hold it all.
void addFramingCamera(const Bounds& bounds, write::LwsScene& scene, Conversion& out);

// The source's lights, each hung on its node's object (`objectOfNode`: per
// node, its 1-based object in the scene).
void addLights(const SourceModel& model, const Animation& animation, float scale, const std::vector<int>& objectOfNode,
               write::LwsScene& scene, Conversion& out);

// The light a scene without lights gets.
write::LwsLight defaultLight();

// 1, 2 or 5 times a power of ten: the nearest such to `s` (by ratio) that
// is at most `atMost`.
double roundScale(double s, double atMost);

// A scale for messages: "0.02", "1", "2.5".
std::string scaleText(double s);

}  // namespace zor::import
