#include "scene/bones.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace zor {

namespace {

using Matrix = std::array<float, 9>;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix out{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out[r * 3 + c] = a[r * 3] * b[c] + a[r * 3 + 1] * b[3 + c] + a[r * 3 + 2] * b[6 + c];
        }
    }
    return out;
}

Matrix restRotation(const SceneBone& bone) {
    return rotationFromAngles(bone.restDirection[0], bone.restDirection[1], bone.restDirection[2]);
}

// dist raised to 1, 2, 4, 8 or 16 by falloff type, in single precision: a
// tiny distance underflows to 0 and then takes the 0.001 floor, which keeps
// the raw weight far below the float range.
float falloffPower(float dist, std::int32_t falloffType) {
    int squarings = 0;
    switch (falloffType) {
    case 1: squarings = 1; break;
    case 2: squarings = 2; break;
    case 3: squarings = 3; break;
    case 4: squarings = 4; break;
    default: break;
    }
    float v = dist;
    for (int i = 0; i < squarings; ++i) v *= v;
    return v;
}

}  // namespace

std::array<float, 9> rotationFromAngles(float heading, float pitch, float bank) {
    const float a = -heading * kDegreesToRadians;
    const float c = -pitch * kDegreesToRadians;
    const float e = -bank * kDegreesToRadians;
    const double sa = std::sin(a), ca = std::cos(a);
    const double sc = std::sin(c), cc = std::cos(c);
    const double se = std::sin(e), ce = std::cos(e);
    return {static_cast<float>(ca * ce - sa * sc * se), static_cast<float>(-cc * se),
            static_cast<float>(sa * ce + ca * sc * se),  static_cast<float>(ca * se + sa * sc * ce),
            static_cast<float>(cc * ce),                 static_cast<float>(sa * se - ca * sc * ce),
            static_cast<float>(-sa * cc),                static_cast<float>(sc),
            static_cast<float>(ca * cc)};
}

bool setMorphTarget(SceneObject& object, const SceneObject& target) {
    const std::size_t count = object.points.size();
    if (target.points.size() < count) return false;
    object.restPoints = object.points;
    object.morphDeltas.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const MeshPoint& own = object.points[i];
        const MeshPoint& other = target.points[i];
        std::array<float, 6>& delta = object.morphDeltas[i];
        for (int k = 0; k < 3; ++k) {
            delta[k] = other.position[k] - own.position[k];
            delta[3 + k] = other.normal[k] - own.normal[k];
        }
    }
    return true;
}

namespace {

// Places a bone whose parent (if any) is already placed: restMatrix =
// R(bone) * R(parent) * ... * R(root) is R(bone) times the parent's rest
// matrix, and the rest position in object space is the parent's plus the
// parent's frame turned back to object space (the transpose) applied to the
// bone's own offset. Done once per bone, so any chain depth costs one step
// per bone.
void placeBone(SceneBone& bone) {
    const Matrix own = restRotation(bone);
    if (!bone.parent) {
        std::copy(own.begin(), own.end(), bone.restMatrix);
        std::copy(std::begin(bone.restPosition), std::end(bone.restPosition), bone.worldRestPosition);
        return;
    }
    const SceneBone& parent = *bone.parent;
    Matrix parentRest;
    std::copy(std::begin(parent.restMatrix), std::end(parent.restMatrix), parentRest.begin());
    const Matrix rest = multiply(own, parentRest);
    std::copy(rest.begin(), rest.end(), bone.restMatrix);
    const float* offset = bone.restPosition;
    for (int r = 0; r < 3; ++r) {
        bone.worldRestPosition[r] = parent.worldRestPosition[r] + parentRest[r] * offset[0] +
                                    parentRest[3 + r] * offset[1] + parentRest[6 + r] * offset[2];
    }
}

}  // namespace

void prepareBones(SceneObject& object, Diagnostics* diagnostics, std::string_view fileName) {
    const std::size_t pointCount = object.points.size();
    object.weightSums.assign(pointCount, 0.0f);

    // Rest frames, parents before children whatever their order in the array.
    std::vector<SceneBone>& bones = object.bones;
    std::vector<char> placed(bones.size(), 0);
    std::vector<SceneBone*> unplaced;
    for (std::size_t b = 0; b < bones.size(); ++b) {
        unplaced.clear();
        for (SceneBone* p = &bones[b]; p && !placed[static_cast<std::size_t>(p - bones.data())]; p = p->parent) {
            unplaced.push_back(p);
        }
        for (auto it = unplaced.rbegin(); it != unplaced.rend(); ++it) {
            placeBone(**it);
            placed[static_cast<std::size_t>(*it - bones.data())] = 1;
        }
    }

    for (SceneBone& bone : bones) {
        bone.weights.resize(pointCount);
        if (bone.scaleStrength == 1) bone.strength *= bone.restLength;
        const float* world = bone.worldRestPosition;
        const float* rest = bone.restMatrix;
        for (std::size_t i = 0; i < pointCount; ++i) {
            const float* q = object.points[i].position;
            const float d[3] = {q[0] - world[0], q[1] - world[1], q[2] - world[2]};
            const float lx = rest[0] * d[0] + rest[1] * d[1] + rest[2] * d[2];
            const float ly = rest[3] * d[0] + rest[4] * d[1] + rest[5] * d[2];
            const float lz = rest[6] * d[0] + rest[7] * d[1] + rest[8] * d[2];
            const float z = std::max(std::min(lz, bone.restLength), 0.0f);
            const float dist = std::sqrt(lx * lx + ly * ly + (lz - z) * (lz - z));
            float v = falloffPower(dist, object.boneFalloffType);
            if (v == 0) v = 0.001f;
            const double w = std::sqrt(1.0 / static_cast<double>(v));
            if (bone.limitedRange == 0 || (dist >= bone.minRange && dist <= bone.maxRange)) {
                double raw = w * static_cast<double>(bone.strength);
                // A point of no finite distance (or an absurd strength) must
                // not turn the whole point into NaN when normalised.
                if (std::isnan(raw)) raw = 0;
                const float stored = static_cast<float>(std::clamp(raw, -static_cast<double>(FLT_MAX),
                                                                   static_cast<double>(FLT_MAX)));
                bone.weights[i] = stored;
                object.weightSums[i] += stored;
            } else {
                bone.weights[i] = 1e-10f;
            }
        }
    }

    // A point that no bone reaches has nothing to normalise by: every bone
    // gives it weight 0, so deformation leaves it at its rest position.
    std::size_t unreached = 0;
    for (std::size_t i = 0; i < pointCount; ++i) {
        const float sum = object.weightSums[i];
        const bool usable = sum != 0 && std::isfinite(sum);
        if (!usable) ++unreached;
        for (SceneBone& bone : object.bones) bone.weights[i] = usable ? bone.weights[i] / sum : 0.0f;
    }
    if (unreached > 0 && diagnostics) {
        diagnostics->warning(fileName, 0,
                             std::to_string(unreached) + " points of object " + object.name +
                                 " are reached by no bone; they keep their rest position");
    }
    std::vector<float>().swap(object.weightSums);
}

}  // namespace zor
