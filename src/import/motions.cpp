#include "import/motions.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace zor::import {

using write::LwsKey;
using write::LwsMotion;

Affine affineOf(const Transform& x) {
    Affine a;
    const Mat3d r = matrixOf(x.rotation);
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) a.m[i][k] = r[i][k] * x.scale[k];
    for (int i = 0; i < 3; ++i) a.t[i] = x.translation[i];
    return a;
}

Affine compose(const Affine& parent, const Affine& child) {
    Affine r;
    r.m = multiply(parent.m, child.m);
    Vec3 ct{static_cast<float>(child.t[0]), static_cast<float>(child.t[1]), static_cast<float>(child.t[2])};
    r.t = parent.apply(ct);
    return r;
}

std::array<float, 3> toPlayer(const std::array<double, 3>& p, float scale) {
    std::array<float, 3> r{static_cast<float>(p[0] * scale), static_cast<float>(p[1] * scale),
                           static_cast<float>(-p[2] * scale)};
    for (float& c : r)
        if (!std::isfinite(c)) c = 0.0f;
    return r;
}

std::array<float, 3> toPlayer(const Vec3& p, float scale) {
    return toPlayer(std::array<double, 3>{p[0], p[1], p[2]}, scale);
}

// ---------------------------------------------------------------- channels and range

Animation::Animation(const SourceModel& model, Conversion& out) : model_(model), out_(out) {
    gatherChannels();
    computeRange();
}

void Animation::gatherChannels() {
    channels_.assign(model_.nodes.size(), {});
    for (const SourceChannel& c : model_.channels) {
        if (c.node < 0 || c.node >= static_cast<int>(model_.nodes.size()) || c.times.empty()) continue;
        const std::size_t width = c.path == AnimatedPath::Rotation  ? 4
                                  : c.path == AnimatedPath::Weights ? static_cast<std::size_t>(std::max(c.width, 0))
                                                                    : 3;
        const std::size_t perTime = c.interpolation == Interpolation::CubicSpline ? 3 : 1;
        bool rising = width > 0 && std::isfinite(c.times.front()) && c.values.size() == c.times.size() * width * perTime;
        for (std::size_t i = 1; i < c.times.size() && rising; ++i)
            rising = std::isfinite(c.times[i]) && c.times[i] > c.times[i - 1];
        for (std::size_t i = 0; i < c.values.size() && rising; ++i) rising = std::isfinite(c.values[i]);
        if (!rising) {
            out_.addNotCarried("animations whose times do not rise or whose values do not fit them");
            continue;
        }
        NodeChannels& nc = channels_[c.node];
        const SourceChannel** slot = c.path == AnimatedPath::Translation ? &nc.translation
                                     : c.path == AnimatedPath::Rotation  ? &nc.rotation
                                     : c.path == AnimatedPath::Scale     ? &nc.scale
                                                                         : &nc.weights;
        if (*slot) {
            out_.addNotCarried("second animations of the same property (the first is kept)");
            continue;
        }
        *slot = &c;
        if (c.interpolation != Interpolation::Linear) sampled_ = true;
    }
}

void Animation::computeRange() {
    float longest = 0;
    bool any = false;
    for (const NodeChannels& nc : channels_)
        for (const SourceChannel* c : {nc.translation, nc.rotation, nc.scale, nc.weights})
            if (c) {
                longest = std::max(longest, c->times.back());
                any = true;
            }
    if (!any) {
        lastFrame_ = kStillSceneFrames;
        return;
    }
    animated_ = true;
    const double frames = std::ceil(static_cast<double>(longest) * kImportFramesPerSecond - 1e-4);
    lastFrame_ = static_cast<int>(std::clamp(frames, 1.0, 1e6));
    if (frames > 1e6) out_.addNotCarried("animation past 1000000 frames (cut there)");
}

// ---------------------------------------------------------------- evaluation in source space

