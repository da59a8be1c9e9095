#pragma once
// The frame pass: evaluates every animated quantity of a scene at one frame
// and draws it through the renderer slots, in a fixed order: camera, object
// motions, lights; opaque polygons; planar shadows; transparent polygons and
// particles with their trails; flare entries. Later steps read what earlier
// ones wrote, so the order is part of the contract.
//
// Also the planar shadow pass, which the frame pass calls for every visible
// object after the opaque pass.

#include <array>
#include <vector>

#include "frame/camera.h"
#include "frame/transform.h"

namespace zor {

struct Scene;
struct SceneObject;
class RenderSlots;

using Mat4 = std::array<float, 16>;

inline constexpr int kTrailSamples = 20;       // s = 0, 0.25, ... 4.75 frames back
inline constexpr float kTrailStep = 0.25f;
inline constexpr float kTrailShrink = 0.95f;   // particle size factor per drawn sample
inline constexpr float kHiddenDissolve = 0.5f; // dissolve at or above hides the object

// Visible unless hasDissolve is 1 and the evaluated dissolve is 0.5 or more.
bool isVisible(const SceneObject& object);

// Steps 1 to 3 of the pass: camera, every object's envelopes and motion,
// every light's motion, intensity and camera-space placement.
void evaluateSceneMotions(Scene& scene, float frame, FrameContext& context);

// Bones, morph, then transform (with lighting) of one object, as the pass does
// for each visible object.
void evaluateObject(SceneObject& object, const Scene& scene, float frame, FrameContext& context);

// The state of a scene evaluated at one frame, for tools that look at a
// frame instead of drawing it.
struct Evaluation {
    float frame = 0;
    CameraView view;
    std::vector<bool> visible;  // per object
};

// Camera, motions and lights at the frame, then bones, morph and transform of
// every visible object in order, as the pass evaluates them. No trail, no
// drawing.
Evaluation evaluateAt(Scene& scene, float frame);

// The whole pass between beginFrame and endFrame. Keeps nothing between calls
// except the scratch in context.
void drawSceneFrame(Scene& scene, float frame, const Viewport& viewport, FrameContext& context,
                    RenderSlots& slots);

// Scales (a, b, c, d) so that (a, b, c) has unit length; near-unit planes are
// kept as they are and degenerate ones become all zero.
void normalizePlane(float plane[4]);

// Row-vector matrix (v' = v * M, row-major) flattening points onto the plane
// along rays from the light (x, y, z, w).
Mat4 shadowMatrix(const float light[4], const float plane[4]);

// Draws the object's opaque polygons black onto the world planes y = 0 and
// z = 0, seen from the scene's first light, when shadowOptions has bit 0x2.
// Polygon flags are restored after each draw.
void drawShadow(SceneObject& object, Scene& scene, const CameraView& view, RenderSlots& slots);

}  // namespace zor
