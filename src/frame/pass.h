#pragma once
// One pass of the player up to the present, the same for the player's loop,
// the tools' stage and the page: the depth clear, the particle size, the
// frame pass at a frame number, the logo. The flip is left to the caller,
// which decides when a pass is shown.

#include "frame/render_slots.h"
#include "scene/scene.h"

namespace zor {

// What a pass draws besides the slots' frame brackets.
class PassTarget {
public:
    virtual ~PassTarget() = default;
    virtual void drawScene(Scene& scene, float frame) = 0;
    // The logo's top-left 256 x 256 onto the back buffer, colour-keyed; a
    // blit that cannot start at once is skipped.
    virtual void blitLogo() = 0;
};

// beginFrame, the particle size, the scene at `frame` (none: nothing
// drawn), the logo.
void drawPass(RenderSlots& slots, PassTarget& target, Scene* scene, float frame);

}  // namespace zor
