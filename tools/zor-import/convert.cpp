// The conversion proper. Order of work: names for every node, images and
// meshes (each mesh split into parts the formats can hold), the motions of
// nodes, the camera (baked to world placement: the player's camera has no
// parent), the lights, then the scene text. Every source index is checked
// again here: the readers hand on what the file said.

#include "convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include <stb_image_resize.h>

#include "motion_math.h"
#include "object/object.h"
#include "object/surface.h"
#include "readers.h"
#include "scene/scene_reader.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"
#include "writers/scene_writer.h"

namespace zor::import {
namespace {

using write::BinaryMesh;
using write::LwObject;
using write::LwsKey;
using write::LwsMotion;
using write::LwsScene;

// The object formats' limits, as the player's readers have them.
constexpr std::size_t kMaxLwobSurfaces = kSurfaceTableSize;
constexpr std::size_t kMaxBinarySurfaces = kMaxBinaryMeshSurfaces;
constexpr std::size_t kMaxSurfaceName = kMaxSurfaceNameLength;
// A vertex normal further than this from its face's normal leans: past
// rounding noise, short of the facets of a finely divided surface.
const double kSmoothCosine = std::cos(0.3 * 3.14159265358979 / 180.0);
// Faces sharing a vertex (and so its one normal) while their own normals
// differ by more than this can only be smooth.
const double kCreaseCosine = std::cos(1.0 * 3.14159265358979 / 180.0);

float linearToDisplay(float v) {
    v = std::clamp(std::isfinite(v) ? v : 0.0f, 0.0f, 1.0f);
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}
float displayToLinear(float v) {
    v = std::clamp(v, 0.0f, 1.0f);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}
std::uint8_t displayByte(float linear) {
    return static_cast<std::uint8_t>(std::lround(linearToDisplay(linear) * 255.0f));
}

// A distance for messages, in whole units.
std::string units(double d) {
    return std::to_string(static_cast<long long>(std::clamp(std::round(d), 0.0, 1e15)));
}

// ---------------------------------------------------------------- names

// Letters, digits, '_' and '-' only: no blanks (the scene is read word by
// word), no full stop (the scene cuts object names at the first one), no
// folder separators.
std::string cleanName(const std::string& name, const std::string& fallback) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '_' || c == '-') out += c;
        else if (!out.empty() && out.back() != '_') out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? fallback : out;
}

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Hands out names unique regardless of letter case (the archive's lookup
// ignores case) within a length limit, recording every change.
class NameBook {
public:
    NameBook(std::size_t limit, std::vector<std::string>& renamed) : limit_(limit), renamed_(renamed) {}

    std::string take(const std::string& source, const std::string& fallback, const std::string& kind) {
        std::string base = cleanName(source, fallback);
        if (base.size() > limit_) base.resize(limit_);
        std::string name = base;
        for (int n = 2; used_.count(lowered(name)) || write::isSceneKeyword(name); ++n) {
            const std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, std::min(base.size(), limit_ - suffix.size())) + suffix;
        }
        used_.insert(lowered(name));
        if (!source.empty() && name != source) renamed_.push_back(kind + " \"" + source + "\" -> " + name);
        return name;
    }

private:
    std::size_t limit_;
    std::set<std::string> used_;
    std::vector<std::string>& renamed_;
};

// ---------------------------------------------------------------- world placement (source space)

struct Affine {
    Mat3d m{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};  // rotation and scale
    std::array<double, 3> t{0, 0, 0};

    std::array<double, 3> apply(const Vec3& p) const {
        std::array<double, 3> r = t;
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) r[i] += m[i][k] * p[k];
        return r;
    }
};

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

// ---------------------------------------------------------------- the converter

struct NodeChannels {
    const SourceChannel* translation = nullptr;
    const SourceChannel* rotation = nullptr;
    const SourceChannel* scale = nullptr;
    bool animated() const { return translation || rotation || scale; }
};

struct Part {
    std::string file;   // "NAME.lwo" or "NAME.3d"
    std::string name;   // base name
    int points = 0;
    int polygons = 0;
};

class Converter {
public:
    Converter(const SourceModel& model, const ConvertOptions& options) : m_(model), o_(options) {}

