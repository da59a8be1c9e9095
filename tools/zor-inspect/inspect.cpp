#include "inspect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "frame/frame_pass.h"
#include "frame/transform.h"

namespace zor::inspect {

using Json = nlohmann::ordered_json;

Json number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    // A non-finite value has no JSON number; the library writes null for it.
    return std::strtod(text, nullptr);
}

Json text(const std::string& bytes) {
    Json value = bytes;
    try {
        static_cast<void>(value.dump());  // the library's own UTF-8 check
        return value;
    } catch (const Json::type_error&) {
    }
    std::string latin1;
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            latin1 += static_cast<char>(c);
        } else {
            latin1 += static_cast<char>(0xC0 | (c >> 6));
            latin1 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return latin1;
}

std::string dumpJson(const Json& document) {
    // Every name went through text(); replacing is the last guard.
    return document.dump(2, ' ', false, Json::error_handler_t::replace);
}

namespace {

Json numbers(const float* values, int count) {
    Json out = Json::array();
    for (int i = 0; i < count; ++i) out.push_back(number(values[i]));
    return out;
}

template <class T>
Json indexOf(const T* item, const std::vector<T>& items) {
    if (!item) return nullptr;
    return static_cast<std::int64_t>(item - items.data());
}

Json pointJson(const MeshPoint& point, bool evaluated) {
    Json p;
    p["position"] = numbers(point.position, 3);
    p["normal"] = numbers(point.normal, 3);
    if (evaluated) {
        p["cameraSpacePosition"] = numbers(point.cameraSpacePosition, 3);
        p["cameraSpaceNormal"] = numbers(point.cameraSpaceNormal, 3);
        p["light"] = {point.lightRed, point.lightGreen, point.lightBlue};
    } else {
        p["cameraSpacePosition"] = nullptr;
        p["cameraSpaceNormal"] = nullptr;
        p["light"] = nullptr;
    }
    return p;
}

Json polygonJson(const MeshPolygon& polygon) {
    Json p;
    p["flags"] = polygon.flags;
    p["vertexCount"] = polygon.vertexCount;
    p["color"] = {polygon.colorRed, polygon.colorGreen, polygon.colorBlue};
    p["pointIndices"] = polygon.pointIndices;
    Json u = Json::array(), v = Json::array();
    for (float x : polygon.u) u.push_back(number(x));
    for (float x : polygon.v) v.push_back(number(x));
    p["u"] = std::move(u);
    p["v"] = std::move(v);
    p["textureIndex"] = polygon.textureIndex;
    p["reflectionTextureIndex"] = polygon.reflectionTextureIndex;
    p["surfaceIndex"] = polygon.surfaceIndex;
    // Only polygons of three or more vertices have a face normal.
    p["faceNormal"] = polygon.vertexCount >= 3 ? numbers(polygon.faceNormal, 3) : Json(nullptr);
    return p;
}

// The name written after AddNullObject, or empty.
const std::string& nullName(const std::vector<std::string>& nullNames, std::size_t index) {
    static const std::string none;
    return index < nullNames.size() ? nullNames[index] : none;
}

// As the tree shows an object: a null by its own name, else the stored one.
std::string shownName(const Scene& scene, const std::vector<std::string>& nullNames, std::size_t index) {
    const std::string& name = nullName(nullNames, index);
    return name.empty() ? scene.objects[index].name : name + " (null)";
}

Json objectJson(const Scene& scene, std::size_t index, const std::optional<Evaluation>& evaluation,
                const std::vector<std::string>& nullNames) {
    const SceneObject& object = scene.objects[index];
    const bool visible = evaluation ? evaluation->visible[index] : isVisible(object);
    const bool transformed = evaluation && visible;
    Json o;
    o["name"] = text(object.name);
    o["parent"] = indexOf(object.parent, scene.objects);
    o["unlit"] = object.unlit != 0;
    o["pointCount"] = object.pointCount;
    o["polygonCount"] = object.polygonCount;
    o["boneCount"] = object.boneCount;
    o["hasDissolve"] = object.hasDissolve != 0;
    o["hasMorph"] = object.hasMorph != 0;
    o["visible"] = visible;
    o["motion"] = evaluation ? numbers(object.motion.value, 9) : Json(nullptr);
    o["pivot"] = numbers(object.pivot, 3);
    o["shadowOptions"] = object.shadowOptions;
    Json points = Json::array();
    for (std::size_t i = 0; i < usablePointCount(object); ++i)
        points.push_back(pointJson(object.points[i], transformed));
    o["points"] = std::move(points);
    Json polygons = Json::array();
    for (const MeshPolygon& polygon : object.polygons) polygons.push_back(polygonJson(polygon));
    o["polygons"] = std::move(polygons);
    // Numbered from 1 as the scene file counts (ParentObject, MorphTarget).
    o["number"] = index + 1;
    const std::string& named = nullName(nullNames, index);
    o["nullName"] = named.empty() ? Json(nullptr) : text(named);
    return o;
}

Json lightJson(const Scene& scene, std::size_t index, bool evaluated) {
    const SceneLight& light = scene.lights[index];
    Json l;
    l["lightType"] = light.lightType;
    l["parent"] = indexOf(light.parent, scene.objects);
    l["color"] = {light.color[0], light.color[1], light.color[2]};
    l["intensity"] = evaluated ? number(light.intensity.value[0]) : Json(nullptr);
    l["lensFlare"] = light.lensFlare;
    l["viewPosition"] = evaluated ? numbers(light.viewPosition, 3) : Json(nullptr);
    l["viewDirection"] = evaluated ? numbers(light.viewDirection, 3) : Json(nullptr);
    l["number"] = index + 1;
    return l;
}

const char* lightTypeName(int type) {
    switch (type) {
        case 0: return "distant";
        case 1: return "point";
        case 2: return "spot";
        default: return "unknown";
    }
}

// Indentation grows for this many levels; deeper lines carry their level.
constexpr std::size_t kIndentedLevels = 32;

void printObjectLine(std::ostream& out, const Scene& scene, std::size_t i, std::size_t depth,
                     const std::optional<Evaluation>& evaluation, const std::vector<std::string>& nullNames) {
    const SceneObject& o = scene.objects[i];
    out << std::string(2 * (std::min(depth, kIndentedLevels) + 1), ' ');
    if (depth > kIndentedLevels) out << "(level " << depth << ") ";
    out << '[' << i + 1 << "] " << shownName(scene, nullNames, i) << ": " << o.pointCount << " points, " << o.polygonCount << " polygons";
    if (o.boneCount) out << ", " << o.boneCount << " bones";
    if (o.hasMorph) out << ", morph";
    if (o.hasDissolve) out << ", dissolve";
    if (o.unlit) out << ", unlit";
    if (o.shadowOptions & 2) out << ", casts shadows";
    if (evaluation) {
        out << (evaluation->visible[i] ? "" : ", hidden") << " at (" << o.motion.value[0] << ", "
            << o.motion.value[1] << ", " << o.motion.value[2] << ')';
    }
    out << '\n';
}

// The objects as a tree, each under its parent, siblings in array order.
// Walked with a stack of its own, so the depth of the hierarchy costs no
// call depth, and every object is visited once.
void printTree(std::ostream& out, const Scene& scene, const std::optional<Evaluation>& evaluation,
               const std::vector<std::string>& nullNames) {
    const std::size_t count = scene.objects.size();
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    // Children lists, each in reverse array order so that the stack pops
    // them in array order.
    std::vector<std::size_t> firstChild(count, kNone), nextSibling(count, kNone), roots;
    for (std::size_t i = 0; i < count; ++i) {
        const SceneObject* parent = scene.objects[i].parent;
        if (!parent) {
            roots.push_back(i);
            continue;
        }
        const auto p = static_cast<std::size_t>(parent - scene.objects.data());
        nextSibling[i] = firstChild[p];
        firstChild[p] = i;
    }
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // object, depth
    for (std::size_t root : roots) {
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            const auto [i, depth] = stack.back();
            stack.pop_back();
            printObjectLine(out, scene, i, depth, evaluation, nullNames);
            for (std::size_t child = firstChild[i]; child != kNone; child = nextSibling[child])
                stack.emplace_back(child, depth + 1);
        }
    }
}

}  // namespace

