// The conversion proper. Order of work: the animation's channels and range,
// names for every node, then node by node its object (each mesh written as
// object files, converting its images on the way) or a null, and its motion;
// the camera (baked to world placement: the player's camera has no parent),
// the lights, then the scene text. Every source index is checked again
// here: the readers hand on what the file said.

#include "convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "camera_lights.h"
#include "images.h"
#include "meshes.h"
#include "motions.h"
#include "names.h"
#include "readers.h"
#include "object/surface.h"
#include "scene/scene_reader.h"
#include "writers/scene_writer.h"

namespace zor::import {

void Conversion::addNotCarried(const std::string& what) {
    if (std::find(notCarried.begin(), notCarried.end(), what) == notCarried.end()) notCarried.push_back(what);
}

namespace {

using write::LwsKey;

class Converter {
public:
    Converter(const SourceModel& model, const ConvertOptions& options) : m_(model), o_(options) {}

    Conversion run() {
        if (!(o_.scale > 0) || !std::isfinite(o_.scale)) throw ImportError("the scale must be a positive number");
        for (const std::string& n : m_.notCarried) out_.addNotCarried(n);
        Animation& animation = animation_.emplace(m_, o_.scale, out_);
        if (animation.sampled()) {
            char rate[16];
            std::snprintf(rate, sizeof rate, "%g", kFramesPerSecond);
            out_.notes.push_back("stepped and cubic-spline keys were sampled once a frame (" + std::string(rate) +
                                 " a second)");
        }
        nameNodes();
        // Scene objects in node order: each node becomes an object (its
        // first mesh part) or a null; further parts hang below the first.
        for (std::size_t i = 0; i < m_.nodes.size(); ++i) addNodeObject(static_cast<int>(i));
        if (out_.objects == 0 && out_.nullObjects == 0) throw ImportError(m_.fileName + ": holds no nodes to import");
        if (totalPoints_ == 0) throw ImportError(m_.fileName + ": holds no geometry to import");
        if (totalPoints_ > kMaxScenePoints)
            out_.notes.push_back("the scene holds " + std::to_string(totalPoints_) +
                                 " points; the player reads at most " + std::to_string(kMaxScenePoints) +
                                 " in one scene and leaves later objects empty");
        addCamera(m_, animation, o_.scale, scene_, out_);
        addLights(m_, animation, o_.scale, objectIndex_, lightNames_, scene_, out_);
        scene_.firstFrame = 0;
        scene_.lastFrame = animation.lastFrame();
        scene_.frameStep = 1;
        scene_.framesPerSecond = kImportFramesPerSecond;
        out_.firstFrame = 0;
        out_.lastFrame = animation.lastFrame();
        const std::string text = write::writeScene(scene_);
        out_.files.insert(out_.files.begin(), OutputFile{o_.sceneName, Bytes(text.begin(), text.end())});
        return std::move(out_);
    }

private:
    void nameNodes() {
        nodeName_.resize(m_.nodes.size());
        for (std::size_t i = 0; i < m_.nodes.size(); ++i) {
            const SourceNode& n = m_.nodes[i];
            std::string source = n.name;
            if (source.empty() && n.mesh >= 0 && n.mesh < static_cast<int>(m_.meshes.size()))
                source = m_.meshes[n.mesh].name;
            nodeName_[i] = objectNames_.take(source, n.mesh >= 0 ? "object" : "null", "object");
        }
    }

    void addNodeObject(int node) {
        const SourceNode& n = m_.nodes[node];
        write::LwsObject object;
        object.motion = animation_->nodeMotion(node);
        const int parent = n.parent >= 0 && n.parent < node ? objectIndex_[n.parent] : 0;
        object.parent = parent;
        std::vector<Part> parts;
        if (n.mesh >= 0 && n.mesh < static_cast<int>(m_.meshes.size()))
            parts = meshes_.write(nodeName_[node], m_.meshes[n.mesh]);
        if (parts.empty()) {
            object.nullName = nodeName_[node];
            ++out_.nullObjects;
        } else {
            object.file = parts.front().file;
        }
        scene_.objects.push_back(std::move(object));
        objectIndex_.push_back(static_cast<int>(scene_.objects.size()));
        const int self = objectIndex_.back();
        for (std::size_t i = 0; i < parts.size(); ++i) {
            ++out_.objects;
            out_.points += parts[i].points;
            out_.polygons += parts[i].polygons;
            totalPoints_ += static_cast<std::size_t>(parts[i].points);
            if (i == 0) continue;
            write::LwsObject extra;
            extra.file = parts[i].file;
            extra.parent = self;
            extra.motion.keys.push_back(LwsKey{0, {0, 0, 0, 0, 0, 0, 1, 1, 1}, true});
            ++out_.keys;
            scene_.objects.push_back(std::move(extra));
        }
        // Non-uniform scale above a rotated child is applied in the child's
        // own frame by the player.
        if (n.parent >= 0 && n.parent < node) {
            const Vec3& s = m_.nodes[n.parent].rest.scale;
            const bool uniform =
                std::abs(s[0] - s[1]) < 1e-4f * std::abs(s[0]) && std::abs(s[0] - s[2]) < 1e-4f * std::abs(s[0]);
            const Quat& q = n.rest.rotation;
            const bool rotated = std::abs(q[3]) < 0.99999f || animation_->channels(node).rotation;
            if ((!uniform || animation_->channels(n.parent).scale) && rotated)
                out_.addNotCarried("non-uniform scale of a parent above a rotated child (applied along the child's own axes)");
        }
    }

    const SourceModel& m_;
    const ConvertOptions& o_;
    Conversion out_;
    write::LwsScene scene_;
    std::optional<Animation> animation_;
    std::vector<std::string> nodeName_;
    NameBook objectNames_{kMaxObjectBaseName, out_.renamed};
    NameBook imageNames_{kMaxImageBaseName, out_.renamed};
    NameBook lightNames_{kMaxSurfaceNameLength, out_.renamed};
    ImageBaker images_{m_, imageNames_, out_};
    MeshWriter meshes_{m_, o_.scale, images_, objectNames_, out_};
    std::vector<int> objectIndex_;  // per node: its 1-based object in the scene
    std::size_t totalPoints_ = 0;
};

}  // namespace

Conversion convertModel(const SourceModel& model, const ConvertOptions& options) {
    return Converter(model, options).run();
}

}  // namespace zor::import
