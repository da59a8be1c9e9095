// Reading order: the four header values are searched for in turn, then the
// whole text is read again from the start as a stream of tokens driven by a
// small state machine (none, object, bone, light: which adding line came
// last). Links between records are collected as 1-based indexes with the
// line they came from and turned into pointers only after the last token,
// when no array moves any more.

#include "scene/scene_reader.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "scene/bones.h"
#include "scene/motion.h"
#include "system/text.h"

namespace zor {

namespace {

std::string quoted(std::string_view token) {
    if (token.empty()) return "the end of the file";
    return "'" + std::string(token) + "'";
}

// Parent links are made one item at a time, each item once, so the child is
// still the top of its own tree when it is linked: the link closes a cycle
// exactly when the would-be parent's topmost ancestor is the child. Tops are
// kept in a union-find so each test stays cheap however deep the chains are,
// and no chain that is made can loop.
class AncestryForest {
public:
    explicit AncestryForest(std::size_t count) : up_(count) { std::iota(up_.begin(), up_.end(), std::size_t{0}); }

    // False (nothing linked) when the link would close a cycle.
    bool link(std::size_t child, std::size_t parent) {
        if (top(parent) == child) return false;
        up_[child] = parent;
        return true;
    }

private:
    std::size_t top(std::size_t i) {
        while (up_[i] != i) {
            up_[i] = up_[up_[i]];
            i = up_[i];
        }
        return i;
    }

    std::vector<std::size_t> up_;  // some ancestor of each item; itself for a top
};

class SceneParser {
public:
    SceneParser(Scene& scene, TokenStream& tokens, const ObjectLoadFunction& loadObject, SceneSourceLines* lines)
        : scene_(scene), tokens_(tokens), loadObject_(loadObject), lines_(lines) {}

    void readHeader();
    void readBody();
    void link();

private:
    enum class State { None, Object, Bone, Light };

    // A 1-based index read from the file, 0 for none, with its line.
    struct Link {
        std::int32_t index = 0;
        int line = 0;
    };

    bool objectRule(std::string_view token);
    bool objectRuleAfterBones(std::string_view token);
    bool boneRule(std::string_view token);
    bool lightRule(std::string_view token);
    void addObject(std::optional<std::string_view> fileName);
    void addBone();

    bool readInt(std::string_view keyword, std::int32_t& value);
    bool readReal(std::string_view keyword, float& value);
    void readLink(std::string_view keyword, Link& link);
    void readNamedMotion(Motion& motion);

    SceneObject& object() { return scene_.objects[static_cast<std::size_t>(currentObject_)]; }
    SceneBone& bone() { return object().bones[static_cast<std::size_t>(currentBone_)]; }
    SceneLight& light() { return scene_.lights[static_cast<std::size_t>(currentLight_)]; }

    void linkObject(std::size_t i, AncestryForest& objects);
    void linkLight(std::size_t i);

    // Records for lines_, when there is one.
    void noteKeyword(std::vector<SceneSourceLines::Keyword> SceneSourceLines::*list, std::string_view keyword);
    void noteSkipped(std::string_view token);