Json toJson(const Scene& scene, const std::vector<std::string>& textures, const std::optional<Evaluation>& evaluation,
            const std::vector<std::string>& nullNames) {
    Json doc;
    doc["scene"] = {{"firstFrame", scene.firstFrame},
                    {"lastFrame", scene.lastFrame},
                    {"frameStep", scene.frameStep},
                    {"framesPerSecond", number(scene.framesPerSecond)}};
    doc["frame"] = evaluation ? number(evaluation->frame) : Json(nullptr);
    if (evaluation) {
        doc["camera"] = {{"viewRotation", numbers(evaluation->view.viewRotation.data(), 9)},
                         {"cameraPosition", numbers(evaluation->view.cameraPosition.data(), 3)}};
    } else {
        doc["camera"] = {{"viewRotation", nullptr}, {"cameraPosition", nullptr}};
    }
    Json names = Json::array();
    for (const std::string& name : textures) names.push_back(text(name));
    doc["textures"] = std::move(names);
    Json lights = Json::array();
    for (std::size_t i = 0; i < scene.lights.size(); ++i) lights.push_back(lightJson(scene, i, evaluation.has_value()));
    doc["lights"] = std::move(lights);
    Json objects = Json::array();
    for (std::size_t i = 0; i < scene.objects.size(); ++i) objects.push_back(objectJson(scene, i, evaluation, nullNames));
    doc["objects"] = std::move(objects);
    return doc;
}

