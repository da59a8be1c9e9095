#include "frame/pass.h"

#include "scene/player_constants.h"

namespace zor {

void drawPass(RenderSlots& slots, PassTarget& target, Scene* scene, float frame) {
    slots.beginFrame();
    // The trail loop of the frame before may have shrunk it.
    slots.particleHalfSize = kParticleHalfSize;
    if (scene) target.drawScene(*scene, frame);
    target.blitLogo();
}

}  // namespace zor
