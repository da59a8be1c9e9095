#include "frame/lights.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/placement_chain.h"
#include "frame/point_lighting.h"
#include "frame/transform.h"
#include "scene/scene.h"

namespace zor {

void updateLight(SceneLight& light, const Scene& scene, FrameContext& context) {
    // A light is placed like an object, except that its parent's pivot is not
    // taken from its position.
    const std::span<const SceneObject> objects(scene.objects);
    const std::size_t parent = indexIn(light.parent, objects);
    const Placement placement =
        parent == objects.size()
            ? placeAtRoot(light.motion.value)
            : placeBelow(placeInChain(objects[parent], objects, context.objects), Vec3{0, 0, 0}, light.motion.value);
    const CameraView& view = context.view;
    const Mat3 full = multiply(placement.rotation, motionRotation(light.motion));
    const Vec3 offset = {placement.position[0] - view.cameraPosition[0],
                         placement.position[1] - view.cameraPosition[1],
                         placement.position[2] - view.cameraPosition[2]};
    store3(light.viewPosition, mul(view.viewRotation, offset));
    // The forward axis (0, 0, 1) of the full rotation is its third column.
    store3(light.viewDirection, mul(view.viewRotation, Vec3{full[2], full[5], full[8]}));
}

void lightObject(SceneObject& object, const Scene& scene) {
    const std::size_t count = usablePointCount(object);
    MeshPoint* points = object.points.data();
    if (object.unlit == 1) {
        for (std::size_t i = 0; i < count; ++i)
            points[i].lightRed = points[i].lightGreen = points[i].lightBlue = kUnlitLevel;
        return;
    }
    const LightList lights{scene.lights.data(), scene.lights.size()};
    PointBlock block;
    for (std::size_t first = 0; first < count; first += PointBlock::kCapacity) {
        gatherBlock(block, points + first, count - first);
        lightBlock(block, lights);
        storeBlockSums(block, points + first);
    }
}

}  // namespace zor
