// The conversion proper. Order of work: per source its animation's channels
// and range; the scale of each source (given, or fitted into the view when
// no source's camera becomes the scene's); then source by source its root
// null, names for every node, node by node its object (each mesh written as
// object files, converting its images on the way; a morphing mesh with its
// twin in the target's shape; a skinned mesh's rigid pieces after the
// nodes, each on its joint) or a null, and the lights; then the camera
// (baked to world placement: the player's camera has no parent), a default
// light when the scene has none, and the scene text. Every source index is
// checked again here: the readers hand on what the file said.

#include "import/convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>

#include "import/backdrop.h"
#include "import/camera_lights.h"
#include "import/images.h"
#include "import/meshes.h"
#include "import/motions.h"
#include "import/names.h"
#include "import/readers.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "scene/timeline.h"
#include "import/skins.h"
#include "system/text.h"
#include "writers/jpeg_writer.h"
#include "writers/scene_writer.h"

namespace zor::import {

void Conversion::addNotCarried(const std::string& what) {
    if (std::find(notCarried.begin(), notCarried.end(), what) == notCarried.end()) notCarried.push_back(what);
}

namespace {

using write::LwsKey;

LwsKey stillKey(const std::array<float, 3>& at = {0, 0, 0}) {
    return LwsKey{0, {at[0], at[1], at[2], 0, 0, 0, 1, 1, 1}, true};
}

// A source's motion made to repeat every `last` frames, its own end at
// `last` (a hold key added there when it ends sooner), so that all the
// motions of a source start again together. The keys it added.
int repeatOver(write::LwsMotion& motion, int last) {
    if (motion.keys.size() < 2 || last <= 0) return 0;
    motion.end = write::EndBehavior::Repeat;
    if (motion.keys.back().frame >= last) return 0;
    LwsKey hold = motion.keys.back();
    hold.frame = last;
    hold.linear = true;
    motion.keys.push_back(hold);
    return 1;
}

// "A", "A and B", "A, B and C".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

class Composer {
public:
    Composer(const std::vector<SourceInput>& inputs, const ConvertOptions& options, const ExistingScene* existing)
        : inputs_(inputs), options_(options), existing_(existing) {
        if (existing_) {
            objectBase_ = existing_->objects;
            for (const std::string& name : existing_->names) {
                const std::string stem = utf8Of(pathFromUtf8(name).stem());
                objectNames_.reserve(stem);
                imageNames_.reserve(stem);
                rootNames_.reserve(stem);
            }
        }
    }

