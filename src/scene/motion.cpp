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
    // as absent. Each tangent is c1 * (step beside the span) + c2 * d; the
    // coefficients are the same for every channel.
    double outBeside = 0;
    double outSpan = 0.5 * (static_cast<double>(a0) + b0);
    double inBeside = 0;
    double inSpan = 0.5 * (static_cast<double>(a1) + b1);
    const MotionKey* before = &k0;  // stands in for an absent neighbour (its step is then unused)
    const MotionKey* after = &k1;
    if (k > 0) {
        const std::int64_t width = std::int64_t{k1.frame} - keys[k - 1].frame;
        if (width > 0) {
            const float adjIn = span / static_cast<float>(width);
            before = &keys[k - 1];
            outBeside = static_cast<double>(adjIn) * a0;
            outSpan = static_cast<double>(adjIn) * b0;
        }
    }
    if (k + 2 < count) {
        const std::int64_t width = std::int64_t{keys[k + 2].frame} - k0.frame;
        if (width > 0) {
            const float adjOut = span / static_cast<float>(width);
            after = &keys[k + 2];
            inSpan = static_cast<double>(adjOut) * a1;
            inBeside = static_cast<double>(adjOut) * b1;
        }
    }

    const double h1 = h[0], h2 = h[1], h3 = h[2], h4 = h[3];
    for (int c = 0; c < channels; ++c) {
        const float p0 = k0.value[c];
        const float p1 = k1.value[c];
        const double d = p1 - p0;  // formed in single precision
        const double tanOut = outBeside * (static_cast<double>(p0) - before->value[c]) + outSpan * d;
        const double tanIn = inSpan * d + inBeside * (static_cast<double>(after->value[c]) - p1);
        motion.value[c] = static_cast<float>(h1 * p0 + h2 * p1 + h3 * tanOut + h4 * tanIn);
    }
}

}  // namespace zor
