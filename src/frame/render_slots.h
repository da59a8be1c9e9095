#pragma once
// The renderer slot table: every entry point the frame pass, the shell and the
// object loader draw through. The production implementation draws through the
// display layer; tests record the calls, benchmarks use a null one.
//
// Besides the nine slots, the planar shadow pass sets two device states
// directly (a depth bias and the world transform); they are part of this
// interface so the frame pass never sees the device.

#include <cstdint>
#include <string_view>

#include "scene/player_constants.h"

namespace zor {

struct Scene;
struct SceneObject;
struct SceneLight;
struct MeshPolygon;
struct Viewport;

class RenderSlots {
public:
    virtual ~RenderSlots() = default;

    virtual void beginFrame() = 0;   // clears the depth buffer only
    virtual void endFrame() = 0;     // presents (flips)
    virtual void beginScene() = 0;
    virtual void endScene() = 0;
    // 1 = additive transparent state, anything else = opaque.
    virtual void setTransparentPass(std::uint8_t on) = 0;
    // viewport is null when called from the shadow pass; zero is always 0.
    virtual void drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport* viewport,
                             Scene& scene, std::uint16_t zero) = 0;
    // Texture index, or -1 when the image cannot be loaded.
    virtual int loadTexture(std::string_view fileName) = 0;
    virtual void drawSpotFlare(SceneLight& light, const Viewport* viewport) = 0;
    virtual void drawPointFlare(SceneLight& light, const Viewport* viewport) = 0;

    // Device states the shadow pass sets directly.
    virtual void setDepthBias(int bias) = 0;
    // Row-vector 4x4 matrix (v' = v * M), row-major; identity restores.
    virtual void setWorldTransform(const float matrix[16]) = 0;

    // Half the side of a particle square; the shell sets it to 0.25 every pass,
    // the frame pass shrinks it along particle trails, drawPolygon reads it.
    float particleHalfSize = kParticleHalfSize;
};

}  // namespace zor