    Conversion run() {
        if (inputs_.empty()) throw ImportError("no source to import");
        for (const SourceInput& input : inputs_) {
            if (!input.model) throw ImportError("no source to import");
            if (input.scale && (!(*input.scale > 0) || !std::isfinite(*input.scale)))
                throw ImportError("the scale must be a positive number");
            Source& source = sources_.emplace_back();
            source.input = &input;
            const std::size_t index = sources_.size() - 1;
            if (index < options_.directions.size()) source.direction = options_.directions[index];
            source.label = utf8Of(pathFromUtf8(input.model->fileName).filename());
            if (source.label.empty()) source.label = input.name;
            for (const std::string& n : input.model->notCarried) source.report.addNotCarried(n);
            source.animation = std::make_unique<Animation>(*input.model, source.report);
            source.bounds = modelBounds(*input.model, *source.animation);
        }
        // Root nulls are named after their files (or as a recipe names
        // them), unique among themselves; they name no file, so an object of
        // the same name is no clash.
        for (Source& source : sources_) {
            source.rootName = rootNames_.take("", cleanName(source.input->name, "model"), "model");
            out_.roots.push_back(source.rootName);
        }
        chooseCamera();
        chooseScales();
        for (Source& source : sources_) out_.scales.push_back(source.scale);
        for (Source& source : sources_) addSource(source);
        if (totalPoints_ > kMaxScenePoints)
            out_.notes.push_back("the scene holds " + std::to_string(totalPoints_) +
                                 " points; the player reads at most " + std::to_string(kMaxScenePoints) +
                                 " in one scene and leaves later objects empty");
        addCamera();
        out_.cameraSource = cameraSource_;
        if (!existing_ && !scene_.camera.keys.empty())
            std::copy_n(scene_.camera.keys.front().values.begin(), 6, out_.cameraStart.begin());
        if (out_.lights == 0 && (!existing_ || existing_->lights == 0)) {
            scene_.lights.push_back(defaultLight());
            ++out_.keys;
            ++out_.lights;
            char intensity[32];
            std::snprintf(intensity, sizeof intensity, "%.2f", scene_.lights.back().intensity.constant);
            out_.notes.push_back(std::string("no light in the source: a white distant light from the upper left was "
                                             "added (LgtIntensity ") +
                                 intensity + ": faces turned to the view show their images' own colours)");
        }
        if (options_.backdrop && !existing_) {
            Bounds content;
            for (const Source& s : sources_) content.add(placedReach(s));
            addBackdrop(*options_.backdrop, content, scene_, objectNames_, imageNames_, out_);
        }
        setRange();
        writeText();
        return std::move(out_);
    }

private:
    struct Source {
        const SourceInput* input = nullptr;
        std::string label;  // the file's name, for messages
        Conversion report;  // its files, counts and messages, merged into the scene's
        std::unique_ptr<Animation> animation;
        Bounds bounds;      // at scale 1, before its placement
        float scale = 1;
        std::string rootName;
        SourceDirection direction;
        std::vector<std::string> nodeName;
        std::vector<int> objectOfNode;  // per node: its 1-based object in the scene
    };

    const SourceModel& model(const Source& s) const { return *s.input->model; }

    // The scene's camera: a new scene takes the camera given, the camera of
    // the source asked for, or the first source's camera; others are noted.
    // A scene added to keeps its own.
    void chooseCamera() {
        if (!existing_ && !options_.camera) {
            if (options_.cameraFrom) {
                const int from = *options_.cameraFrom;
                if (from < 0 || from >= static_cast<int>(sources_.size()))
                    throw ImportError("the camera is asked of a source that is not there");
                if (cameraNode(model(sources_[from])) < 0)
                    throw ImportError(sources_[from].label + ": has no camera of its own");
                cameraSource_ = from;
            } else {
                for (std::size_t i = 0; i < sources_.size() && cameraSource_ < 0; ++i)
                    if (cameraNode(model(sources_[i])) >= 0) cameraSource_ = static_cast<int>(i);
                if (cameraSource_ >= 0)
                    out_.notes.push_back("the camera is " + sources_[cameraSource_].label +
                                         "'s own: the first source with a camera" +
                                         (sources_.size() > 1 ? " (of " + std::to_string(sources_.size()) + ")" : ""));
            }
        }
        for (std::size_t i = 0; i < sources_.size(); ++i) {
            if (static_cast<int>(i) == cameraSource_ || cameraNode(model(sources_[i])) < 0) continue;
            sources_[i].report.addNotCarried(existing_       ? "the camera (the scene keeps its own)"
                                             : options_.camera ? "the camera (the scene's camera is given)"
                                                               : "the camera (the scene's camera is " +
                                                                     sources_[cameraSource_].label + "'s)");
        }
    }