    Scene& scene_;
    TokenStream& tokens_;
    const ObjectLoadFunction& loadObject_;
    SceneSourceLines* lines_;
    State state_ = State::None;
    int currentObject_ = -1;
    int currentBone_ = -1;
    int currentLight_ = -1;
    // Parallel to scene_.objects / each object's bones / scene_.lights.
    std::vector<Link> objectParent_;
    std::vector<Link> morphTarget_;
    std::vector<std::vector<Link>> boneParent_;
    std::vector<Link> lightParent_;
    std::vector<int> metamorphLine_;
    // Held so far, against the scene's bounds.
    std::uint64_t points_ = 0;
    std::uint64_t polygons_ = 0;
    std::uint64_t weights_ = 0;
};

bool SceneParser::readInt(std::string_view keyword, std::int32_t& value) {
    if (tokens_.readInt(value)) return true;
    tokens_.warn(tokens_.position().line, "expected an integer after " + std::string(keyword) + ", found " +
                                              quoted(tokens_.peekToken()));
    return false;
}

bool SceneParser::readReal(std::string_view keyword, float& value) {
    if (tokens_.readReal(value)) return true;
    tokens_.warn(tokens_.position().line,
                 "expected a number after " + std::string(keyword) + ", found " + quoted(tokens_.peekToken()));
    return false;
}

void SceneParser::readLink(std::string_view keyword, Link& link) {
    const int line = tokens_.tokenLine();
    if (readInt(keyword, link.index)) link.line = line;
}

void SceneParser::readNamedMotion(Motion& motion) {
    tokens_.nextToken();  // the motion's name, e.g. "(unnamed)"
    readMotion(tokens_, motion);
}

void SceneParser::noteKeyword(std::vector<SceneSourceLines::Keyword> SceneSourceLines::*list,
                              std::string_view keyword) {
    if (!lines_) return;
    std::vector<SceneSourceLines::Keyword>& keywords = lines_->*list;
    auto found = std::find_if(keywords.begin(), keywords.end(),
                              [&](const SceneSourceLines::Keyword& k) { return k.keyword == keyword; });
    if (found == keywords.end()) found = keywords.insert(keywords.end(), {std::string(keyword), tokens_.tokenLine(), 0});
    ++found->count;
}

void SceneParser::noteSkipped(std::string_view token) {
    if (!lines_ || !tokens_.tokenStartsLine()) return;
    const char first = token.front();
    if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) return;
    for (const char* header : {"PreviewFirstFrame", "PreviewLastFrame", "PreviewFrameStep", "FramesPerSecond"})
        if (token == header) return;
    noteKeyword(&SceneSourceLines::skipped, token);
}

void SceneParser::readHeader() {
    struct HeaderField {
        const char* keyword;
        std::int32_t* integer;
        float* real;
        int* line;
    };
    SceneSourceLines unused;  // where the lines go when nobody asked for them
    SceneSourceLines& lines = lines_ ? *lines_ : unused;
    const HeaderField fields[] = {{"PreviewFirstFrame", &scene_.firstFrame, nullptr, &lines.firstFrame},
                                  {"PreviewLastFrame", &scene_.lastFrame, nullptr, &lines.lastFrame},
                                  {"PreviewFrameStep", &scene_.frameStep, nullptr, &lines.frameStep},
                                  {"FramesPerSecond", nullptr, &scene_.framesPerSecond, &lines.framesPerSecond}};
    // Each search goes on where the previous one stopped, so once one keyword
    // is missing the searches after it fail as well.
    for (const HeaderField& field : fields) {
        if (!findKeyword(tokens_, field.keyword)) {
            tokens_.warn(0, std::string("header keyword ") + field.keyword +
                                " not found; it and the header values after it keep their previous values");
            return;
        }
        *field.line = tokens_.tokenLine();
        if (field.integer) {
            readInt(field.keyword, *field.integer);
        } else {
            readReal(field.keyword, *field.real);
        }
    }
}

void SceneParser::addObject(std::optional<std::string_view> fileName) {
    const int line = tokens_.tokenLine();
    if (lines_) {
        lines_->objects.push_back(line);
        // A null's name follows on its line; the reader skips it as a token.
        std::string name;
        if (!fileName && tokens_.nextTokenLine() == line) name = tokens_.peekToken();
        lines_->nullNames.push_back(std::move(name));
    }
    const Diagnostics::NamedBy namedBy(tokens_.diagnostics(), tokens_.fileName(), line);
    SceneObject& added = appendObject(scene_, fileName, loadObject_);
    // The loader is someone else's code: a mesh that breaks its own
    // invariant would make every later walk over it unsafe.
    bool consistent = added.points.size() == added.pointCount && added.polygons.size() == added.polygonCount;
    for (const MeshPolygon& polygon : added.polygons) {
        if (!consistent) break;
        consistent = polygon.pointIndices.size() >= polygon.vertexCount && polygon.u.size() >= polygon.vertexCount &&
                     polygon.v.size() >= polygon.vertexCount;
        for (std::size_t v = 0; consistent && v < polygon.vertexCount; ++v) {
            consistent = polygon.pointIndices[v] < added.pointCount;
        }
    }
    if (!consistent) {
        tokens_.warn(line, "object " + added.name + " came back with an inconsistent mesh; it is left empty");
        static_cast<Mesh&>(added) = Mesh{};
    }
    if (points_ + added.points.size() > kMaxScenePoints || polygons_ + added.polygons.size() > kMaxScenePolygons) {
        tokens_.warn(line, "object " + added.name + " would take the scene past " + std::to_string(kMaxScenePoints) +
                               " points or " + std::to_string(kMaxScenePolygons) + " polygons; it is left empty");
        static_cast<Mesh&>(added) = Mesh{};
    }
    points_ += added.points.size();
    polygons_ += added.polygons.size();
    objectParent_.emplace_back();
    morphTarget_.emplace_back();
    boneParent_.emplace_back();
    metamorphLine_.push_back(0);
    currentObject_ = scene_.objectCount() - 1;
    state_ = State::Object;
}

void SceneParser::addBone() {
    if (currentObject_ < 0) {
        tokens_.warn("AddBone before any object; ignored with its values");
        state_ = State::None;
        return;
    }
    SceneObject& owner = object();
    if (owner.boneCount == std::numeric_limits<std::uint16_t>::max() || weights_ + owner.pointCount > kMaxSceneWeights) {
        tokens_.warn("object " + std::to_string(currentObject_ + 1) + " cannot take another bone (" +
                     std::to_string(owner.boneCount) + " bones, " + std::to_string(owner.pointCount) +
                     " points; the scene's bones may weigh " + std::to_string(kMaxSceneWeights) +
                     " points in all); ignored with its values");
        state_ = State::None;
        return;
    }
    weights_ += owner.pointCount;
    appendBone(owner);
    boneParent_[static_cast<std::size_t>(currentObject_)].emplace_back();
    currentBone_ = owner.boneCount - 1;
    state_ = State::Bone;
}

bool SceneParser::objectRule(std::string_view token) {
    SceneObject& o = object();
    if (token == "ObjectMotion") {
        readNamedMotion(o.motion);
    } else if (token == "ParentObject") {
        readLink(token, objectParent_[static_cast<std::size_t>(currentObject_)]);
    } else if (token == "BoneFalloffType") {
        readInt(token, o.boneFalloffType);
    } else if (token == "PivotPoint") {
        for (float& v : o.pivot) readReal(token, v);
    } else {
        return objectRuleAfterBones(token);
    }
    return true;
}

// The object lines that may also follow an object's bones.
bool SceneParser::objectRuleAfterBones(std::string_view token) {
    SceneObject& o = object();
    if (token == "ObjDissolve") {
        readEnvelope(tokens_, o.dissolve);
        o.hasDissolve = 1;
    } else if (token == "Metamorph") {
        metamorphLine_[static_cast<std::size_t>(currentObject_)] = tokens_.tokenLine();
        readEnvelope(tokens_, o.morphAmount);
        o.hasMorph = 1;
    } else if (token == "MorphTarget") {
        readLink(token, morphTarget_[static_cast<std::size_t>(currentObject_)]);
    } else if (token == "ShadowOptions") {
        readInt(token, o.shadowOptions);
    } else {
        return false;
    }
    return true;
}

bool SceneParser::boneRule(std::string_view token) {
    SceneBone& b = bone();
    if (token == "BoneActive") {
        readInt(token, b.active);
    } else if (token == "BoneRestPosition") {
        for (float& v : b.restPosition) readReal(token, v);
    } else if (token == "BoneRestDirection") {
        for (float& v : b.restDirection) readReal(token, v);
    } else if (token == "BoneStrength") {
        readReal(token, b.strength);
    } else if (token == "BoneMotion") {
        readNamedMotion(b.motion);
    } else if (token == "ParentObject") {
        readLink(token, boneParent_[static_cast<std::size_t>(currentObject_)][static_cast<std::size_t>(currentBone_)]);
    } else if (token == "BoneLimitedRange") {
        b.limitedRange = 1;  // takes no value; one on the line is skipped as a token
    } else if (token == "BoneMinRange") {
        readReal(token, b.minRange);
    } else if (token == "BoneMaxRange") {
        readReal(token, b.maxRange);
    } else if (token == "ScaleBoneStrength") {
        readInt(token, b.scaleStrength);
    } else if (token == "BoneRestLength") {
        readReal(token, b.restLength);
    } else {
        return objectRuleAfterBones(token);
    }
    return true;
}

bool SceneParser::lightRule(std::string_view token) {
    SceneLight& l = light();
    if (token == "LightMotion") {
        readNamedMotion(l.motion);
    } else if (token == "LightType") {
        readInt(token, l.lightType);
    } else if (token == "LensFlare") {
        readInt(token, l.lensFlare);
    } else if (token == "LightColor") {
        // 0..255 in the file, 0..63 stored; a value that is not there leaves
        // its component as it was rather than dividing it again.
        for (std::int32_t& c : l.color) {
            if (readInt(token, c)) c /= 4;
        }
    } else if (token == "LgtIntensity") {
        readEnvelope(tokens_, l.intensity);
    } else if (token == "FlareIntensity") {
        noteKeyword(&SceneSourceLines::unused, token);
        readEnvelope(tokens_, l.flareIntensity);
    } else if (token == "ParentObject") {
        readLink(token, lightParent_[static_cast<std::size_t>(currentLight_)]);
    } else {
        return false;
    }
    return true;
}

void SceneParser::readBody() {
    for (;;) {
        const std::string_view token = tokens_.nextToken();
        if (token.empty()) return;
        if (token == "AddNullObject") {
            addObject(std::nullopt);  // its name follows and is skipped as a token
        } else if (token == "LoadObject") {
            const std::string_view name = tokens_.nextToken();
            if (name.empty()) {
                tokens_.warn("LoadObject without a file name at the end of the file; added as a null object");
                addObject(std::nullopt);
            } else {
                addObject(name);
            }
            currentBone_ = -1;
        } else if (state_ == State::Object && objectRule(token)) {
        } else if (token == "AddBone") {
            addBone();
        } else if (state_ == State::Bone && boneRule(token)) {
        } else if (token == "AddLight") {
            appendLight(scene_);
            if (lines_) lines_->lights.push_back(tokens_.tokenLine());
            lightParent_.emplace_back();
            currentLight_ = scene_.lightCount() - 1;
            state_ = State::Light;
        } else if (state_ == State::Light && lightRule(token)) {
        } else if (token == "ZoomFactor") {
            noteKeyword(&SceneSourceLines::unused, token);
            readEnvelope(tokens_, scene_.camera.zoomFactor);
        } else if (token == "CameraMotion") {
            readNamedMotion(scene_.camera.motion);
        } else {
            // Anything else (unknown keywords, their values, names) is skipped.
            noteSkipped(token);
        }
    }
}

void SceneParser::linkObject(std::size_t i, AncestryForest& objects) {
    SceneObject& o = scene_.objects[i];
    const std::int64_t count = scene_.objectCount();
    const std::string self = "object " + std::to_string(i + 1);

    const Link parent = objectParent_[i];
    if (parent.index != 0) {
        if (parent.index < 1 || parent.index > count) {
            tokens_.warn(parent.line, "ParentObject " + std::to_string(parent.index) + " names no object (the scene has " +
                                          std::to_string(count) + ")");
        } else if (const auto p = static_cast<std::size_t>(parent.index - 1); !objects.link(i, p)) {
            tokens_.warn(parent.line, "ParentObject " + std::to_string(parent.index) + " would make " + self +
                                          " its own ancestor; ignored");
        } else {
            o.parent = &scene_.objects[p];
        }
    }

    const Link target = morphTarget_[i];
    if (target.index != 0) {
        if (target.index < 1 || target.index > count) {
            tokens_.warn(target.line, "MorphTarget " + std::to_string(target.index) + " names no object (the scene has " +
                                          std::to_string(count) + ")");
        } else if (const SceneObject& t = scene_.objects[static_cast<std::size_t>(target.index - 1)];
                   !setMorphTarget(o, t)) {
            tokens_.warn(target.line, "MorphTarget " + std::to_string(target.index) + " has " +
                                          std::to_string(t.pointCount) + " points, fewer than the " +
                                          std::to_string(o.pointCount) + " of " + self + "; no morph");
        }
    }
    // The frame pass morphs every object that read a Metamorph envelope and
    // needs the differences for it.
    if (o.hasMorph && o.morphDeltas.size() != o.pointCount) {
        tokens_.warn(target.line != 0 ? target.line : metamorphLine_[i],
                     self + " has a Metamorph envelope but no usable MorphTarget; it does not morph");
        o.hasMorph = 0;
    }

    const std::vector<Link>& boneLinks = boneParent_[i];
    AncestryForest bones(o.bones.size());
    for (std::size_t b = 0; b < o.bones.size(); ++b) {
        const Link link = boneLinks[b];
        if (link.index == 0) continue;
        if (link.index < 1 || static_cast<std::size_t>(link.index) > o.bones.size()) {
            tokens_.warn(link.line, "bone ParentObject " + std::to_string(link.index) + " names no bone of " + self +
                                        " (it has " + std::to_string(o.bones.size()) + ")");
        } else if (const auto p = static_cast<std::size_t>(link.index - 1); !bones.link(b, p)) {
            tokens_.warn(link.line, "bone ParentObject " + std::to_string(link.index) + " would make bone " +
                                        std::to_string(b + 1) + " of " + self + " its own ancestor; ignored");
        } else {
            o.bones[b].parent = &o.bones[p];
        }
    }
}

void SceneParser::linkLight(std::size_t i) {
    const Link parent = lightParent_[i];
    if (parent.index == 0) return;
    const std::int64_t count = scene_.objectCount();
    if (parent.index < 1 || parent.index > count) {
        tokens_.warn(parent.line, "light ParentObject " + std::to_string(parent.index) +
                                      " names no object (the scene has " + std::to_string(count) + ")");
        return;
    }
    scene_.lights[i].parent = &scene_.objects[static_cast<std::size_t>(parent.index - 1)];
}

void SceneParser::link() {
    AncestryForest objects(scene_.objects.size());
    for (std::size_t i = 0; i < scene_.objects.size(); ++i) linkObject(i, objects);
    for (std::size_t i = 0; i < scene_.lights.size(); ++i) linkLight(i);
    for (SceneObject& o : scene_.objects) {
        if (o.boneCount != 0) prepareBones(o, tokens_.diagnostics(), tokens_.fileName());
    }
}

}  // namespace