Transform Animation::localAt(int node, float t) const {
    Transform x = model_.nodes[node].rest;
    const NodeChannels& c = channels_[node];
    if (c.translation) {
        const auto v = evaluateChannel(*c.translation, t);
        x.translation = {v[0], v[1], v[2]};
    }
    if (c.rotation) {
        const auto v = evaluateChannel(*c.rotation, t);
        x.rotation = {v[0], v[1], v[2], v[3]};
    }
    if (c.scale) {
        const auto v = evaluateChannel(*c.scale, t);
        x.scale = {v[0], v[1], v[2]};
    }
    return x;
}

Affine Animation::worldAt(int node, float t) const {
    Affine a = affineOf(localAt(node, t));
    int guard = 0;
    for (int p = model_.nodes[node].parent; p >= 0 && p < static_cast<int>(model_.nodes.size()) && guard < 10000;
         p = model_.nodes[p].parent, ++guard)
        a = compose(affineOf(localAt(p, t)), a);
    return a;
}

// ---------------------------------------------------------------- keys

std::vector<int> Animation::keyFrames(const std::vector<const SourceChannel*>& channels, bool& everyFrame) const {
    std::set<int> frames{0};
    everyFrame = false;
    int last = 0;
    for (const SourceChannel* c : channels) {
        if (!c) continue;
        if (c->interpolation != Interpolation::Linear) everyFrame = true;
        // The whole frames on both sides of each key: the straight runs
        // between keys then lie on the source's own, and only the frame
        // around a key's corner differs.
        for (float t : c->times) {
            const double at =
                std::clamp(static_cast<double>(t) * kImportFramesPerSecond, 0.0, static_cast<double>(lastFrame_));
            const int below = static_cast<int>(std::floor(at + 1e-4)), above = static_cast<int>(std::ceil(at - 1e-4));
            frames.insert(below);
            frames.insert(std::max(below, above));
            last = std::max(last, std::max(below, above));
        }
    }
    if (everyFrame)
        for (int f = 0; f <= last; ++f) frames.insert(f);
    return {frames.begin(), frames.end()};
}

float Animation::timeOf(int frame) { return static_cast<float>(frame / static_cast<double>(kImportFramesPerSecond)); }

LwsKey Animation::keyOf(int frame, const std::array<float, 3>& position, const Mat3d& rotation, const Vec3& scale,
                        std::array<double, 3>& previousAngles) {
    LwsKey k;
    k.frame = frame;
    k.linear = true;
    auto hpb = anglesOf(rotation, previousAngles);
    for (double& a : hpb)
        if (!std::isfinite(a)) a = 0;
    previousAngles = hpb;
    for (int i = 0; i < 3; ++i) {
        k.values[i] = position[i];
        k.values[3 + i] = static_cast<float>(hpb[i]);
        k.values[6 + i] = std::isfinite(scale[i]) ? scale[i] : 1.0f;
    }
    return k;
}

// Drops keys that a straight line between their neighbours gives back
// within a small error (frames sampled one by one).
void Animation::dropStraightKeys(std::vector<LwsKey>& keys) {
    if (keys.size() < 3) return;
    std::vector<LwsKey> kept{keys.front()};
    for (std::size_t i = 1; i + 1 < keys.size(); ++i) {
        const LwsKey& a = kept.back();
        const LwsKey& b = keys[i + 1];
        bool needed = false;
        // Every dropped key between a and b must stay on the line.
        for (std::size_t j = i; j > 0 && keys[j].frame > a.frame && !needed; --j) {
            const LwsKey& m = keys[j];
            const float s = static_cast<float>(m.frame - a.frame) / static_cast<float>(b.frame - a.frame);
            for (int c = 0; c < 9 && !needed; ++c) {
                const float line = a.values[c] + s * (b.values[c] - a.values[c]);
                const float tolerance = c >= 3 && c < 6 ? 0.01f : 1e-4f * std::max(1.0f, std::abs(m.values[c]));
                if (std::abs(line - m.values[c]) > tolerance) needed = true;
            }
        }
        // Runs are kept short so that the look back stays bounded.
        if (needed || keys[i].frame - a.frame >= 64) kept.push_back(keys[i]);
    }
    kept.push_back(keys.back());
    keys = std::move(kept);
}

