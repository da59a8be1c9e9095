// A hostile scene text read and then played: the frame pass runs over a few
// frames inside and outside the preview range with a slot table that draws
// nothing. Absurd numbers from the file must not turn into undefined
// behaviour in evaluation, lighting, bones or shadows.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "fuzz_scene_loader.h"
#include "scene/scene_reader.h"
#include "support/recording_slots.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zor::Scene scene;
    zor::Diagnostics diags;
    zor::parseScene(scene, text, "fuzz.lws", zor::fuzz::fanLoader(), &diags);

    zor::Viewport viewport;
    zor::setupViewport(viewport, 640, 480);
    zor::FrameContext context;
    zor::NullSlots slots;
    const float frames[] = {static_cast<float>(scene.firstFrame), static_cast<float>(scene.lastFrame), 0.0f,
                            17.5f, -3.25f, 1.0e6f};
    for (float frame : frames) zor::drawSceneFrame(scene, frame, viewport, context, slots);
    return 0;
}
