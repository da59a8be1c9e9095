#include "frame/deform.h"

#include <algorithm>

#include "frame/placement_chain.h"
#include "frame/transform.h"
#include "scene/motion.h"
#include "scene/scene.h"

namespace zor {

namespace {

bool hasBones(const SceneObject& object) { return object.boneCount != 0 && !object.bones.empty(); }

// x, y, z and a spare lane: one point's three components in one register.
// Matrix columns times broadcast components add up each component in the
// same order as the row-by-row formula, so results are the same bit for bit.
using Lanes = float __attribute__((vector_size(16)));

Lanes lanes(const float v[3]) { return Lanes{v[0], v[1], v[2], 0.0f}; }

void store(float out[3], Lanes v) {
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

// One bone's part in a frame: where it has moved the rest pose to.
struct BoneStep {
    Lanes column[3];  // of the bone's full rotation
    Lanes origin;
    Lanes position;
    const float* weights;
    std::size_t weighted;  // points that have a weight; the rest get 0
};

// Bones are applied to each point in turn, a group of bones at a time, so the
// point records are walked once per group instead of once per bone. Every
// point still sums the bones in their order.
constexpr std::size_t kBoneGroup = 16;

}  // namespace

void deformBones(SceneObject& object, float frame, FrameContext& context) {
    if (!hasBones(object)) return;
    for (SceneBone& bone : object.bones) evaluateMotion(bone.motion, frame);
    // Each bone is placed once, from its parent bone's placement.
    context.bones.begin(object.bones.data(), object.bones.size());
    const std::span<const SceneBone> bones(object.bones);

    const std::size_t count = std::min(usablePointCount(object), object.restPoints.size());
    const std::size_t boneTotal = object.bones.size();
    BoneStep steps[kBoneGroup];
    for (std::size_t group = 0; group < boneTotal; group += kBoneGroup) {
        const std::size_t stepCount = std::min(kBoneGroup, boneTotal - group);
        for (std::size_t j = 0; j < stepCount; ++j) {
            const SceneBone& bone = object.bones[group + j];
            const PlacedItem& placed = placeInChain(bone, bones, context.bones);
            const Placement& placement = placed.placement;
            const Mat3 rest = {bone.restMatrix[0], bone.restMatrix[1], bone.restMatrix[2],
                               bone.restMatrix[3], bone.restMatrix[4], bone.restMatrix[5],
                               bone.restMatrix[6], bone.restMatrix[7], bone.restMatrix[8]};
            const Mat3 m = multiply(placed.full, rest);
            BoneStep& step = steps[j];
            for (int c = 0; c < 3; ++c) step.column[c] = Lanes{m[c], m[3 + c], m[6 + c], 0.0f};
            step.origin = lanes(bone.worldRestPosition);
            step.position = lanes(placement.position.data());
            // A bone without a weight for a point (a short weight array) leaves it alone.
            step.weights = bone.weights.data();
            step.weighted = std::min(count, bone.weights.size());
        }
        const bool firstGroup = group == 0;
        for (std::size_t i = 0; i < count; ++i) {
            const MeshPoint& source = object.restPoints[i];
            MeshPoint& target = object.points[i];
            const Lanes restPosition = lanes(source.position);
            const float* rn = source.normal;
            Lanes position = lanes(target.position), normal = lanes(target.normal);
            for (std::size_t j = 0; j < stepCount; ++j) {
                const BoneStep& step = steps[j];
                const float w = i < step.weighted ? step.weights[i] : 0.0f;
                const bool first = firstGroup && j == 0;
                if (first && w == 0.0f) {
                    // The first bone's exact zero weight starts from the rest point.
                    position = restPosition;
                    normal = lanes(rn);
                    continue;
                }
                const Lanes offset = restPosition - step.origin;
                const Lanes q = step.column[0] * offset[0] + step.column[1] * offset[1] + step.column[2] * offset[2];
                const Lanes n = step.column[0] * rn[0] + step.column[1] * rn[1] + step.column[2] * rn[2];
                const Lanes moved = w * (q + step.position);
                const Lanes turned = w * n;
                position = first ? moved : position + moved;
                normal = first ? turned : normal + turned;
            }
            store(target.position, position);
            store(target.normal, normal);
        }
    }
    context.bones.end();
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