    // Sources without a scale of their own: 1 beside a source's camera,
    // which was placed for the model as it is; otherwise, together, the
    // scale that brings them into the framing view, when they do not fit it
    // as they are.
    void chooseScales() {
        Bounds together;
        std::vector<Source*> fitted;
        for (Source& s : sources_) {
            if (s.input->scale) {
                s.scale = *s.input->scale;
                continue;
            }
            s.scale = 1;
            fitted.push_back(&s);
            together.add(s.bounds);
        }
        if (cameraSource_ >= 0) {
            fitToSourceCamera(fitted);
            return;
        }
        if (fitted.empty() || together.empty()) return;
        const double radius = together.radius();
        if (framingFits(radius)) return;
        // The largest scale that still fits: the framing distance grows as
        // radius / sin(half the view's height) once past the near plane.
        const double across = together.largestSide();
        const double scale = roundScale(kFittedSize / across, largestFittingScale(radius));
        std::vector<std::string> labels;
        for (Source* s : fitted) {
            s->scale = static_cast<float>(scale);
            labels.push_back(s->label);
        }
        out_.notes.push_back((fitted.size() == 1 ? std::string("scaled by ")
                                                 : listed(labels) + " scaled by ") +
                             scaleText(scale) + " to fit the view (" + std::to_string(std::llround(across)) +
                             " units across" +
                             (fitted.size() == 1 ? "" : " together") + "); " + options_.scaleOption + " to choose");
    }

    // The sources beside a source's camera: as they were exported (the
    // camera was placed for them), unless that camera sees its model only
    // beyond the view's far end, which the player shows black. Then they
    // are scaled together, the camera with them: the same picture in
    // smaller numbers.
    void fitToSourceCamera(const std::vector<Source*>& fitted) {
        Source& c = sources_[cameraSource_];
        if (c.input->scale || fitted.empty()) return;
        double depth = 0;
        const std::optional<double> scale = scaleIntoCameraReach(model(c), *c.animation, depth);
        if (!scale) return;
        std::vector<std::string> labels;
        for (Source* s : fitted) {
            s->scale = static_cast<float>(*scale);
            labels.push_back(s->label);
        }
        out_.notes.push_back("the camera of " + c.label + " sees its model only " + std::to_string(std::llround(depth)) +
                             " units ahead, beyond the view's " + std::to_string(std::llround(farthestSeenDepth())) +
                             ": " + listed(labels) + " scaled by " + scaleText(*scale) +
                             ", camera and all (the same picture in smaller numbers); " + options_.scaleOption +
                             " to choose");
    }

    // Where a source can reach in the scene: its model about its root, at
    // every key of the root's motion (turned any way, at the key's largest
    // scale), else where it stands.
    Bounds placedReach(const Source& s) const {
        const Bounds own = s.bounds.placed(s.scale, {0, 0, 0});
        if (own.empty()) return own;
        if (!s.direction.rootMotion) return own.placed(1, s.input->at);
        double radius = 0;
        for (const auto& corner : {own.low, own.high})
            radius = std::max(radius, std::sqrt(corner[0] * corner[0] + corner[1] * corner[1] + corner[2] * corner[2]));
        Bounds reach;
        for (const write::LwsKey& k : s.direction.rootMotion->keys) {
            const double r = radius * std::max({std::abs(k.values[6]), std::abs(k.values[7]), std::abs(k.values[8])});
            reach.add(std::array<double, 3>{k.values[0] - r, k.values[1] - r, k.values[2] - r});
            reach.add(std::array<double, 3>{k.values[0] + r, k.values[1] + r, k.values[2] + r});
        }
        return reach;
    }

