#include "import/meshes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "import/motions.h"
#include "object/object.h"
#include "object/surface.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"

namespace zor::import {
namespace {

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

// Whether the source's normals say smooth: corners whose normal leans away
// from their face's, or one vertex (one normal) shared by faces that do not
// lie in one plane. Without normals a primitive is flat.
bool isSmooth(const SourcePrimitive& p, const std::vector<std::vector<std::uint32_t>>& faces) {
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

}  // namespace

bool MeshWriter::SurfaceKey::operator<(const SurfaceKey& o) const {
    return std::tie(material, smooth, textured, lineOrPoint) < std::tie(o.material, o.smooth, o.textured, o.lineOrPoint);
}

const SourceMaterial& MeshWriter::materialOf(int index) const {
    static const SourceMaterial grey = [] {
        SourceMaterial m;
        m.name = "default";
        m.baseColor = {0.6f, 0.6f, 0.6f, 1.0f};
        return m;
    }();
    return index >= 0 && index < static_cast<int>(model_.materials.size()) ? model_.materials[index] : grey;
}

Corner MeshWriter::corner(const SourcePrimitive& p, std::uint32_t i, const SurfaceKey& key,
                          const std::array<float, 3>& faceNormal, int morphTarget) const {
    Corner c;
    c.position = toPlayer(p.positions[i], scale_);
    const Vec3 normal = key.smooth ? p.normals[i] : Vec3{faceNormal[0], faceNormal[1], faceNormal[2]};
    // Quantised so that equal normals written with rounding noise still
    // weld; + 0.0f makes -0 and 0 one key.
    for (int k = 0; k < 3; ++k) {
        c.position[k] += 0.0f;
        c.weldNormal[k] = std::round(normal[k] * 1000.0f) / 1000.0f + 0.0f;
    }
    c.uv = key.textured ? p.uvs[i] : Vec2{0, 0};
    if (morphTarget >= 0 && static_cast<std::size_t>(morphTarget) < p.targets.size() &&
        p.targets[morphTarget].size() == p.positions.size()) {
        c.morph = toPlayer(p.targets[morphTarget][i], scale_);
        for (float& m : c.morph) m += 0.0f;
    }
    return c;
}

// What a material asks for that the player's surfaces cannot show.
void MeshWriter::noteMaterial(const SourceMaterial& material) {
    if (material.emissive[0] > 0 || material.emissive[1] > 0 || material.emissive[2] > 0)
        out_.addNotCarried("emission (the player has no luminous surfaces; only blended ones are drawn additively)");
    if (material.unlit) out_.addNotCarried("unlit materials (every surface is lit)");
    if (material.alpha == AlphaMode::Mask) out_.addNotCarried("alpha cut-outs (MASK materials are drawn opaque)");
    if (material.alpha == AlphaMode::Blend && material.baseColorImage < 0 && material.baseColor[3] > 0.5f)
        out_.addNotCarried("partly transparent colours (blended materials are drawn additively)");
}

// Polygons of a mesh in the player's space, with their surfaces.
void MeshWriter::collectPolygons(const SourceMesh& mesh, int morphTarget, std::vector<Polygon>& polygons,
                                 std::vector<SurfacePlan>& surfaces) {
    std::map<SurfaceKey, int> surfaceIndex;
    bool splitLarge = false;
    for (const SourcePrimitive& p : mesh.primitives) {
        // Faces as index lists; polygons beyond the player's limit as fans.
        std::vector<std::vector<std::uint32_t>> faces;
        auto valid = [&](std::uint32_t i) { return i < p.positions.size(); };
        for (std::vector<std::uint32_t>& face : facesOf(p)) {
            if (face.size() <= kMaxPolygonVertices) {
                faces.push_back(std::move(face));
            } else {
                splitLarge = true;
                for (std::size_t k = 1; k + 1 < face.size(); ++k) faces.push_back({face[0], face[k], face[k + 1]});
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
            if (p.uvs.size() == p.positions.size()) image = images_.imageFor(material);
            else out_.addNotCarried("textures on meshes without texture coordinates");
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
            // both), so the source's counter-clockwise front faces are turned
            // round to run clockwise, the player's front.
            for (auto i = face.rbegin(); i != face.rend(); ++i)
                polygon.corners.push_back(corner(p, *i, key, faceNormal, morphTarget));
            polygons.push_back(std::move(polygon));
        }
    }
    if (splitLarge) out_.notes.push_back("polygons of more than 255 vertices were split into triangles");
    for (std::size_t s = 0; s < surfaces.size(); ++s)
        if (surfaces[s].key.textured) surfaces[s].planar = planarFit(polygons, static_cast<int>(s));
}

std::string MeshWriter::surfaceName(const SurfacePlan& s, std::set<std::string>& used) const {
    std::string base = cleanName(materialOf(s.key.material).name, "surface");
    if (s.key.lineOrPoint) base += "_lines";
    if (base.size() > kMaxSurfaceName - 4) base.resize(kMaxSurfaceName - 4);
    std::string name = base;
    for (int n = 2; used.count(name); ++n) name = base + "_" + std::to_string(n);
    used.insert(name);
    return name;
}

std::vector<Part> MeshWriter::write(const std::string& nodeName, const SourceMesh& mesh, int morphTarget) {
    std::vector<Polygon> polygons;
    std::vector<SurfacePlan> surfaces;
    collectPolygons(mesh, morphTarget, polygons, surfaces);
    if (polygons.empty()) return {};
    bool binary = false;
    for (const SurfacePlan& s : surfaces)
        if (s.key.textured && !s.planar) binary = true;
    const std::size_t surfaceLimit = binary ? kMaxBinarySurfaces : kMaxLwobSurfaces;
    // Points weld where position and normal agree, and with a morph target
    // where its offset agrees too.
    const std::size_t keyFloats = morphTarget >= 0 ? 9 : 6;

    std::vector<Part> parts;
    std::size_t next = 0;
    while (next < polygons.size()) {
        // One part: as many polygons as the limits allow.
        std::unordered_map<std::string, std::uint16_t> pointOf;
        std::vector<std::array<float, 3>> points, morphs;
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
                std::string key(sizeof(float) * keyFloats, '\0');
                std::memcpy(key.data(), c.position.data(), sizeof(float) * 3);
                std::memcpy(key.data() + sizeof(float) * 3, c.weldNormal.data(), sizeof(float) * 3);
                if (keyFloats == 9) std::memcpy(key.data() + sizeof(float) * 6, c.morph.data(), sizeof(float) * 3);
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
                if (added) {
                    points.push_back(p.corners[k].position);
                    morphs.push_back(p.corners[k].morph);
                }
                q.points.push_back(it->second);
                q.uv.push_back({p.corners[k].uv[0], p.corners[k].uv[1]});
            }
            placed.push_back(std::move(q));
        }
        if (placed.empty()) break;  // cannot happen: one polygon always fits an empty part

        Part part;
        part.name = parts.empty() ? nodeName
                                  : objectNames_.take("", nodeName + "_" + std::to_string(parts.size() + 1), "part");
        part.points = static_cast<int>(points.size());
        part.polygons = static_cast<int>(placed.size());
        // Surfaces of this part in their local order.
        std::vector<int> planOf(surfaceOf.size());
        for (auto [plan, local] : surfaceOf) planOf[local] = plan;
        // The part's object file under `name` with these points.
        auto emit = [&](const std::string& name, const std::vector<std::array<float, 3>>& at) {
            std::set<std::string> usedNames;
            if (binary) {
                write::BinaryMesh b;
                b.points = at;
                for (int plan : planOf) {
                    const SurfacePlan& s = surfaces[plan];
                    const SourceMaterial& mat = materialOf(s.key.material);
                    write::BinarySurface bs;
                    bs.flags = s.key.textured ? write::binTextured : write::binFlat;
                    if (s.key.smooth) bs.flags |= write::binSmooth;
                    if (mat.doubleSided || doubleSided_ || s.key.lineOrPoint) bs.flags |= write::binDoubleSided;
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
                out_.files.push_back({name + ".3d", write::writeBinaryMesh(b)});
                return name + ".3d";
            }
            write::LwObject lw;
            lw.points = at;
            for (int plan : planOf) {
                const SurfacePlan& s = surfaces[plan];
                const SourceMaterial& mat = materialOf(s.key.material);
                write::LwSurface ls;
                ls.name = surfaceName(s, usedNames);
                for (int c = 0; c < 3; ++c) ls.color[c] = displayByte(mat.baseColor[c]);
                if (s.key.smooth) ls.flags |= write::lwSmoothing;
                if (mat.doubleSided || doubleSided_ || s.key.lineOrPoint) ls.flags |= write::lwDoubleSided;
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
            out_.files.push_back({name + ".lwo", write::writeLwob(lw)});
            return name + ".lwo";
        };
        part.file = emit(part.name, points);
        if (morphTarget >= 0) {
            std::vector<std::array<float, 3>> shaped = points;
            for (std::size_t i = 0; i < shaped.size(); ++i)
                for (int c = 0; c < 3; ++c) shaped[i][c] += morphs[i][c];
            part.morphFile = emit(objectNames_.take("", part.name + "_morph", "morph"), shaped);
        }
        parts.push_back(part);
    }
    if (parts.size() > 1)
        out_.notes.push_back("mesh of " + nodeName + " split into " + std::to_string(parts.size()) +
                             " objects (the formats hold 65535 points and polygons and " +
                             std::to_string(surfaceLimit) + " surfaces)");
    return parts;
}

}  // namespace zor::import
