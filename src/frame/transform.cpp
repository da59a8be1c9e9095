#include "frame/transform.h"

#include <algorithm>

#include "frame/lights.h"
#include "frame/placement_chain.h"
#include "frame/point_lighting.h"
#include "scene/scene.h"

namespace zor {

Placement placeObject(const SceneObject& object, const Scene& scene, FrameContext& context) {
    return placeUnder(object.parent, object.motion.value, true, context.objectChain, scene.objects.size());
}

Placement placeBone(const SceneBone& bone, const SceneObject& owner, FrameContext& context) {
    return placeUnder(bone.parent, bone.motion.value, false, context.boneChain, owner.bones.size());
}

std::size_t usablePointCount(const SceneObject& object) {
    return std::min<std::size_t>(object.pointCount, object.points.size());
}

void transformObject(SceneObject& object, const Scene& scene, FrameContext& context) {
    const Placement placement = placeObject(object, scene, context);
    const CameraView& view = context.view;
    const Mat3 m = multiply(view.viewRotation, multiply(placement.rotation, motionRotation(object.motion)));
    const Vec3 offset = {placement.position[0] - view.cameraPosition[0],
                         placement.position[1] - view.cameraPosition[1],
                         placement.position[2] - view.cameraPosition[2]};
    const Vec3 t = mul(view.viewRotation, offset);
    const Vec3 s = placement.scale;
    const Vec3 pivot = load3(object.pivot);

    // Lighting is done in the same sweep over the points (what lightObject
    // does, point by point), so the point records are walked only once.
    const bool unlit = object.unlit == 1;
    const LightList lights{scene.lights.data(), scene.lights.size()};
    const std::size_t count = usablePointCount(object);
    for (std::size_t i = 0; i < count; ++i) {
        MeshPoint& point = object.points[i];
        const Vec3 local = {(point.position[0] - pivot[0]) * s[0], (point.position[1] - pivot[1]) * s[1],
                            (point.position[2] - pivot[2]) * s[2]};
        const Vec3 v = mul(m, local);
        point.cameraSpacePosition[0] = v[0] + t[0];
        point.cameraSpacePosition[1] = v[1] + t[1];
        point.cameraSpacePosition[2] = v[2] + t[2];
        store3(point.cameraSpaceNormal, mul(m, point.normal));
        if (unlit) {
            point.lightRed = point.lightGreen = point.lightBlue = kUnlitLevel;
            continue;
        }
        LightSums sums;  // cleared, then every light
        lightPoint(sums, point, lights);
        storeSums(point, sums);
    }
}

}  // namespace zor