    void addSource(Source& s) {
        const SourceModel& m = model(s);
        Conversion& report = s.report;
        Animation& animation = *s.animation;
        if (animation.sampled()) {
            char rate[16];
            std::snprintf(rate, sizeof rate, "%g", kFramesPerSecond);
            report.notes.push_back("stepped and cubic-spline keys were sampled once a frame (" + std::string(rate) +
                                   " a second)");
        }
        if (m.nodes.empty()) throw ImportError(m.fileName + ": holds no nodes to import");

        // The root: where the model stands, and nothing else.
        write::LwsObject root;
        root.nullName = s.rootName;
        if (s.direction.rootMotion) root.motion = *s.direction.rootMotion;
        else root.motion.keys.push_back(stillKey(s.input->at));
        report.keys += static_cast<int>(root.motion.keys.size());
        ++report.nullObjects;
        scene_.objects.push_back(std::move(root));
        const int rootObject = objectBase_ + static_cast<int>(scene_.objects.size());

        s.nodeName.resize(m.nodes.size());
        for (std::size_t i = 0; i < m.nodes.size(); ++i) {
            const SourceNode& n = m.nodes[i];
            std::string name = n.name;
            if (name.empty() && n.mesh >= 0 && n.mesh < static_cast<int>(m.meshes.size())) name = m.meshes[n.mesh].name;
            s.nodeName[i] = objectNames_.take(name, n.mesh >= 0 ? "object" : "null", "object");
        }
        ImageBaker images(m, imageNames_, report);
        MeshWriter meshes(m, s.scale, options_.doubleSided || s.direction.doubleSided, images, objectNames_, report);
        std::vector<int> skinned;
        const std::size_t pointsBefore = totalPoints_;
        for (std::size_t i = 0; i < m.nodes.size(); ++i)
            addNode(s, static_cast<int>(i), rootObject, meshes, skinned);
        for (int node : skinned) addSkinnedMesh(s, node, meshes);
        if (totalPoints_ == pointsBefore) throw ImportError(m.fileName + ": holds no geometry to import");
        addLights(m, animation, s.scale, s.objectOfNode, scene_, report);
        merge(s);
    }

    // Appends an object below `parent`, counting it; its 1-based number.
    int append(write::LwsObject object, Conversion& report) {
        if (object.file.empty()) ++report.nullObjects;
        scene_.objects.push_back(std::move(object));
        return objectBase_ + static_cast<int>(scene_.objects.size());
    }

    // Appends a mesh's parts: the first with `motion` below `parent`, the
    // others still below the first; morphing parts with their hidden twins.
    // The first part's number, or 0 when there is none.
    int appendParts(const std::vector<Part>& parts, write::LwsMotion motion, int parent,
                    std::optional<write::LwsEnvelope> morph, Conversion& report) {
        int first = 0;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            write::LwsObject object;
            object.file = parts[i].file;
            object.parent = i == 0 ? parent : first;
            if (i == 0) object.motion = motion;
            else {
                object.motion.keys.push_back(stillKey());
                ++report.keys;
            }
            if (!parts[i].morphFile.empty()) {
                object.metamorph = morph;
                // The twin follows its part at once.
                object.morphTarget = objectBase_ + static_cast<int>(scene_.objects.size()) + 2;
            }
            const int self = append(std::move(object), report);
            if (i == 0) first = self;
            ++report.objects;
            report.points += parts[i].points;
            report.polygons += parts[i].polygons;
            totalPoints_ += static_cast<std::size_t>(parts[i].points);
            if (!parts[i].morphFile.empty()) {
                write::LwsObject twin;
                twin.file = parts[i].morphFile;
                twin.parent = self;
                twin.motion.keys.push_back(stillKey());
                twin.dissolve = write::LwsEnvelope::fixed(1);  // its points only: never drawn
                ++report.keys;
                append(std::move(twin), report);
                ++report.objects;
                report.points += parts[i].points;
                report.polygons += parts[i].polygons;
                totalPoints_ += static_cast<std::size_t>(parts[i].points);
            }
        }
        return first;
    }

