// The scene reader on hostile text: every link it keeps must point into the
// scene and every parent chain must end.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_checks.h"
#include "fuzz_scene_loader.h"
#include "scene/scene_reader.h"

namespace {

template <class Item>
void checkChain(const Item* item, std::size_t limit) {
    std::size_t steps = 0;
    for (const Item* p = item->parent; p; p = p->parent) {
        if (++steps > limit) __builtin_trap();  // a cycle
    }
}

void checkMotion(const zor::Motion& m) {
    if (m.keyCount < 0 || static_cast<std::size_t>(m.keyCount) > m.keys.size()) __builtin_trap();
    if (m.channelCount < 0 || m.channelCount > 9) __builtin_trap();
    for (std::int32_t i = 0; i < m.keyCount; ++i) {
        const zor::MotionKey& k = m.keys[static_cast<std::size_t>(i)];
        if (k.prev < -1 || k.prev >= m.keyCount || k.next < -1 || k.next >= m.keyCount) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zor::Scene scene;
    zor::Diagnostics diags;
    zor::parseScene(scene, text, "fuzz.lws", zor::fuzz::fanLoader(), &diags);

    const std::size_t objects = scene.objects.size();
    checkMotion(scene.camera.motion);
    for (const zor::SceneObject& o : scene.objects) {
        zor::fuzz::checkMesh(o);
        checkChain(&o, objects);
        checkMotion(o.motion);
        checkMotion(o.dissolve);
        checkMotion(o.morphAmount);
        if (o.parent && (o.parent < scene.objects.data() || o.parent >= scene.objects.data() + objects))
            __builtin_trap();
        if (o.bones.size() != o.boneCount) __builtin_trap();
        for (const zor::SceneBone& b : o.bones) {
            checkChain(&b, o.bones.size());
            checkMotion(b.motion);
            if (b.parent && (b.parent < o.bones.data() || b.parent >= o.bones.data() + o.bones.size()))
                __builtin_trap();
        }
        if (!o.morphDeltas.empty() && o.morphDeltas.size() < o.pointCount) __builtin_trap();
    }
    for (const zor::SceneLight& l : scene.lights) {
        checkMotion(l.motion);
        checkMotion(l.intensity);
        if (l.parent && (l.parent < scene.objects.data() || l.parent >= scene.objects.data() + objects))
            __builtin_trap();
    }
    return 0;
}
