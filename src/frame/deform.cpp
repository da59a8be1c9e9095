#include "frame/deform.h"

#include <algorithm>

#include "frame/transform.h"
#include "scene/motion.h"
#include "scene/scene.h"

namespace zor {

namespace {

bool hasBones(const SceneObject& object) { return object.boneCount != 0 && !object.bones.empty(); }

}  // namespace

void deformBones(SceneObject& object, float frame, FrameContext& context) {
    if (!hasBones(object)) return;
    for (SceneBone& bone : object.bones) evaluateMotion(bone.motion, frame);

    const std::size_t count = std::min(usablePointCount(object), object.restPoints.size());
    bool first = true;
    for (const SceneBone& bone : object.bones) {
        const Placement placement = placeBone(bone, object, context);
        const Mat3 rest = {bone.restMatrix[0], bone.restMatrix[1], bone.restMatrix[2],
                           bone.restMatrix[3], bone.restMatrix[4], bone.restMatrix[5],
                           bone.restMatrix[6], bone.restMatrix[7], bone.restMatrix[8]};
        const Mat3 m = multiply(multiply(placement.rotation, motionRotation(bone.motion)), rest);
        const Vec3 origin = load3(bone.worldRestPosition);
        const Vec3& pos = placement.position;
        // A bone without a weight for a point (a short weight array) leaves it alone.
        const std::size_t weighted = std::min(count, bone.weights.size());
        for (std::size_t i = 0; i < count; ++i) {
            const MeshPoint& source = object.restPoints[i];
            MeshPoint& target = object.points[i];
            const float w = i < weighted ? bone.weights[i] : 0.0f;
            if (first && w == 0.0f) {
                std::copy_n(source.position, 3, target.position);
                std::copy_n(source.normal, 3, target.normal);
                continue;
            }
            const Vec3 offset = {source.position[0] - origin[0], source.position[1] - origin[1],
                                 source.position[2] - origin[2]};
            const Vec3 q = mul(m, offset);
            const Vec3 n = mul(m, source.normal);
            for (int k = 0; k < 3; ++k) {
                const float moved = w * (q[k] + pos[k]);
                const float turned = w * n[k];
                target.position[k] = first ? moved : target.position[k] + moved;
                target.normal[k] = first ? turned : target.normal[k] + turned;
            }
        }
        first = false;
    }
}

void applyMorph(SceneObject& object) {
    const float a = object.morphAmount.value[0];
    const bool fromRest = !hasBones(object);
    std::size_t count = std::min(usablePointCount(object), object.morphDeltas.size());
    if (fromRest) count = std::min(count, object.restPoints.size());
    for (std::size_t i = 0; i < count; ++i) {
        MeshPoint& point = object.points[i];
        const auto& delta = object.morphDeltas[i];
        const float* basePosition = fromRest ? object.restPoints[i].position : point.position;
        const float* baseNormal = fromRest ? object.restPoints[i].normal : point.normal;
        for (int k = 0; k < 3; ++k) {
            point.position[k] = basePosition[k] + a * delta[k];
            point.normal[k] = baseNormal[k] + a * delta[3 + k];
        }
    }
}

}  // namespace zor