    void addNode(Source& s, int node, int rootObject, MeshWriter& meshes, std::vector<int>& skinned) {
        const SourceModel& m = model(s);
        Animation& animation = *s.animation;
        Conversion& report = s.report;
        const SourceNode& n = m.nodes[node];
        const int parent = n.parent >= 0 && n.parent < node ? s.objectOfNode[n.parent] : rootObject;
        write::LwsMotion motion = animation.nodeMotion(node, s.scale);
        if (s.direction.loop) report.keys += repeatOver(motion, animation.lastFrame());
        const bool hasMesh = n.mesh >= 0 && n.mesh < static_cast<int>(m.meshes.size());
        const bool skin = hasMesh && n.skin >= 0 && n.skin < static_cast<int>(m.skins.size());
        int self = 0;
        if (hasMesh && !skin) {
            const SourceMesh& mesh = m.meshes[n.mesh];
            const int target = morphTarget(s, node);
            std::optional<write::LwsEnvelope> morph;
            if (target >= 0) morph = animation.morphEnvelope(node, target, restWeight(m, node, target));
            if (morph && s.direction.loop) report.keys += repeatOver(morph->curve, animation.lastFrame());
            self = appendParts(meshes.write(s.nodeName[node], mesh, target), motion, parent, morph, report);
        }
        if (self == 0) {
            // A null: no mesh, a mesh of nothing the player draws, or a skin
            // whose pieces hang on its joints.
            write::LwsObject null;
            null.nullName = s.nodeName[node];
            null.motion = std::move(motion);
            null.parent = parent;
            self = append(std::move(null), report);
        }
        if (skin) skinned.push_back(node);
        s.objectOfNode.push_back(self);
        // Non-uniform scale above a rotated child is applied in the child's
        // own frame by the player.
        if (n.parent >= 0 && n.parent < node) {
            const Vec3& sc = m.nodes[n.parent].rest.scale;
            const bool uniform =
                std::abs(sc[0] - sc[1]) < 1e-4f * std::abs(sc[0]) && std::abs(sc[0] - sc[2]) < 1e-4f * std::abs(sc[0]);
            const Quat& q = n.rest.rotation;
            const bool rotated = std::abs(q[3]) < 0.99999f || animation.channels(node).rotation;
            if ((!uniform || animation.channels(n.parent).scale) && rotated)
                report.addNotCarried("non-uniform scale of a parent above a rotated child (applied along the child's own axes)");
        }
    }

    static float restWeight(const SourceModel& m, int node, int target) {
        const SourceNode& n = m.nodes[node];
        const std::vector<float>& w = !n.weights.empty() ? n.weights : m.meshes[n.mesh].weights;
        return target < static_cast<int>(w.size()) ? w[target] : 0.0f;
    }

    // The morph target a node's mesh keeps: of those with positions, the
    // one whose weight reaches furthest from 0 (the first of equals); -1
    // for none.
    int morphTarget(Source& s, int node) {
        const SourceModel& m = model(s);
        const SourceMesh& mesh = m.meshes[m.nodes[node].mesh];
        std::size_t targets = 0;
        for (const SourcePrimitive& p : mesh.primitives) targets = std::max(targets, p.targets.size());
        if (targets == 0) return -1;
        const SourceChannel* channel = s.animation->channels(node).weights;
        int best = -1;
        float reach = -1;
        for (std::size_t t = 0; t < targets; ++t) {
            bool positions = false;
            for (const SourcePrimitive& p : mesh.primitives)
                positions = positions || (t < p.targets.size() && !p.targets[t].empty());
            if (!positions) continue;
            float r = std::abs(restWeight(m, node, static_cast<int>(t)));
            if (channel && channel->width > 0)
                for (std::size_t i = t; i < channel->values.size(); i += static_cast<std::size_t>(channel->width))
                    r = std::max(r, std::abs(channel->values[i]));
            if (r > reach) reach = r, best = static_cast<int>(t);
        }
        if (targets > 1)
            s.report.addNotCarried("morph targets beyond one per mesh (the player blends one per object; the one "
                                   "weighted most is kept)");
        return best;
    }