// Adds keys between linear keys where the player's straight run of the
// angles strays from the source's rotation (slerp) by more than a tenth of a
// degree.
void Animation::refineRotations(std::vector<LwsKey>& keys, const KeySampler& sample) {
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        const LwsKey a = keys[i], b = keys[i + 1];
        if (b.frame - a.frame < 2) continue;
        const int mid = (a.frame + b.frame) / 2;
        const float s = static_cast<float>(mid - a.frame) / static_cast<float>(b.frame - a.frame);
        std::array<double, 3> hpb;
        for (int c = 0; c < 3; ++c) hpb[c] = a.values[3 + c] + s * (b.values[3 + c] - a.values[3 + c]);
        std::array<double, 3> previous{a.values[3], a.values[4], a.values[5]};
        LwsKey exact = sample(mid, previous);
        const Mat3d want = rotationOfAngles({exact.values[3], exact.values[4], exact.values[5]});
        if (angleBetween(rotationOfAngles(hpb), want) > 0.1) {
            keys.insert(keys.begin() + static_cast<long>(i) + 1, exact);
            // Later angles follow on from the inserted key.
            std::array<double, 3> run{exact.values[3], exact.values[4], exact.values[5]};
            for (std::size_t j = i + 2; j < keys.size(); ++j) {
                const auto r = rotationOfAngles({keys[j].values[3], keys[j].values[4], keys[j].values[5]});
                run = anglesOf(r, run);
                for (int c = 0; c < 3; ++c) keys[j].values[3 + c] = static_cast<float>(run[c]);
            }
            --i;  // look at the first half again
        }
    }
}

LwsMotion Animation::nodeMotion(int node, float scale) {
    const NodeChannels& c = channels_[node];
    const KeySampler sample = [&](int frame, std::array<double, 3>& previous) {
        const Transform x = localAt(node, timeOf(frame));
        return keyOf(frame, toPlayer(x.translation, scale), mirrored(matrixOf(x.rotation)), x.scale, previous);
    };
    bool everyFrame = false;
    const std::vector<int> frames = keyFrames({c.translation, c.rotation, c.scale}, everyFrame);
    return buildMotion(frames, everyFrame, sample);
}

LwsMotion Animation::buildMotion(const std::vector<int>& frames, bool everyFrame, const KeySampler& sample) {
    LwsMotion motion;
    motion.channels = 9;
    motion.end = write::EndBehavior::Stop;
    std::array<double, 3> previous{0, 0, 0};
    for (int f : frames) motion.keys.push_back(sample(f, previous));
    if (everyFrame) dropStraightKeys(motion.keys);
    else refineRotations(motion.keys, sample);
    if (motion.keys.size() > 1) {
        // Keys that add nothing (a still channel) collapse to one.
        bool still = true;
        for (const LwsKey& k : motion.keys)
            for (int i = 0; i < 9; ++i)
                if (std::abs(k.values[i] - motion.keys.front().values[i]) > 1e-6f) still = false;
        if (still) motion.keys.resize(1);
    }
    out_.keys += static_cast<int>(motion.keys.size());
    return motion;
}

write::LwsEnvelope Animation::morphEnvelope(int node, int target, float restWeight) {
    const SourceChannel* channel = channels_[node].weights;
    if (!channel) return write::LwsEnvelope::fixed(restWeight);
    bool everyFrame = false;
    const std::vector<int> frames = keyFrames({channel}, everyFrame);
    LwsMotion curve;
    curve.channels = 1;
    curve.end = write::EndBehavior::Stop;
    for (int f : frames) {
        LwsKey k;
        k.frame = f;
        k.linear = true;
        k.values[0] = evaluateComponent(*channel, channel->width, target, timeOf(f));
        curve.keys.push_back(k);
    }
    if (everyFrame) dropStraightKeys(curve.keys);
    bool still = true;
    for (const LwsKey& k : curve.keys) still = still && std::abs(k.values[0] - curve.keys.front().values[0]) <= 1e-6f;
    if (still) return write::LwsEnvelope::fixed(curve.keys.front().values[0]);
    out_.keys += static_cast<int>(curve.keys.size());
    write::LwsEnvelope envelope;
    envelope.curve = std::move(curve);
    return envelope;
}

}  // namespace zor::import