std::string objectBaseName(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('\\');
    std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    base = base.substr(0, base.find('.'));
    return std::string(base) + ".lwo";
}

SceneObject& appendObject(Scene& scene, std::optional<std::string_view> fileName,
                          const ObjectLoadFunction& loadObject) {
    SceneObject& object = scene.objects.emplace_back();
    if (!fileName) {
        object.name = "NULL";
        return object;
    }
    std::string base = objectBaseName(*fileName);
    object.name = base.substr(0, kMaxStoredObjectName);
    if (base == "mcube.lwo" || base == "mball.lwo") {
        object.unlit = 1;
    } else if (loadObject) {
        loadObject(base, object);
    }
    return object;
}

bool loadedNoObject(const Scene& scene) {
    bool named = false;
    for (const SceneObject& object : scene.objects) {
        if (object.name == "NULL" || object.name == "mcube.lwo" || object.name == "mball.lwo") continue;
        if (object.pointCount > 0 || object.polygonCount > 0) return false;
        named = true;
    }
    return named;
}

SceneLight& appendLight(Scene& scene) { return scene.lights.emplace_back(); }

SceneBone& appendBone(SceneObject& object) {
    if (object.boneCount == 0) {
        object.weightSums.assign(object.pointCount, 0.0f);
        object.restPoints = object.points;
    }
    ++object.boneCount;
    SceneBone& bone = object.bones.emplace_back();
    bone.weights.assign(object.pointCount, 0.0f);
    return bone;
}