    // A skinned mesh as rigid pieces, each hung on its joint's object.
    void addSkinnedMesh(Source& s, int node, MeshWriter& meshes) {
        const SourceModel& m = model(s);
        const SourceNode& n = m.nodes[node];
        const SourceMesh& mesh = m.meshes[n.mesh];
        for (const SourcePrimitive& p : mesh.primitives)
            if (!p.targets.empty()) s.report.addNotCarried("morph targets of skinned meshes");
        const RigidSplit split = splitSkinnedMesh(mesh, m.skins[n.skin]);
        std::vector<std::string> joints;
        for (const RigidPiece& piece : split.pieces) {
            const bool onJoint = piece.node >= 0 && piece.node < static_cast<int>(s.objectOfNode.size());
            const std::string jointName = onJoint ? m.nodes[piece.node].name : std::string();
            const std::string name = objectNames_.take(
                "", s.nodeName[node] + "_" + cleanName(jointName, "joint" + std::to_string(piece.joint + 1)), "piece");
            const int parent = onJoint ? s.objectOfNode[piece.node] : s.objectOfNode[node];
            write::LwsMotion still;
            still.keys.push_back(stillKey());
            ++s.report.keys;
            if (appendParts(meshes.write(name, piece.mesh), std::move(still), parent, std::nullopt, s.report) != 0)
                joints.push_back(onJoint ? s.nodeName[piece.node] : s.nodeName[node]);
        }
        if (joints.empty()) return;
        const long long share =
            split.vertices ? std::llround(100.0 * static_cast<double>(split.blended) / static_cast<double>(split.vertices)) : 0;
        s.report.notes.push_back(
            "skinned mesh " + s.nodeName[node] + " split into " + std::to_string(joints.size()) +
            " rigid pieces by each vertex's strongest joint, each hung on its joint (" + listed(joints) +
            ") so the skeleton's animation moves it; " + std::to_string(share) + "% of its vertices (" +
            std::to_string(split.blended) + " of " + std::to_string(split.vertices) +
            ") have a strongest weight below 1 and now follow that joint alone");
    }

    void addCamera() {
        if (existing_) return;  // the scene keeps its camera
        if (options_.camera) {
            scene_.camera = *options_.camera;
            out_.keys += static_cast<int>(scene_.camera.keys.size());
            return;
        }
        if (cameraSource_ >= 0) {
            Source& s = sources_[cameraSource_];
            Conversion report;
            addSourceCamera(model(s), *s.animation, s.scale, s.input->at, s.label, scene_, report,
                            options_.scaleOption);
            if (s.direction.loop) s.report.keys += repeatOver(scene_.camera, s.animation->lastFrame());
            mergeMessages(report, sources_.size() > 1 ? s.label : std::string());
            // The camera's keys were counted by the source's animation.
            out_.keys += s.report.keys;
            s.report.keys = 0;
            return;
        }
        Bounds scene;
        for (const Source& s : sources_) scene.add(s.bounds.placed(s.scale, s.input->at));
        addFramingCamera(scene, scene_, out_);
        if (!framingFits(scene.radius()))
            out_.notes.push_back("the scene is " + std::to_string(std::llround(scene.largestSide())) +
                                 " units across: the view shows only 1 to 100 units ahead, so parts of it stay "
                                 "dark; choose a smaller " + options_.scaleOption + " or bring the sources closer");
    }

    void setRange() {
        int last = 0;
        bool animated = false;
        for (const Source& s : sources_)
            if (s.animation->animated()) {
                last = std::max(last, s.animation->lastFrame());
                animated = true;
            }
        if (existing_) {
            out_.firstFrame = existing_->firstFrame;
            out_.lastFrame = existing_->lastFrame;
            if (animated && last > existing_->lastFrame)
                out_.notes.push_back("the animation runs to frame " + std::to_string(last) +
                                     ", past the scene's last frame " + std::to_string(existing_->lastFrame) +
                                     ": raise PreviewLastFrame to " + std::to_string(last) + " to play it all");
            return;
        }
        if (options_.range) {
            out_.firstFrame = (*options_.range)[0];
            out_.lastFrame = (*options_.range)[1];
            return;
        }
        out_.firstFrame = 0;
        out_.lastFrame = animated ? last : kStillSceneFrames;
        if (!animated)
            out_.notes.push_back("no animation: a still scene of 10 s (" +
                                 shownFrames(out_.firstFrame, out_.lastFrame).describe("the scene's range") + ")");
    }

