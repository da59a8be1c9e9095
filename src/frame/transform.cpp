#include "frame/transform.h"

#include <algorithm>

#include "frame/lights.h"
#include "frame/placement_chain.h"
#include "frame/point_lighting.h"
#include "scene/scene.h"

namespace zor {

void PlacementCache::begin(const void* array, std::size_t count) {
    items = array;
    invalidate();
    if (entries.size() < count) entries.resize(count);
}

Placement placeObject(const SceneObject& object, const Scene& scene, FrameContext& context) {
    return placeInChain(object, std::span<const SceneObject>(scene.objects), context.objects).placement;
}

Placement placeBone(const SceneBone& bone, const SceneObject& owner, FrameContext& context) {
    return placeInChain(bone, std::span<const SceneBone>(owner.bones), context.bones).placement;
}

std::size_t usablePointCount(const SceneObject& object) {
    return std::min<std::size_t>(object.pointCount, object.points.size());
}

void transformObject(SceneObject& object, const Scene& scene, FrameContext& context) {
    const PlacedItem& placed = placeInChain(object, std::span<const SceneObject>(scene.objects), context.objects);
    const Placement& placement = placed.placement;
    const CameraView& view = context.view;
    const Mat3 m = multiply(view.viewRotation, placed.full);
    const Vec3 offset = {placement.position[0] - view.cameraPosition[0],
                         placement.position[1] - view.cameraPosition[1],
                         placement.position[2] - view.cameraPosition[2]};
    const Vec3 t = mul(view.viewRotation, offset);
    BlockTransform where;
    std::copy(m.begin(), m.end(), where.m);
    store3(where.offset, t);
    store3(where.scale, placement.scale);
    std::copy(object.pivot, object.pivot + 3, where.pivot);

    // Lighting is done block by block in the same sweep over the points (what
    // lightObject does), so the point records are walked only once.
    const bool unlit = object.unlit == 1;
    const LightList lights{scene.lights.data(), scene.lights.size()};
    const std::size_t count = usablePointCount(object);
    PointBlock block;
    for (std::size_t first = 0; first < count; first += PointBlock::kCapacity) {
        MeshPoint* points = object.points.data() + first;
        transformBlock(block, points, count - first, where, unlit ? kUnlitLevel : 0);  // sums cleared
        if (!unlit) lightBlock(block, lights);
        storeBlockSums(block, points);
    }
}

}  // namespace zor
