#include "scene/motion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace zor {

namespace {

constexpr float kNeutralPose[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};

int usableChannels(const Motion& motion) {
    return std::clamp<std::int32_t>(motion.channelCount, 0, 9);
}

void copyKey(Motion& motion, const MotionKey& key) {
    const int channels = usableChannels(motion);
    for (int c = 0; c < channels; ++c) motion.value[c] = key.value[c];
}

}  // namespace

std::array<float, 4> hermiteBasis(float t) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float h2 = 3.0f * t2 - 2.0f * t3;
    const float h1 = 1.0f - h2;
    const float h3 = t3 - 2.0f * t2 + t;
    const float h4 = t3 - t2;
    return {h1, h2, h3, h4};
}

void allocateKeys(Motion& motion, std::int32_t keyCount, std::int32_t lastFrame) {
    const std::int32_t n = std::max<std::int32_t>(keyCount, 0);
    motion.keys.assign(static_cast<std::size_t>(n), MotionKey{});
    for (std::int32_t i = 0; i < n; ++i) {
        motion.keys[i].prev = i - 1;
        motion.keys[i].next = i + 1 < n ? i + 1 : -1;
    }
    motion.keyCount = n;
    motion.lastKeyFrame = lastFrame;
}

void evaluateMotion(Motion& motion, float frame) {
    // keyCount and the array agree after reading; the smaller one is what can
    // be read safely if a caller built the record by hand.
    const std::int64_t count =
        std::min<std::int64_t>(motion.keyCount, static_cast<std::int64_t>(motion.keys.size()));
    if (count <= 0) {
        // A motion block the scene never gave: stand still at the origin, unscaled.
        std::copy(std::begin(kNeutralPose), std::end(kNeutralPose), motion.value);
        return;
    }
    const MotionKey* keys = motion.keys.data();
    if (count == 1) {
        copyKey(motion, keys[0]);
        return;
    }

    float x = frame;
    if (static_cast<float>(motion.lastKeyFrame) < x) {
        switch (motion.endBehavior) {
        case 0:
            copyKey(motion, keys[0]);
            return;
        case 2:
            // Repeat drops the fraction of the frame. Without a positive loop
            // length there is nothing to repeat, so it stops like 1 does.
            if (motion.lastKeyFrame > 0) {
                x = static_cast<float>(
                    std::fmod(std::trunc(static_cast<double>(x)), static_cast<double>(motion.lastKeyFrame)));
                break;
            }
            [[fallthrough]];
        default:
            // 1, and any unknown end behaviour: hold the last key.
            copyKey(motion, keys[count - 1]);
            return;
        }
    }

    // The first span whose end key lies at or after x; a frame before the
    // first key extrapolates the first span. The bound only matters for key
    // frames that do not rise, which would otherwise walk off the array.
    std::int64_t k = 0;
    while (k + 2 < count && static_cast<float>(keys[k + 1].frame) < x) ++k;
    const MotionKey& k0 = keys[k];
    const MotionKey& k1 = keys[k + 1];

    const std::int64_t spanFrames = std::int64_t{k1.frame} - k0.frame;
    if (spanFrames <= 0) {
        // Keys that share a frame (or fall back) have no curve between them:
        // the span's end key holds, as it would at t = 1.
        copyKey(motion, k1);
        return;
    }
    const float span = static_cast<float>(spanFrames);
    const float t = (x - static_cast<float>(k0.frame)) / span;
    const int channels = usableChannels(motion);

    if (k1.linear != 0) {
        for (int c = 0; c < channels; ++c) {
            const double p0 = k0.value[c];
            const double p1 = k1.value[c];
            motion.value[c] = static_cast<float>(p0 + (p1 - p0) * static_cast<double>(t));
        }
        return;
    }

    const std::array<float, 4> h = hermiteBasis(t);
    const float a0 = (1 - k0.tension) * (1 + k0.continuity) * (1 + k0.bias);
    const float b0 = (1 - k0.tension) * (1 - k0.continuity) * (1 - k0.bias);
    const float a1 = (1 - k1.tension) * (1 - k1.continuity) * (1 + k1.bias);
    const float b1 = (1 - k1.tension) * (1 + k1.continuity) * (1 - k1.bias);

    // A neighbour that does not lie strictly outside the span cannot scale
    // the tangent (its divisor would be zero or negative), so it is treated
    // as absent.
    const MotionKey* before = nullptr;
    const MotionKey* after = nullptr;
    float adjIn = 0;
    float adjOut = 0;
    if (k > 0) {
        const std::int64_t width = std::int64_t{k1.frame} - keys[k - 1].frame;
        if (width > 0) {
            before = &keys[k - 1];
            adjIn = span / static_cast<float>(width);
        }
    }
    if (k + 2 < count) {
        const std::int64_t width = std::int64_t{keys[k + 2].frame} - k0.frame;
        if (width > 0) {
            after = &keys[k + 2];
            adjOut = span / static_cast<float>(width);
        }
    }

    for (int c = 0; c < channels; ++c) {
        const float p0 = k0.value[c];
        const float p1 = k1.value[c];
        const float d = p1 - p0;
        const double tanOut =
            before ? static_cast<double>(adjIn) *
                         (static_cast<double>(a0) * (static_cast<double>(p0) - before->value[c]) +
                          static_cast<double>(b0) * d)
                   : 0.5 * (static_cast<double>(a0) + b0) * d;
        const double tanIn =
            after ? static_cast<double>(adjOut) *
                        (static_cast<double>(a1) * d +
                         static_cast<double>(b1) * (static_cast<double>(after->value[c]) - p1))
                  : 0.5 * (static_cast<double>(a1) + b1) * d;
        const double sum = static_cast<double>(h[0]) * p0 + static_cast<double>(h[1]) * p1 +
                           static_cast<double>(h[2]) * tanOut + static_cast<double>(h[3]) * tanIn;
        motion.value[c] = static_cast<float>(sum);
    }
}

}  // namespace zor