    void writeText() {
        std::string text;
        if (existing_) {
            text = existing_->text;
            if (!text.empty() && text.back() != '\n') text += '\n';
            text += write::writeSceneItems(scene_, objectBase_);
            // The new items must be read where they stand: a scene whose
            // text ends inside a block (a motion without its EndBehavior)
            // would swallow them.
            Scene check;
            parseScene(check, text, options_.sceneName, {}, nullptr);
            if (check.objects.size() != static_cast<std::size_t>(objectBase_) + scene_.objects.size() ||
                check.lights.size() != static_cast<std::size_t>(existing_->lights) + scene_.lights.size())
                throw ImportError(options_.sceneName +
                                  ": its text does not end where the player would read new objects after it (a block "
                                  "left open at its end?); nothing was added");
        } else {
            scene_.firstFrame = out_.firstFrame;
            scene_.lastFrame = out_.lastFrame;
            scene_.frameStep = 1;
            scene_.framesPerSecond = kImportFramesPerSecond;
            text = write::writeScene(scene_);
            if (options_.logo) addLogo();
        }
        out_.files.insert(out_.files.begin(), OutputFile{options_.sceneName, Bytes(text.begin(), text.end())});
    }

    // The player blits its logo into every frame and keys out pure magenta:
    // an all-magenta logo shows the picture through, where a missing one
    // is a warning of every check and render.
    void addLogo() {
        write::RgbImage logo(kLogoSide, kLogoSide);
        for (int y = 0; y < kLogoSide; ++y)
            for (int x = 0; x < kLogoSide; ++x) {
                std::uint8_t* p = logo.at(x, y);
                p[0] = 255, p[1] = 0, p[2] = 255;
            }
        write::JpegOptions jpeg;
        jpeg.quality = 90;
        jpeg.fullChroma = true;
        out_.files.push_back({kLogoFileName, write::encodeJpeg(logo, jpeg)});
        out_.notes.push_back(std::string("the logo ") + kLogoFileName +
                             " was added see-through (all magenta, which the player leaves out): replace it with "
                             "your own " + std::to_string(kLogoSide) + " x " + std::to_string(kLogoSide) + " JPEG");
    }

    // A source's files, counts and messages into the scene's; messages name
    // the source when there are several.
    void merge(Source& s) {
        Conversion& r = s.report;
        for (OutputFile& f : r.files) out_.files.push_back(std::move(f));
        out_.objects += r.objects;
        out_.nullObjects += r.nullObjects;
        out_.polygons += r.polygons;
        out_.points += r.points;
        out_.images += r.images;
        out_.keys += r.keys;
        out_.lights += r.lights;
        mergeMessages(r, sources_.size() > 1 ? s.label : std::string());
        r = Conversion{};
    }

    void mergeMessages(const Conversion& r, const std::string& label) {
        const std::string prefix = label.empty() ? "" : label + ": ";
        for (const std::string& n : r.notCarried) out_.addNotCarried(prefix + n);
        for (const std::string& n : r.notes) out_.notes.push_back(prefix + n);
        for (const std::string& w : r.warnings) out_.warnings.push_back(w);
    }

    const std::vector<SourceInput>& inputs_;
    const ConvertOptions& options_;
    const ExistingScene* existing_;
    Conversion out_;
    write::LwsScene scene_;  // the new objects and lights; a new scene's camera and range
    std::deque<Source> sources_;  // a deque: each source's animation keeps a reference to its report
    int cameraSource_ = -1;
    int objectBase_ = 0;     // objects of the scene before the new ones
    std::size_t totalPoints_ = 0;
    NameBook objectNames_{kMaxObjectBaseName, out_.renamed};
    NameBook rootNames_{kMaxObjectBaseName, out_.renamed};
    NameBook imageNames_{kMaxImageBaseName, out_.renamed};
};

}  // namespace

Conversion composeScene(const std::vector<SourceInput>& sources, const ConvertOptions& options,
                        const ExistingScene* existing) {
    return Composer(sources, options, existing).run();
}

Conversion convertModel(const SourceModel& model, const ConvertOptions& options) {
    SourceInput input;
    input.model = &model;
    input.name = utf8Of(pathFromUtf8(model.fileName).filename());
    input.scale = options.scale;
    return composeScene({input}, options, nullptr);
}

}  // namespace zor::import