    Conversion run() {
        if (!(o_.scale > 0) || !std::isfinite(o_.scale)) throw ImportError("the scale must be a positive number");
        for (const std::string& n : m_.notCarried) notCarried(n);
        gatherChannels();
        computeRange();
        if (sampled_) {
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
        addCamera();
        addLights();
        scene_.firstFrame = 0;
        scene_.lastFrame = lastFrame_;
        scene_.frameStep = 1;
        scene_.framesPerSecond = kImportFramesPerSecond;
        out_.firstFrame = 0;
        out_.lastFrame = lastFrame_;
        const std::string text = write::writeScene(scene_);
        out_.files.insert(out_.files.begin(), OutputFile{o_.sceneName, Bytes(text.begin(), text.end())});
        return std::move(out_);
    }

private:
    void notCarried(const std::string& what) {
        if (std::find(out_.notCarried.begin(), out_.notCarried.end(), what) == out_.notCarried.end())
            out_.notCarried.push_back(what);
    }

    // ------------------------------------------------------------ animation range

    void gatherChannels() {
        channels_.assign(m_.nodes.size(), {});
        for (const SourceChannel& c : m_.channels) {
            if (c.node < 0 || c.node >= static_cast<int>(m_.nodes.size()) || c.times.empty()) continue;
            const std::size_t width = c.path == AnimatedPath::Rotation ? 4 : 3;
            const std::size_t perTime = c.interpolation == Interpolation::CubicSpline ? 3 : 1;
            bool rising = std::isfinite(c.times.front()) && c.values.size() == c.times.size() * width * perTime;
            for (std::size_t i = 1; i < c.times.size() && rising; ++i)
                rising = std::isfinite(c.times[i]) && c.times[i] > c.times[i - 1];
            for (std::size_t i = 0; i < c.values.size() && rising; ++i) rising = std::isfinite(c.values[i]);
            if (!rising) {
                notCarried("animations whose times do not rise or whose values do not fit them");
                continue;
            }
            NodeChannels& nc = channels_[c.node];
            const SourceChannel** slot = c.path == AnimatedPath::Translation ? &nc.translation
                                         : c.path == AnimatedPath::Rotation  ? &nc.rotation
                                                                             : &nc.scale;
            if (*slot) {
                notCarried("second animations of the same property (the first is kept)");
                continue;
            }
            *slot = &c;
            if (c.interpolation != Interpolation::Linear) sampled_ = true;
        }
    }

    void computeRange() {
        float longest = 0;
        bool any = false;
        for (const NodeChannels& nc : channels_)
            for (const SourceChannel* c : {nc.translation, nc.rotation, nc.scale})
                if (c) {
                    longest = std::max(longest, c->times.back());
                    any = true;
                }
        if (!any) {
            lastFrame_ = kStillSceneFrames;
            out_.notes.push_back("no animation: the scene plays " + std::to_string(kStillSceneFrames) + " frames (10 s)");
            return;
        }
        const double frames = std::ceil(static_cast<double>(longest) * kImportFramesPerSecond - 1e-4);
        lastFrame_ = static_cast<int>(std::clamp(frames, 1.0, 1e6));
        if (frames > 1e6) notCarried("animation past 1000000 frames (cut there)");
    }

    // ------------------------------------------------------------ evaluation in source space

    Transform localAt(int node, float t) const {
        Transform x = m_.nodes[node].rest;
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

    Affine worldAt(int node, float t) const {
        Affine a = affineOf(localAt(node, t));
        int guard = 0;
        for (int p = m_.nodes[node].parent; p >= 0 && p < static_cast<int>(m_.nodes.size()) && guard < 10000;
             p = m_.nodes[p].parent, ++guard)
            a = compose(affineOf(localAt(p, t)), a);
        return a;
    }

    bool chainAnimated(int node) const {
        int guard = 0;
        for (int n = node; n >= 0 && n < static_cast<int>(m_.nodes.size()) && guard < 10000; n = m_.nodes[n].parent, ++guard)
            if (channels_[n].animated()) return true;
        return false;
    }

    // The player's position of a source-space point.
    // Coordinates that are no finite number become 0.
    std::array<float, 3> toPlayer(const std::array<double, 3>& p) const {
        std::array<float, 3> r{static_cast<float>(p[0] * o_.scale), static_cast<float>(p[1] * o_.scale),
                               static_cast<float>(-p[2] * o_.scale)};
        for (float& c : r)
            if (!std::isfinite(c)) c = 0.0f;
        return r;
    }
    std::array<float, 3> toPlayer(const Vec3& p) const {
        return toPlayer(std::array<double, 3>{p[0], p[1], p[2]});
    }

    // ------------------------------------------------------------ names

    void nameNodes() {
        NameBook& objects = objectNames_;
        nodeName_.resize(m_.nodes.size());
        for (std::size_t i = 0; i < m_.nodes.size(); ++i) {
            const SourceNode& n = m_.nodes[i];
            std::string source = n.name;
            if (source.empty() && n.mesh >= 0 && n.mesh < static_cast<int>(m_.meshes.size()))
                source = m_.meshes[n.mesh].name;
            nodeName_[i] = objects.take(source, n.mesh >= 0 ? "object" : "null", "object");
        }
    }

    // ------------------------------------------------------------ images

    // The JPEG for a material's base colour image (its factor baked in),
    // converted once per image and factor; "" when there is none.
    std::string imageFor(const SourceMaterial& material) {
        const int index = material.baseColorImage;
        if (index < 0 || index >= static_cast<int>(m_.images.size())) return {};
        const SourceImage& image = m_.images[index];
        const std::size_t pixels = static_cast<std::size_t>(std::max(image.width, 0)) * std::max(image.height, 0);
        if (pixels == 0 || image.rgba.size() != pixels * 4) {
            notCarried("images that cannot be read");
            return {};
        }
        const std::array<float, 3> factor{material.baseColor[0], material.baseColor[1], material.baseColor[2]};
        const bool additive = material.alpha == AlphaMode::Blend;
        const auto key = std::make_tuple(index, factor, additive);
        if (auto it = images_.find(key); it != images_.end()) return it->second;

        auto side = [](int s) {
            int p = kMinImageSide;
            while (p < kMaxImageSide && p * 2 <= s * 1.41421356) p *= 2;  // nearest power of two
            return p;
        };
        const int w = side(image.width), h = side(image.height);
        // Factor (and, for additive surfaces, alpha) in linear light.
        std::vector<std::uint8_t> rgb(pixels * 3);
        std::array<float, 256> toLinear;
        for (int i = 0; i < 256; ++i) toLinear[i] = displayToLinear(i / 255.0f);
        const bool plain = factor == std::array<float, 3>{1, 1, 1} && !additive;
        for (std::size_t p = 0; p < pixels; ++p) {
            const float alpha = additive ? image.rgba[p * 4 + 3] / 255.0f * material.baseColor[3] : 1.0f;
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t v = image.rgba[p * 4 + c];
                rgb[p * 3 + c] = plain ? v : displayByte(toLinear[v] * factor[c] * alpha);
            }
        }
        write::RgbImage resized(w, h);
        if (w == image.width && h == image.height) {
            resized.rgb = std::move(rgb);
        } else if (!stbir_resize_uint8(rgb.data(), image.width, image.height, 0, resized.rgb.data(), w, h, 0, 3)) {
            notCarried("images that cannot be resampled");
            return {};
        }
        if (image.hasAlpha && !additive) notCarried("image transparency (only blended materials become additive)");
        std::string source = image.name;
        // A second colouring of the same image gets a name of its own.
        const std::string name = imageNames_.take(source, "image", "image") + ".jpg";
        write::JpegOptions jpeg;
        jpeg.quality = 90;
        out_.files.push_back({name, write::encodeJpeg(resized, jpeg)});
        ++out_.images;
        if (w != image.width || h != image.height)
            out_.notes.push_back("image " + name + " resampled from " + std::to_string(image.width) + " x " +
                                 std::to_string(image.height) + " to " + std::to_string(w) + " x " + std::to_string(h));
        images_[key] = name;
        return name;
    }

    // ------------------------------------------------------------ meshes

    struct SurfaceKey {
        int material = -1;
        bool smooth = false;
        bool textured = false;
        bool lineOrPoint = false;
        bool operator<(const SurfaceKey& o) const {
            return std::tie(material, smooth, textured, lineOrPoint) <
                   std::tie(o.material, o.smooth, o.textured, o.lineOrPoint);
        }
    };

    // One polygon before parts are cut: player-space corner positions, the
    // normal to weld by, uvs (v = 0 the image's top row) and its surface.
    struct Corner {
        std::array<float, 3> position;
        std::array<float, 3> weldNormal;
        Vec2 uv;
    };
    struct Polygon {
        int surface = 0;  // index into surfaces
        std::vector<Corner> corners;
    };
    struct PlanarMap {
        int axis = 2;  // 0 X, 1 Y, 2 Z
        std::array<float, 3> size{1, 1, 1};
        std::array<float, 3> center{0, 0, 0};
    };
    struct SurfacePlan {
        SurfaceKey key;
        std::string image;                 // JPEG name when textured
        std::optional<PlanarMap> planar;   // the projection that gives the source's uvs
    };

    const SourceMaterial& materialOf(int index) const {
        static const SourceMaterial grey = [] {
            SourceMaterial m;
            m.name = "default";
            m.baseColor = {0.6f, 0.6f, 0.6f, 1.0f};
            return m;
        }();
        return index >= 0 && index < static_cast<int>(m_.materials.size()) ? m_.materials[index] : grey;
    }

    // Whether the source's normals say smooth: corners whose normal leans
    // away from their face's, or one vertex (one normal) shared by faces
    // that do not lie in one plane. Without normals a primitive is flat.
    static bool isSmooth(const SourcePrimitive& p, const std::vector<std::vector<std::uint32_t>>& faces) {
        if (p.normals.size() != p.positions.size()) return false;
        std::size_t leaning = 0, corners = 0;
        std::vector<std::array<double, 3>> firstFace(p.positions.size(), {0, 0, 0});
        bool shared = false;
        for (const auto& face : faces) {
            if (face.size() < 3) continue;
            const Vec3 &a = p.positions[face[0]], &b = p.positions[face[1]], &c = p.positions[face[2]];
            std::array<double, 3> e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            std::array<double, 3> n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
            const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (!(len > 1e-20)) continue;
            for (std::uint32_t i : face) {
                const Vec3& v = p.normals[i];
                const double vl = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
                if (!(vl > 1e-12)) continue;
                ++corners;
                if ((n[0] * v[0] + n[1] * v[1] + n[2] * v[2]) / (len * vl) < kSmoothCosine) ++leaning;
            }
            const std::array<double, 3> unit{n[0] / len, n[1] / len, n[2] / len};
            for (std::uint32_t i : face) {
                std::array<double, 3>& seen = firstFace[i];
                if (seen == std::array<double, 3>{0, 0, 0}) seen = unit;
                else if (seen[0] * unit[0] + seen[1] * unit[1] + seen[2] * unit[2] < kCreaseCosine) shared = true;
            }
        }
        return shared || (corners > 0 && leaning * 20 > corners);  // more than one corner in twenty
    }

    // A planar projection of the player's object format that gives these
    // uvs, when there is one (u and v each an affine function of one axis).
    std::optional<PlanarMap> planarFit(const std::vector<Polygon>& polygons, int surface) const {
        // Least squares of u against each coordinate and of (1 - v) against
        // each, then the pair of axes that fits exactly.
        struct Fit {
            double a = 0, b = 0, error = 1e30;
        };
        auto fit = [&](int coordinate, bool isV) {
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            std::size_t n = 0;
            for (const Polygon& p : polygons) {
                if (p.surface != surface) continue;
                for (const Corner& c : p.corners) {
                    const double x = c.position[coordinate], y = isV ? 1.0 - c.uv[1] : c.uv[0];
                    sx += x, sy += y, sxx += x * x, sxy += x * y, ++n;
                }
            }
            Fit f;
            const double d = n * sxx - sx * sx;
            if (n < 3 || !(std::abs(d) > 1e-12)) return f;
            f.a = (n * sxy - sx * sy) / d;
            f.b = (sy - f.a * sx) / n;
            f.error = 0;
            for (const Polygon& p : polygons) {
                if (p.surface != surface) continue;
                for (const Corner& c : p.corners) {
                    const double x = c.position[coordinate], y = isV ? 1.0 - c.uv[1] : c.uv[0];
                    f.error = std::max(f.error, std::abs(f.a * x + f.b - y));
                }
            }
            return f;
        };
        // Axis: (u coordinate, v coordinate) as the player's planar map reads them.
        const int uOf[3] = {2, 0, 0}, vOf[3] = {1, 2, 1};
        for (int axis : {2, 0, 1}) {
            const Fit fu = fit(uOf[axis], false), fv = fit(vOf[axis], true);
            if (fu.error > 1e-3 || fv.error > 1e-3 || !(std::abs(fu.a) > 1e-9) || !(std::abs(fv.a) > 1e-9)) continue;
            PlanarMap map;
            map.axis = axis;
            // u = (x - c) / s + 0.5 = a x + b  =>  s = 1 / a, c = (0.5 - b) / a
            map.size[uOf[axis]] = static_cast<float>(1.0 / fu.a);
            map.center[uOf[axis]] = static_cast<float>((0.5 - fu.b) / fu.a);
            map.size[vOf[axis]] = static_cast<float>(1.0 / fv.a);
            map.center[vOf[axis]] = static_cast<float>((0.5 - fv.b) / fv.a);
            return map;
        }
        return std::nullopt;
    }

    Corner corner(const SourcePrimitive& p, std::uint32_t i, const SurfaceKey& key,
                  const std::array<float, 3>& faceNormal) const {
        Corner c;
        c.position = toPlayer(p.positions[i]);
        const Vec3 normal = key.smooth ? p.normals[i] : Vec3{faceNormal[0], faceNormal[1], faceNormal[2]};
        // Quantised so that equal normals written with rounding noise still
        // weld; + 0.0f makes -0 and 0 one key.
        for (int k = 0; k < 3; ++k) {
            c.position[k] += 0.0f;
            c.weldNormal[k] = std::round(normal[k] * 1000.0f) / 1000.0f + 0.0f;
        }
        c.uv = key.textured ? p.uvs[i] : Vec2{0, 0};
        return c;
    }

    // What a material asks for that the player's surfaces cannot show.
    void noteMaterial(const SourceMaterial& material) {
        if (material.emissive[0] > 0 || material.emissive[1] > 0 || material.emissive[2] > 0)
            notCarried("emission (the player has no luminous surfaces; only blended ones are drawn additively)");
        if (material.unlit) notCarried("unlit materials (every surface is lit)");
        if (material.alpha == AlphaMode::Mask) notCarried("alpha cut-outs (MASK materials are drawn opaque)");
        if (material.alpha == AlphaMode::Blend && material.baseColorImage < 0 && material.baseColor[3] > 0.5f)
            notCarried("partly transparent colours (blended materials are drawn additively)");
    }

    // Polygons of a mesh in the player's space, with their surfaces.
    void collectPolygons(const SourceMesh& mesh, std::vector<Polygon>& polygons, std::vector<SurfacePlan>& surfaces) {
        std::map<SurfaceKey, int> surfaceIndex;
        bool splitLarge = false;
        for (const SourcePrimitive& p : mesh.primitives) {
            // Faces as index lists.
            std::vector<std::vector<std::uint32_t>> faces;
            const std::size_t n = p.indices.size();
            auto valid = [&](std::uint32_t i) { return i < p.positions.size(); };
            switch (p.mode) {
            case PrimitiveMode::Points:
                for (std::size_t i = 0; i < n; ++i) faces.push_back({p.indices[i]});
                break;
            case PrimitiveMode::Lines:
                for (std::size_t i = 0; i + 1 < n; i += 2) faces.push_back({p.indices[i], p.indices[i + 1]});
                break;
            case PrimitiveMode::Triangles:
                for (std::size_t i = 0; i + 2 < n; i += 3) faces.push_back({p.indices[i], p.indices[i + 1], p.indices[i + 2]});
                break;
            case PrimitiveMode::Polygons: {
                std::size_t at = 0;
                for (std::uint32_t size : p.polygonSizes) {
                    if (size == 0 || size > n - at) break;
                    std::vector<std::uint32_t> face(p.indices.begin() + at, p.indices.begin() + at + size);
                    at += size;
                    if (face.size() <= kMaxPolygonVertices) {
                        faces.push_back(std::move(face));
                    } else {
                        splitLarge = true;
                        for (std::size_t k = 1; k + 1 < face.size(); ++k) faces.push_back({face[0], face[k], face[k + 1]});
                    }
                }
                break;
            }
            }
            faces.erase(std::remove_if(faces.begin(), faces.end(),
                                       [&](const auto& f) { return !std::all_of(f.begin(), f.end(), valid); }),
                        faces.end());
            if (faces.empty()) continue;
            const SourceMaterial& material = materialOf(p.material);
            const bool lineOrPoint = p.mode == PrimitiveMode::Points || p.mode == PrimitiveMode::Lines;
            SurfaceKey key;
            key.material = p.material;
            key.lineOrPoint = lineOrPoint;
            key.smooth = !lineOrPoint && isSmooth(p, faces);
            std::string image;
            if (!lineOrPoint && material.baseColorImage >= 0) {
                if (p.uvs.size() == p.positions.size()) image = imageFor(material);
                else notCarried("textures on meshes without texture coordinates");
            }
            key.textured = !image.empty();
            auto [it, added] = surfaceIndex.try_emplace(key, static_cast<int>(surfaces.size()));
            if (added) {
                surfaces.push_back({key, image, std::nullopt});
                noteMaterial(material);
            }
            const int surface = it->second;
            for (const auto& face : faces) {
                Polygon polygon;
                polygon.surface = surface;
                // The face normal (source space) for flat welding.
                std::array<float, 3> faceNormal{0, 0, 0};
                if (face.size() >= 3) {
                    const Vec3 &a = p.positions[face[0]], &b = p.positions[face[1]], &c = p.positions[face.back()];
                    const std::array<double, 3> e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]},
                        e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
                    std::array<double, 3> nn{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                             e1[0] * e2[1] - e1[1] * e2[0]};
                    const double len = std::sqrt(nn[0] * nn[0] + nn[1] * nn[1] + nn[2] * nn[2]);
                    if (len > 1e-20)
                        faceNormal = {static_cast<float>(nn[0] / len), static_cast<float>(nn[1] / len),
                                      static_cast<float>(nn[2] / len)};
                }
                // The picture stays the source's (x right, y up on screen in
                // both), so the source's counter-clockwise front faces are
                // turned round to run clockwise, the player's front.
                for (auto i = face.rbegin(); i != face.rend(); ++i) {
                    Corner c = corner(p, *i, key, faceNormal);
                    polygon.corners.push_back(c);
                }
                polygons.push_back(std::move(polygon));
            }
        }
        if (splitLarge) out_.notes.push_back("polygons of more than 255 vertices were split into triangles");
        for (std::size_t s = 0; s < surfaces.size(); ++s)
            if (surfaces[s].key.textured) surfaces[s].planar = planarFit(polygons, static_cast<int>(s));
    }

    std::string surfaceName(const SurfacePlan& s, std::set<std::string>& used) const {
        std::string base = cleanName(materialOf(s.key.material).name, "surface");
        if (s.key.lineOrPoint) base += "_lines";
        if (base.size() > kMaxSurfaceName - 4) base.resize(kMaxSurfaceName - 4);
        std::string name = base;
        for (int n = 2; used.count(name); ++n) name = base + "_" + std::to_string(n);
        used.insert(name);
        return name;
    }

    // Writes the mesh of node `node` as one or more object files; returns
    // their parts in order (empty when no polygon came across).
    std::vector<Part> writeMesh(int node, const SourceMesh& mesh) {
        std::vector<Polygon> polygons;
        std::vector<SurfacePlan> surfaces;
        collectPolygons(mesh, polygons, surfaces);
        if (polygons.empty()) return {};
        bool binary = false;
        for (const SurfacePlan& s : surfaces)
            if (s.key.textured && !s.planar) binary = true;
        const std::size_t surfaceLimit = binary ? kMaxBinarySurfaces : kMaxLwobSurfaces;

        std::vector<Part> parts;
        std::size_t next = 0;
        while (next < polygons.size()) {
            // One part: as many polygons as the limits allow.
            std::unordered_map<std::string, std::uint16_t> pointOf;
            std::vector<std::array<float, 3>> points;
            std::map<int, int> surfaceOf;  // plan index -> 0-based in this part
            struct Placed {
                int surface;
                std::vector<std::uint16_t> points;
                std::vector<std::array<float, 2>> uv;
            };
            std::vector<Placed> placed;
            for (; next < polygons.size(); ++next) {
                const Polygon& p = polygons[next];
                std::vector<std::string> keys;
                std::size_t fresh = 0;
                for (const Corner& c : p.corners) {
                    std::string key(sizeof(float) * 6, '\0');
                    std::memcpy(key.data(), c.position.data(), sizeof(float) * 3);
                    std::memcpy(key.data() + sizeof(float) * 3, c.weldNormal.data(), sizeof(float) * 3);
                    if (!pointOf.count(key) && std::find(keys.begin(), keys.end(), key) == keys.end()) ++fresh;
                    keys.push_back(std::move(key));
                }
                const bool newSurface = !surfaceOf.count(p.surface);
                if (points.size() + fresh > kMaxObjectCount || placed.size() + 1 > kMaxObjectCount ||
                    (newSurface && surfaceOf.size() + 1 > surfaceLimit))
                    break;
                if (newSurface) surfaceOf[p.surface] = static_cast<int>(surfaceOf.size());
                Placed q;
                q.surface = surfaceOf[p.surface];
                for (std::size_t k = 0; k < p.corners.size(); ++k) {
                    auto [it, added] = pointOf.try_emplace(keys[k], static_cast<std::uint16_t>(points.size()));
                    if (added) points.push_back(p.corners[k].position);
                    q.points.push_back(it->second);
                    q.uv.push_back({p.corners[k].uv[0], p.corners[k].uv[1]});
                }
                placed.push_back(std::move(q));
            }
            if (placed.empty()) break;  // cannot happen: one polygon always fits an empty part

            Part part;
            part.name = parts.empty() ? nodeName_[node] : objectNames_.take("", nodeName_[node] + "_" + std::to_string(parts.size() + 1), "part");
            part.points = static_cast<int>(points.size());
            part.polygons = static_cast<int>(placed.size());
            // Surfaces of this part in their local order.
            std::vector<int> planOf(surfaceOf.size());
            for (auto [plan, local] : surfaceOf) planOf[local] = plan;
            std::set<std::string> usedNames;
            if (binary) {
                BinaryMesh b;
                b.points = points;
                for (int plan : planOf) {
                    const SurfacePlan& s = surfaces[plan];
                    const SourceMaterial& mat = materialOf(s.key.material);
                    write::BinarySurface bs;
                    bs.flags = s.key.textured ? write::binTextured : write::binFlat;
                    if (s.key.smooth) bs.flags |= write::binSmooth;
                    if (mat.doubleSided || s.key.lineOrPoint) bs.flags |= write::binDoubleSided;
                    if (mat.alpha == AlphaMode::Blend) bs.flags |= write::binTransparent;
                    for (int c = 0; c < 3; ++c) bs.color[c] = linearToDisplay(mat.baseColor[c]);
                    if (s.key.textured) bs.texture = s.image.substr(0, s.image.size() - 4);
                    b.surfaces.push_back(bs);
                }
                for (const Placed& q : placed) {
                    write::BinaryPolygon bp;
                    bp.surface = static_cast<std::int16_t>(q.surface + 1);
                    bp.points = q.points;
                    bp.uv = q.uv;
                    b.polygons.push_back(std::move(bp));
                }
                part.file = part.name + ".3d";
                out_.files.push_back({part.file, write::writeBinaryMesh(b)});
            } else {
                LwObject lw;
                lw.points = points;
                for (int plan : planOf) {
                    const SurfacePlan& s = surfaces[plan];
                    const SourceMaterial& mat = materialOf(s.key.material);
                    write::LwSurface ls;
                    ls.name = surfaceName(s, usedNames);
                    for (int c = 0; c < 3; ++c) ls.color[c] = displayByte(mat.baseColor[c]);
                    if (s.key.smooth) ls.flags |= write::lwSmoothing;
                    if (mat.doubleSided || s.key.lineOrPoint) ls.flags |= write::lwDoubleSided;
                    if (mat.alpha == AlphaMode::Blend) ls.transparency = 1.0f;
                    if (s.key.textured && s.planar) {
                        write::LwTextureMap map;
                        map.mapping = "Planar Image Map";
                        map.image = s.image;
                        map.axisFlags = static_cast<std::uint16_t>(1u << s.planar->axis);
                        map.size = s.planar->size;
                        map.center = s.planar->center;
                        ls.texture = map;
                    }
                    lw.surfaces.push_back(std::move(ls));
                }
                for (const Placed& q : placed) lw.polygons.push_back({q.points, static_cast<std::uint16_t>(q.surface + 1)});
                part.file = part.name + ".lwo";
                out_.files.push_back({part.file, write::writeLwob(lw)});
            }
            parts.push_back(part);
        }
        if (parts.size() > 1)
            out_.notes.push_back("mesh of " + nodeName_[node] + " split into " + std::to_string(parts.size()) +
                                 " objects (the formats hold 65535 points and polygons and " +
                                 std::to_string(surfaceLimit) + " surfaces)");
        return parts;
    }

    // ------------------------------------------------------------ motions

    // Key frames for a node: at every source key (rounded to whole frames)
    // for linear channels, every frame for stepped or cubic ones.
    std::vector<int> keyFrames(const std::vector<const SourceChannel*>& channels, bool& everyFrame) const {
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
                const double at = std::clamp(static_cast<double>(t) * kImportFramesPerSecond, 0.0,
                                             static_cast<double>(lastFrame_));
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

    static float timeOf(int frame) { return static_cast<float>(frame / static_cast<double>(kImportFramesPerSecond)); }

    // A key of the player's motion from a placement in the player's space.
    static LwsKey keyOf(int frame, const std::array<float, 3>& position, const Mat3d& rotation, const Vec3& scale,
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
    static void dropStraightKeys(std::vector<LwsKey>& keys) {
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
    // angles strays from the source's rotation (slerp) by more than a
    // tenth of a degree.
    template <class Sample>
    void refineRotations(std::vector<LwsKey>& keys, const Sample& sample) {
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

    LwsMotion nodeMotion(int node) {
        const NodeChannels& c = channels_[node];
        auto sample = [&](int frame, std::array<double, 3>& previous) {
            const Transform x = localAt(node, timeOf(frame));
            return keyOf(frame, toPlayer(x.translation), mirrored(matrixOf(x.rotation)), x.scale, previous);
        };
        bool everyFrame = false;
        const std::vector<int> frames = keyFrames({c.translation, c.rotation, c.scale}, everyFrame);
        return buildMotion(frames, everyFrame, sample);
    }

    template <class Sample>
    LwsMotion buildMotion(const std::vector<int>& frames, bool everyFrame, const Sample& sample) {
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

    // ------------------------------------------------------------ objects

    void addNodeObject(int node) {
        const SourceNode& n = m_.nodes[node];
        write::LwsObject object;
        object.motion = nodeMotion(node);
        const int parent = n.parent >= 0 && n.parent < node ? objectIndex_[n.parent] : 0;
        object.parent = parent;
        std::vector<Part> parts;
        if (n.mesh >= 0 && n.mesh < static_cast<int>(m_.meshes.size())) parts = writeMesh(node, m_.meshes[n.mesh]);
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
            const bool uniform = std::abs(s[0] - s[1]) < 1e-4f * std::abs(s[0]) && std::abs(s[0] - s[2]) < 1e-4f * std::abs(s[0]);
            const Quat& q = n.rest.rotation;
            const bool rotated = std::abs(q[3]) < 0.99999f || channels_[node].rotation;
            if ((!uniform || channels_[n.parent].scale) && rotated)
                notCarried("non-uniform scale of a parent above a rotated child (applied along the child's own axes)");
        }
    }

    // ------------------------------------------------------------ camera

    // Bounds of all geometry at frame 0, in the player's space.
    bool sceneBounds(std::array<double, 3>& low, std::array<double, 3>& high) const {
        bool any = false;
        low = {1e300, 1e300, 1e300};
        high = {-1e300, -1e300, -1e300};
        for (std::size_t i = 0; i < m_.nodes.size(); ++i) {
            const int mesh = m_.nodes[i].mesh;
            if (mesh < 0 || mesh >= static_cast<int>(m_.meshes.size())) continue;
            const Affine world = worldAt(static_cast<int>(i), 0.0f);
            for (const SourcePrimitive& p : m_.meshes[mesh].primitives)
                for (const Vec3& v : p.positions) {
                    const auto q = toPlayer(world.apply(v));
                    for (int c = 0; c < 3; ++c) {
                        low[c] = std::min(low[c], double(q[c]));
                        high[c] = std::max(high[c], double(q[c]));
                    }
                    any = true;
                }
        }
        return any;
    }

    void addCamera() {
        int cameraNode = -1;
        int cameras = 0;
        for (std::size_t i = 0; i < m_.nodes.size(); ++i)
            if (m_.nodes[i].camera >= 0 && m_.nodes[i].camera < static_cast<int>(m_.cameras.size())) {
                if (cameraNode < 0) cameraNode = static_cast<int>(i);
                ++cameras;
            }
        if (cameras > 1) notCarried("cameras after the first");
        std::array<double, 3> low, high;
        const bool bounded = sceneBounds(low, high);
        if (cameraNode < 0) {
            // Frame the bounds from in front (the source's +z side), the
            // whole height and width inside the fixed view.
            std::array<double, 3> centre{0, 0, 0};
            double radius = 1;
            if (bounded) {
                double r2 = 0;
                for (int c = 0; c < 3; ++c) {
                    centre[c] = (low[c] + high[c]) / 2;
                    r2 += (high[c] - low[c]) * (high[c] - low[c]) / 4;
                }
                radius = std::max(std::sqrt(r2), 1e-3);
            }
            const double halfHeight = 17.0 * 3.14159265358979 / 180.0;
            const double distance = std::max(radius / std::sin(halfHeight) * 1.05, radius + 1.5);
            LwsKey k;
            k.values = {static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                        static_cast<float>(centre[2] - distance), 0, 0, 0, 1, 1, 1};
            k.linear = true;
            scene_.camera.keys = {k};
            ++out_.keys;
            out_.notes.push_back("no camera in the source: a view framing the model was added");
            if (distance + radius > 99.0)
                out_.notes.push_back("the model is " + units(2 * radius) +
                                     " units across: the view shows only 1 to 100 units ahead, so try --scale");
            return;
        }
        const SourceCamera& camera = m_.cameras[m_.nodes[cameraNode].camera];
        if (!camera.perspective) notCarried("orthographic cameras (drawn in perspective)");
        else {
            const double degrees =
                std::isfinite(camera.yfov) ? std::clamp(camera.yfov * 180.0 / 3.14159265358979, 0.0, 180.0) : 34.0;
            if (std::abs(degrees - 34.0) > 1.0)
                notCarried("the camera's field of view (" + std::to_string(static_cast<int>(std::lround(degrees))) +
                           " degrees high; the player's view is fixed at 34 high and 45 across)");
        }
        // World placement, sampled: the player's camera has no parent.
        auto sample = [&](int frame, std::array<double, 3>& previous) {
            const Affine world = worldAt(cameraNode, timeOf(frame));
            Mat3d r = world.m;
            for (int c = 0; c < 3; ++c) {  // scale out of the axes
                const double len = std::sqrt(r[0][c] * r[0][c] + r[1][c] * r[1][c] + r[2][c] * r[2][c]);
                if (len > 1e-12)
                    for (int i = 0; i < 3; ++i) r[i][c] /= len;
            }
            return keyOf(frame, toPlayer(world.t), mirrored(r), Vec3{1, 1, 1}, previous);
        };
        std::vector<const SourceChannel*> chain;
        bool inheritsMotion = false;
        int guard = 0;
        for (int n = cameraNode; n >= 0 && n < static_cast<int>(m_.nodes.size()) && guard < 10000;
             n = m_.nodes[n].parent, ++guard) {
            chain.insert(chain.end(), {channels_[n].translation, channels_[n].rotation, channels_[n].scale});
            if (n != cameraNode && channels_[n].animated()) inheritsMotion = true;
        }
        bool everyFrame = false;
        std::vector<int> frames = keyFrames(chain, everyFrame);
        if (inheritsMotion && !everyFrame) {
            // A moving parent: its motion composed with the camera's is no
            // straight line between keys; sample every frame.
            everyFrame = true;
            const int last = frames.back();
            frames.clear();
            for (int f = 0; f <= last; ++f) frames.push_back(f);
        }
        scene_.camera = buildMotion(frames, everyFrame, sample);
        if (bounded) {
            // How far the geometry lies from the camera at frame 0.
            const auto& k = scene_.camera.keys.front();
            double far = 0;
            for (int corner = 0; corner < 8; ++corner) {
                double d2 = 0;
                for (int c = 0; c < 3; ++c) {
                    const double v = (corner >> c & 1) ? high[c] : low[c];
                    d2 += (v - k.values[c]) * (v - k.values[c]);
                }
                far = std::max(far, std::sqrt(d2));
            }
            if (far > 99.0)
                out_.notes.push_back("parts of the model lie " + units(far) +
                                     " units from the camera: the view shows only 1 to 100 units ahead, so try --scale");
        }
    }

    // ------------------------------------------------------------ lights

    void addLights() {
        std::array<double, 3> low, high;
        const bool bounded = sceneBounds(low, high);
        std::array<double, 3> centre{0, 0, 0};
        if (bounded)
            for (int c = 0; c < 3; ++c) centre[c] = (low[c] + high[c]) / 2;
        bool spotCones = false;
        for (std::size_t i = 0; i < m_.nodes.size(); ++i) {
            const int l = m_.nodes[i].light;
            if (l < 0 || l >= static_cast<int>(m_.lights.size())) continue;
            const SourceLight& source = m_.lights[l];
            write::LwsLight light;
            light.name = lightNames_.take(source.name, "light", "light");
            light.type = source.kind == LightKind::Directional ? write::LightType::Distant
                         : source.kind == LightKind::Point     ? write::LightType::Point
                                                               : write::LightType::Spot;
            for (int c = 0; c < 3; ++c) light.color[c] = displayByte(source.color[c]);
            // Directional: the intensity as it is (lux on a facing surface).
            // Point and spot: glTF's light falls off with the square of the
            // distance and the player's with the distance itself; they agree
            // at the distance from the light to the model's centre.
            double intensity = std::isfinite(source.intensity) ? std::max(0.0f, source.intensity) : 1.0;
            if (source.kind != LightKind::Directional) {
                const auto at = toPlayer(worldAt(static_cast<int>(i), 0.0f).t);
                double d2 = 0;
                for (int c = 0; c < 3; ++c) d2 += (at[c] - centre[c]) * (at[c] - centre[c]);
                intensity /= std::max(1.0, std::sqrt(d2));
                if (source.kind == LightKind::Spot) spotCones = true;
            }
            if (intensity > 8.0) {
                intensity = 8.0;
                notCarried("light intensities above 8 (limited to 8)");
            }
            light.intensity = write::LwsEnvelope::fixed(static_cast<float>(intensity));
            // Placed by its node: no motion of its own below it.
            light.parent = objectIndex_[i];
            light.motion.keys.push_back(LwsKey{0, {0, 0, 0, 0, 0, 0, 1, 1, 1}, true});
            ++out_.keys;
            scene_.lights.push_back(std::move(light));
        }
        if (spotCones) notCarried("spot cone angles (the player's spot cone is fixed)");
        if (scene_.lights.empty()) {
            write::LwsLight light;
            light.name = "default_light";
            light.type = write::LightType::Distant;
            light.motion.keys.push_back(LwsKey{0, {0, 0, 0, 30, 30, 0, 1, 1, 1}, true});
            ++out_.keys;
            scene_.lights.push_back(std::move(light));
            out_.notes.push_back("no light in the source: a white distant light from the upper left was added");
        }
        out_.lights = static_cast<int>(scene_.lights.size());
    }

    const SourceModel& m_;
    const ConvertOptions& o_;
    Conversion out_;
    LwsScene scene_;
    std::vector<NodeChannels> channels_;
    bool sampled_ = false;
    int lastFrame_ = 0;
    std::vector<std::string> nodeName_;
    NameBook objectNames_{kMaxObjectBaseName, out_.renamed};
    NameBook imageNames_{kMaxImageBaseName, out_.renamed};
    NameBook lightNames_{kMaxSurfaceName, out_.renamed};
    std::map<std::tuple<int, std::array<float, 3>, bool>, std::string> images_;
    std::vector<int> objectIndex_;  // per node: its 1-based object in the scene
    std::size_t totalPoints_ = 0;
};

}  // namespace

Conversion convertModel(const SourceModel& model, const ConvertOptions& options) {
    return Converter(model, options).run();
}

}  // namespace zor::import
