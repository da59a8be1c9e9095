#include "writers/scene_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace zor::write {
namespace {

// Tokens the reader acts on wherever they appear; a name equal to one of them
// would be taken for a keyword.
constexpr std::string_view kKeywords[] = {
    "AddNullObject", "LoadObject", "ObjectMotion", "ParentObject", "BoneFalloffType", "PivotPoint",
    "ObjDissolve", "Metamorph", "MorphTarget", "ShadowOptions", "AddBone", "BoneActive",
    "BoneRestPosition", "BoneRestDirection", "BoneStrength", "BoneMotion", "BoneLimitedRange",
    "BoneMinRange", "BoneMaxRange", "ScaleBoneStrength", "BoneRestLength", "AddLight", "LightMotion",
    "LightType", "LensFlare", "LightColor", "LgtIntensity", "FlareIntensity", "ZoomFactor",
    "CameraMotion", "EndBehavior", "PreviewFirstFrame", "PreviewLastFrame", "PreviewFrameStep",
    "FramesPerSecond", "(envelope)"};

}  // namespace

bool isSceneKeyword(std::string_view name) {
    return std::find(std::begin(kKeywords), std::end(kKeywords), name) != std::end(kKeywords);
}

namespace {

void checkName(const std::string& name, const char* what) {
    if (name.empty()) throw std::invalid_argument(std::string("scene: empty ") + what + " name");
    for (char c : name)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            throw std::invalid_argument(std::string("scene: ") + what + " name '" + name + "' has blanks");
    if (isSceneKeyword(name))
        throw std::invalid_argument(std::string("scene: ") + what + " name '" + name + "' is a keyword");
}

void checkMotion(const LwsMotion& m, const std::string& owner) {
    if (m.channels < 1 || m.channels > 9) throw std::invalid_argument("scene: " + owner + ": channel count");
    if (m.keys.empty()) throw std::invalid_argument("scene: " + owner + ": motion without keys");
    for (std::size_t i = 1; i < m.keys.size(); ++i)
        if (m.keys[i].frame <= m.keys[i - 1].frame)
            throw std::invalid_argument("scene: " + owner + ": key frames must rise");
    if (m.end == EndBehavior::Repeat && m.keys.size() > 1 && m.keys.back().frame <= 0)
        throw std::invalid_argument("scene: " + owner + ": repeat needs a last key after frame 0");
}

class Text {
public:
    void line(const std::string& s) { text_ += s + "\n"; }
    void keyword(const char* key, const std::string& rest) { line(std::string(key) + " " + rest); }
    std::string& str() { return text_; }

private:
    std::string text_;
};

std::string num(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    return buf;
}

std::string vec(const std::array<float, 3>& v) { return num(v[0]) + " " + num(v[1]) + " " + num(v[2]); }

void writeMotionBody(Text& out, const LwsMotion& m) {
    out.line("  " + std::to_string(m.channels));
    out.line("  " + std::to_string(m.keys.size()));
    for (const LwsKey& k : m.keys) {
        std::string values = " ";
        for (int c = 0; c < m.channels; ++c) values += " " + num(k.values[c]);
        out.line(values);
        out.line("  " + std::to_string(k.frame) + " " + (k.linear ? "1" : "0") + " " + num(k.tension) + " " +
                 num(k.continuity) + " " + num(k.bias));
    }
    out.line("EndBehavior " + std::to_string(static_cast<int>(m.end)));
}

void writeMotion(Text& out, const char* keyword, const LwsMotion& m) {
    out.keyword(keyword, "(unnamed)");
    writeMotionBody(out, m);
}

void writeEnvelope(Text& out, const char* keyword, const LwsEnvelope& e, const std::string& owner) {
    if (e.curve.keys.empty()) {
        out.keyword(keyword, num(e.constant));
        return;
    }
    if (e.curve.channels != 1) throw std::invalid_argument("scene: " + owner + ": envelope with several channels");
    checkMotion(e.curve, owner);
    out.keyword(keyword, "(envelope)");
    writeMotionBody(out, e.curve);
}

// Objects are numbered from 1 after `before` objects that are already there
// (and that no new object can be the parent of).
void checkParents(const LwsScene& scene, int before) {
    const int n = before + static_cast<int>(scene.objects.size());
    for (int i = 0; i < static_cast<int>(scene.objects.size()); ++i) {
        const LwsObject& o = scene.objects[i];
        if (o.parent < 0 || o.parent > n) throw std::invalid_argument("scene: object parent out of range");
        if (o.morphTarget < 0 || o.morphTarget > n) throw std::invalid_argument("scene: morph target out of range");
        // Walk up at most n steps: a longer walk means a cycle.
        int steps = 0;
        for (int p = o.parent; p > before; p = scene.objects[p - 1 - before].parent)
            if (++steps > n) throw std::invalid_argument("scene: object parents form a cycle");
        const int bones = static_cast<int>(o.bones.size());
        for (int b = 0; b < bones; ++b) {
            int parent = o.bones[b].parent;
            // Bones name earlier bones only, so chains are prepared from their roots.
            if (parent < 0 || parent > b) throw std::invalid_argument("scene: bone parent must be an earlier bone");
        }
    }
    for (const LwsLight& l : scene.lights)
        if (l.parent < 0 || l.parent > n) throw std::invalid_argument("scene: light parent out of range");
}

void writeBone(Text& out, const LwsBone& b) {
    checkName(b.name, "bone");
    checkMotion(b.motion, "bone " + b.name);
    out.line("AddBone");
    out.line("BoneActive 1");
    out.keyword("BoneRestPosition", vec(b.restPosition));
    out.keyword("BoneRestDirection", vec(b.restDirection));
    out.keyword("BoneRestLength", num(b.restLength));
    out.keyword("ScaleBoneStrength", b.scaleStrength ? "1" : "0");
    out.keyword("BoneStrength", num(b.strength));
    if (b.limitedRange) {
        out.line("BoneLimitedRange");
        out.keyword("BoneMinRange", num(b.minRange));
        out.keyword("BoneMaxRange", num(b.maxRange));
    }
    if (b.parent != 0) out.keyword("ParentObject", std::to_string(b.parent));
    writeMotion(out, "BoneMotion", b.motion);
}

void writeObject(Text& out, const LwsObject& o) {
    std::string owner = o.file.empty() ? o.nullName : o.file;
    if (o.file.empty()) {
        checkName(o.nullName, "null object");
        out.keyword("AddNullObject", o.nullName);
    } else {
        checkName(o.file, "object file");
        out.keyword("LoadObject", o.file);
    }
    checkMotion(o.motion, owner);
    writeMotion(out, "ObjectMotion", o.motion);
    if (o.parent != 0) out.keyword("ParentObject", std::to_string(o.parent));
    if (o.pivot != std::array<float, 3>{}) out.keyword("PivotPoint", vec(o.pivot));
    if (o.dissolve) writeEnvelope(out, "ObjDissolve", *o.dissolve, owner);
    if (o.metamorph) writeEnvelope(out, "Metamorph", *o.metamorph, owner);
    if (o.morphTarget != 0) out.keyword("MorphTarget", std::to_string(o.morphTarget));
    if (!o.bones.empty()) out.keyword("BoneFalloffType", std::to_string(o.boneFalloff));
    for (const LwsBone& b : o.bones) writeBone(out, b);
    out.keyword("ShadowOptions", std::to_string(o.shadowOptions));
    out.line("");
}

void writeLight(Text& out, const LwsLight& l) {
    checkName(l.name, "light");
    checkMotion(l.motion, "light " + l.name);
    out.line("AddLight");
    writeMotion(out, "LightMotion", l.motion);
    if (l.parent != 0) out.keyword("ParentObject", std::to_string(l.parent));
    for (int c : l.color)
        if (c < 0 || c > 255) throw std::invalid_argument("scene: light " + l.name + ": colour outside 0..255");
    out.keyword("LightColor",
                std::to_string(l.color[0]) + " " + std::to_string(l.color[1]) + " " + std::to_string(l.color[2]));
    writeEnvelope(out, "LgtIntensity", l.intensity, "light " + l.name);
    out.keyword("LightType", std::to_string(static_cast<int>(l.type)));
    if (l.lensFlare) {
        out.line("LensFlare 1");
        if (l.flareIntensity) writeEnvelope(out, "FlareIntensity", *l.flareIntensity, "light " + l.name);
    }
    out.line("");
}

void writeItems(Text& out, const LwsScene& scene) {
    for (const LwsObject& o : scene.objects) writeObject(out, o);
    for (const LwsLight& l : scene.lights) writeLight(out, l);
}

}  // namespace

std::string writeScene(const LwsScene& scene) {
    if (scene.lastFrame < scene.firstFrame) throw std::invalid_argument("scene: last frame before first frame");
    checkParents(scene, 0);
    checkMotion(scene.camera, "camera");
    Text out;
    out.line("LWSC");
    out.line("1");
    out.line("");
    out.keyword("PreviewFirstFrame", std::to_string(scene.firstFrame));
    out.keyword("PreviewLastFrame", std::to_string(scene.lastFrame));
    out.keyword("PreviewFrameStep", std::to_string(scene.frameStep));
    out.keyword("FramesPerSecond", num(scene.framesPerSecond));
    out.line("");
    writeItems(out, scene);
    writeMotion(out, "CameraMotion", scene.camera);
    if (scene.zoom) writeEnvelope(out, "ZoomFactor", *scene.zoom, "camera");
    return std::move(out.str());
}

std::string writeSceneItems(const LwsScene& items, int existingObjects) {
    if (existingObjects < 0) throw std::invalid_argument("scene: negative object count");
    checkParents(items, existingObjects);
    Text out;
    writeItems(out, items);
    return std::move(out.str());
}

}  // namespace zor::write
