#pragma once
// Lights: placing each light in camera space once per frame, and summing all
// lights into the per-point colours of an object. There is no ambient term.
//
// Each light's contribution to a channel is truncated toward zero on its own
// before it is added, so several weak lights can add nothing. Sums are
// clamped to 0..255 at the end: a point or spot light sitting exactly on a
// point adds nothing there, and lights of negative intensity may darken a
// point down to 0 but never wrap its sum around.

namespace zor {

struct Scene;
struct SceneObject;
struct SceneLight;
struct FrameContext;

enum LightType : int { distantLight = 0, pointLight = 1, spotLight = 2 };

// Colour every point of an unlit object gets.
inline constexpr unsigned kUnlitLevel = 127;
// The spot cone is fixed: s = 1 at 15 degrees off the axis, 0 at about 50.6.
inline constexpr float kSpotCosine = 0.9659258f;
inline constexpr float kSpotSlope = -3.0191052f;

// Writes viewPosition and viewDirection from the light's evaluated motion and
// its parents' (the direct parent's pivot does not offset the light).
void updateLight(SceneLight& light, const Scene& scene, FrameContext& context);

// Adds every light of the scene into the light sums of the object's points,
// which transformObject has just cleared.
void lightObject(SceneObject& object, const Scene& scene);

}  // namespace zor