void printSummary(std::ostream& out, const Scene& scene, const std::vector<std::string>& textures,
                  const std::optional<Evaluation>& evaluation, const std::vector<std::string>& nullNames) {
    out << "frames " << scene.firstFrame << " to " << scene.lastFrame << ", step " << scene.frameStep << ", "
        << scene.framesPerSecond << " frames per second\n";
    if (evaluation) {
        const Vec3& c = evaluation->view.cameraPosition;
        out << "at frame " << evaluation->frame << ": camera at (" << c[0] << ", " << c[1] << ", " << c[2] << ")\n";
    }
    std::size_t points = 0, polygons = 0, bones = 0;
    for (const SceneObject& o : scene.objects) {
        points += o.pointCount;
        polygons += o.polygonCount;
        bones += o.boneCount;
    }
    out << scene.objects.size() << " objects (" << points << " points, " << polygons << " polygons, " << bones
        << " bones)\n";
    printTree(out, scene, evaluation, nullNames);
    out << scene.lights.size() << " lights\n";
    for (std::size_t i = 0; i < scene.lights.size(); ++i) {
        const SceneLight& l = scene.lights[i];
        out << "  [" << i + 1 << "] " << lightTypeName(l.lightType) << ", colour (" << l.color[0] << ", " << l.color[1]
            << ", " << l.color[2] << ")";
        if (l.parent) {
            const auto parent = static_cast<std::size_t>(l.parent - scene.objects.data());
            out << ", parent [" << parent + 1 << "] " << shownName(scene, nullNames, parent);
        }
        if (l.lensFlare) out << ", lens flare";
        if (evaluation) out << ", intensity " << l.intensity.value[0];
        out << '\n';
    }
    out << textures.size() << " textures (numbered from 0, as the polygons' textureIndex)\n";
    for (std::size_t i = 0; i < textures.size(); ++i) out << "  [" << i << "] " << textures[i] << '\n';
}

}  // namespace zor::inspect
