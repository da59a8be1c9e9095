#include "import/recipe_motion.h"

#include <algorithm>
#include <cmath>

#include "import/motions.h"
#include "scene/motion.h"
#include "scene/player_constants.h"

namespace zor::import {
namespace {

constexpr double kPi = 3.14159265358979;

void put(write::LwsKey& key, int at, const recipe::Vec3& v) {
    for (int c = 0; c < 3; ++c) key.values[at + c] = static_cast<float>(v[c]);
}

// The player's curve through the keys, evaluated as the player evaluates it.
Motion playerMotion(const write::LwsMotion& m) {
    Motion motion;
    allocateKeys(motion, static_cast<std::int32_t>(m.keys.size()), m.keys.back().frame);
    motion.channelCount = 9;
    motion.endBehavior = static_cast<std::int32_t>(m.end);
    for (std::size_t i = 0; i < m.keys.size(); ++i) {
        MotionKey& k = motion.keys[i];
        std::copy(m.keys[i].values.begin(), m.keys[i].values.end(), k.value);
        k.frame = m.keys[i].frame;
        k.linear = m.keys[i].linear ? 1 : 0;
    }
    return motion;
}

}  // namespace

std::array<double, 2> aimAt(const recipe::Vec3& from, const recipe::Vec3& to, double previousHeading) {
    const double dx = to[0] - from[0], dy = to[1] - from[1], dz = to[2] - from[2];
    const double across = std::sqrt(dx * dx + dz * dz);
    double heading = across > 0 ? std::atan2(dx, dz) * 180 / kPi : previousHeading;
    heading += 360 * std::round((previousHeading - heading) / 360);
    return {heading, std::atan2(-dy, across) * 180 / kPi};
}

write::LwsMotion modelMotion(const recipe::RecipeModel& model, double scaleDivisor, int firstFrame, int lastFrame) {
    write::LwsMotion motion;
    recipe::Vec3 position = model.position, rotation = model.rotation, scale{1, 1, 1};
    if (model.scale) scale = *model.scale;
    const auto key = [&](int frame) {
        write::LwsKey k;
        k.frame = frame;
        put(k, 0, position);
        put(k, 3, rotation);
        for (int c = 0; c < 3; ++c) k.values[6 + c] = static_cast<float>(scale[c] / scaleDivisor);
        return k;
    };
    if (model.keys.empty() || model.keys.front().frame > firstFrame) motion.keys.push_back(key(firstFrame));
    for (const recipe::ModelKey& k : model.keys) {
        if (k.position) position = *k.position;
        if (k.rotation) rotation = *k.rotation;
        if (k.scale) scale = *k.scale;
        motion.keys.push_back(key(k.frame));
    }
    // No span ends at the first key; marked straight, as the importer marks a
    // still root's one key.
    motion.keys.front().linear = true;
    if (model.spin == recipe::Vec3{0, 0, 0} || lastFrame <= firstFrame) return motion;

    Motion curve = playerMotion(motion);
    write::LwsMotion spun;
    for (int frame = firstFrame; frame <= lastFrame; ++frame) {
        evaluateMotion(curve, static_cast<float>(frame));
        write::LwsKey k;
        k.frame = frame;
        k.linear = true;
        std::copy(std::begin(curve.value), std::end(curve.value), k.values.begin());
        const double seconds = frame / kFramesPerSecond;
        k.values[3] += static_cast<float>(model.spin[1] * seconds);
        k.values[4] += static_cast<float>(model.spin[0] * seconds);
        k.values[5] += static_cast<float>(model.spin[2] * seconds);
        spun.keys.push_back(k);
    }
    Animation::dropStraightKeys(spun.keys);
    return spun;
}

write::LwsMotion cameraMotion(const std::vector<recipe::CameraKey>& keys, int firstFrame) {
    write::LwsMotion motion;
    double heading = 0;
    for (const recipe::CameraKey& k : keys) {
        write::LwsKey key;
        key.frame = k.frame;
        put(key, 0, k.position);
        if (k.rotation) put(key, 3, *k.rotation);
        else if (k.lookAt) {
            const auto [h, p] = aimAt(k.position, *k.lookAt, heading);
            key.values[3] = static_cast<float>(h);
            key.values[4] = static_cast<float>(p);
        }
        heading = key.values[3];
        for (int c = 6; c < 9; ++c) key.values[c] = 1;
        motion.keys.push_back(key);
    }
    if (!motion.keys.empty() && motion.keys.front().frame > firstFrame) {
        write::LwsKey hold = motion.keys.front();
        hold.frame = firstFrame;
        motion.keys.insert(motion.keys.begin(), hold);
    }
    return motion;
}

}  // namespace zor::import