namespace {

void readMotionBlock(TokenStream& tokens, Motion& motion, bool envelope) {
    tokens.atEnd();  // moves to the channel count, whose line the messages give
    const int line = tokens.position().line;
    std::int32_t channels = 0;
    std::int32_t count = 0;
    std::string problem;
    if (!tokens.readInt(channels)) {
        problem = "has no channel count (found " + quoted(tokens.peekToken()) + ")";
    } else if (!tokens.readInt(count)) {
        problem = "has no key count (found " + quoted(tokens.peekToken()) + ")";
    } else if (channels < 1 || channels > 9) {
        problem = "has " + std::to_string(channels) + " channels (1 to 9 allowed)";
    } else if (count < 0) {
        problem = "has " + std::to_string(count) + " keys";
    } else {
        // Each key is channels + 5 numbers of at least one byte and a blank,
        // so a count the rest of the text cannot hold is refused before
        // anything is allocated for it.
        const std::uint64_t needed = static_cast<std::uint64_t>(count) * (static_cast<std::uint64_t>(channels) + 5) * 2;
        if (needed > tokens.remaining() + 1) {
            problem = "claims " + std::to_string(count) + " keys, more than the rest of the file can hold";
        }
    }

    const bool usable = problem.empty();
    ReadNotes::Block* block = nullptr;
    if (ReadNotes* notes = tokens.notes()) {
        block = &notes->blocks.emplace_back();
        block->line = line;
        block->envelope = envelope;
        block->channels = usable ? channels : 0;
    }
    // The lines the numbers of a key came from, for the notes.
    auto track = [&tokens](bool read, int& first, int& last) {
        if (!read) return;
        if (first == 0) first = tokens.tokenLine();
        last = tokens.tokenLine();
    };
    if (usable) {
        allocateKeys(motion, count, 1);
        motion.channelCount = channels;
        bool complained = false;
        auto complain = [&](std::size_t key) {
            if (complained) return;
            complained = true;
            tokens.warn(tokens.position().line, "key " + std::to_string(key + 1) +
                                                    " of a motion block: expected a number, found " +
                                                    quoted(tokens.peekToken()));
        };
        for (std::size_t k = 0; k < motion.keys.size(); ++k) {
            MotionKey& key = motion.keys[k];
            ReadNotes::Key layout;
            for (std::int32_t c = 0; c < channels; ++c) {
                const bool read = tokens.readReal(key.value[c]);
                track(read, layout.firstValueLine, layout.lastValueLine);
                if (!read) complain(k);
            }
            auto spline = [&](bool read) {
                track(read, layout.firstSplineLine, layout.lastSplineLine);
                if (!read) complain(k);
            };
            spline(tokens.readInt(key.frame));
            spline(tokens.readInt(key.linear));
            spline(tokens.readReal(key.tension));
            spline(tokens.readReal(key.continuity));
            spline(tokens.readReal(key.bias));
            if (block) block->keys.push_back(layout);
            if (k > 0 && key.frame <= motion.keys[k - 1].frame) {
                tokens.warn("key " + std::to_string(k + 1) + " of a motion block is at frame " +
                            std::to_string(key.frame) + ", not after the key before it (" +
                            std::to_string(motion.keys[k - 1].frame) + ")");
            }
        }
        motion.lastKeyFrame = motion.keys.empty() ? 0 : motion.keys.back().frame;
    } else {
        tokens.warn(line, "motion block " + problem + "; it keeps no keys");
        allocateKeys(motion, 0, 0);
        motion.channelCount = 0;
    }

    // Whatever lies between the keys and EndBehavior is skipped (for a
    // refused block that is its keys).
    const int skipLine = tokens.position().line;
    std::size_t skipped = 0;
    for (;;) {
        const std::string_view token = tokens.nextToken();
        if (token.empty()) {
            tokens.warn(line, "motion block without EndBehavior");
            return;
        }
        if (token == "EndBehavior") break;
        ++skipped;
    }
    if (usable && skipped > 0) {
        tokens.warn(skipLine, std::to_string(skipped) + " tokens between the keys of a motion block and its EndBehavior skipped");
    }
    std::int32_t behavior = 0;
    if (!tokens.readInt(behavior)) {
        tokens.warn("EndBehavior without a value (found " + quoted(tokens.peekToken()) + ")");
        return;
    }
    motion.endBehavior = behavior;
    if (behavior < 0 || behavior > 2) {
        tokens.warn("EndBehavior " + std::to_string(behavior) + " is not 0, 1 or 2; the motion stops at its last key");
    }
}

}  // namespace

