#pragma once
// Node animation, from the source's channels to the player's motion keys.
// The source is evaluated in its own space (seconds, quaternions); keys are
// made in the player's (frames at 30.3 a second, heading, pitch and bank in
// degrees). Linear channels keep their keys, at the whole frames on both
// sides of each source key; stepped and cubic-spline ones are sampled once
// a frame and keys a straight line gives back are dropped. Where the
// player's straight run of angles strays from the source's rotation, keys
// are added between.

#include <array>
#include <functional>
#include <vector>

#include "import/convert.h"
#include "import/motion_math.h"
#include "import/source_model.h"
#include "writers/scene_writer.h"

namespace zor::import {

// A placement in the source's space: rotation and scale, then translation.
struct Affine {
    Mat3d m{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    std::array<double, 3> t{0, 0, 0};

    std::array<double, 3> apply(const Vec3& p) const {
        std::array<double, 3> r = t;
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) r[i] += m[i][k] * p[k];
        return r;
    }
};

Affine affineOf(const Transform& x);
Affine compose(const Affine& parent, const Affine& child);

// The player's position of a source-space point: z turned around, times
// the scale. Coordinates that are no finite number become 0.
std::array<float, 3> toPlayer(const std::array<double, 3>& p, float scale);
std::array<float, 3> toPlayer(const Vec3& p, float scale);

// The animated properties of one node (at most one channel each).
struct NodeChannels {
    const SourceChannel* translation = nullptr;
    const SourceChannel* rotation = nullptr;
    const SourceChannel* scale = nullptr;
    const SourceChannel* weights = nullptr;  // morph weights
    bool animated() const { return translation || rotation || scale; }
};

// A key from the placement at `frame`; `previous` holds the angles of the
// key before and receives this key's.
using KeySampler = std::function<write::LwsKey(int frame, std::array<double, 3>& previous)>;

class Animation {
public:
    // Takes the model's usable channels (noting those it cannot use) and its
    // range: to the end of the longest channel, or a still scene's.
    Animation(const SourceModel& model, Conversion& out);

    // Some channel is stepped or cubic-spline: keys are sampled.
    bool sampled() const { return sampled_; }
    // Some channel moves something.
    bool animated() const { return animated_; }
    // The last frame of the longest channel; kStillSceneFrames when still.
    int lastFrame() const { return lastFrame_; }
    const NodeChannels& channels(int node) const { return channels_[node]; }

    // A node's own placement at time t (seconds), and its world placement.
    Transform localAt(int node, float t) const;
    Affine worldAt(int node, float t) const;

    // The motion of a node relative to its parent; positions times `scale`.
    write::LwsMotion nodeMotion(int node, float scale);
    // The morph amount of a node's mesh towards target `target`: the
    // weights channel's keys, or `restWeight` throughout.
    write::LwsEnvelope morphEnvelope(int node, int target, float restWeight);

    // Key frames for channels: at every source key (rounded to whole frames
    // on both sides) for linear channels; every frame, when `everyFrame`
    // comes back true, for stepped or cubic ones.
    std::vector<int> keyFrames(const std::vector<const SourceChannel*>& channels, bool& everyFrame) const;
    // The motion sampled at `frames`, keys thinned (sampled every frame) or
    // refined (rotations between linear keys); counts its keys.
    write::LwsMotion buildMotion(const std::vector<int>& frames, bool everyFrame, const KeySampler& sample);

    static float timeOf(int frame);
    // Drops the keys of a run sampled once a frame that a straight line
    // between their neighbours gives back within a small error.
    static void dropStraightKeys(std::vector<write::LwsKey>& keys);
    // A key of the player's motion from a placement in the player's space.
    static write::LwsKey keyOf(int frame, const std::array<float, 3>& position, const Mat3d& rotation,
                               const Vec3& scale, std::array<double, 3>& previousAngles);

private:
    void gatherChannels();
    void computeRange();
    static void refineRotations(std::vector<write::LwsKey>& keys, const KeySampler& sample);

    const SourceModel& model_;
    Conversion& out_;
    std::vector<NodeChannels> channels_;
    bool sampled_ = false;
    bool animated_ = false;
    int lastFrame_ = 0;
};

}  // namespace zor::import