void readMotion(TokenStream& tokens, Motion& motion) { readMotionBlock(tokens, motion, false); }

void readEnvelope(TokenStream& tokens, Motion& motion) {
    const TokenStream::Position start = tokens.position();
    if (tokens.nextToken() == "(envelope)") {
        readMotionBlock(tokens, motion, true);
        return;
    }
    // A constant: the token is read again, once, as a number.
    tokens.seek(start);
    allocateKeys(motion, 1, 0);
    motion.channelCount = 1;
    if (!tokens.readReal(motion.keys[0].value[0])) {
        tokens.warn(start.line, "expected a number or (envelope), found " + quoted(tokens.peekToken()));
    }
}

void parseScene(Scene& scene, std::string_view text, std::string_view fileName,
                const ObjectLoadFunction& loadObject, Diagnostics* diagnostics, SceneSourceLines* lines) {
    scene.objects.clear();
    scene.lights.clear();
    scene.camera = SceneCamera{};
    if (lines) *lines = SceneSourceLines{};
    TokenStream tokens(text, fileName, diagnostics);
    if (lines) tokens.setNotes(&lines->reads);
    SceneParser parser(scene, tokens, loadObject, lines);
    parser.readHeader();
    tokens.seek({});
    parser.readBody();
    parser.link();
    if (scene.objects.empty() && scene.lights.empty()) {
        tokens.warn(0, "the scene holds no objects and no lights");
    }
}

bool readScene(Scene& scene, std::string_view fileName, const SceneLoadContext& context) {
    scene.objects.clear();
    scene.lights.clear();
    std::optional<Bytes> text = readDataFile(context.source, fileName, context.diagnostics);
    if (!text) {
        if (context.diagnostics) {
            const bool noArchive = !context.source.selectsArchive();
            context.diagnostics->error(fileName, 0,
                                       "scene not found on disk in " + utf8Of(context.source.directory) +
                                           (noArchive ? " (no archive selected)"
                                                      : " nor in the archive " + utf8Of(context.source.archivePath())));
        }
        return false;
    }
    const std::string_view view(reinterpret_cast<const char*>(text->data()), text->size());
    parseScene(scene, view, fileName, context.loadObject, context.diagnostics, context.lines);
    return true;
}

}  // namespace zor
