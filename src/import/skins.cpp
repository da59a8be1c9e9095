#include "import/skins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace zor::import {
namespace {

// A weight this close to 1 counts as whole: weights are often stored as
// bytes or halves that do not sum exactly.
constexpr float kWholeWeight = 0.999f;

// The strongest influence of a vertex: the joint of the largest weight
// (the first of equals), and that weight.
std::pair<int, float> strongest(const SourcePrimitive& p, std::size_t vertex, std::size_t joints) {
    int joint = -1;
    float weight = 0;
    float total = 0;
    for (int k = 0; k < p.influences; ++k) {
        const std::size_t at = vertex * static_cast<std::size_t>(p.influences) + k;
        const float w = p.weights[at];
        if (!(w > 0) || p.joints[at] >= joints) continue;
        total += w;
        if (w > weight) {
            weight = w;
            joint = static_cast<int>(p.joints[at]);
        }
    }
    // Weights that do not sum to 1 are read as their shares of the sum.
    return {joint, total > 0 ? weight / total : 0.0f};
}

Vec3 transformPoint(const std::array<float, 16>& m, const Vec3& p) {
    Vec3 r;
    for (int i = 0; i < 3; ++i)
        r[i] = static_cast<float>(double(m[i]) * p[0] + double(m[4 + i]) * p[1] + double(m[8 + i]) * p[2] + m[12 + i]);
    return r;
}

// Normals go through the inverse transpose of the matrix's linear part (its
// cofactors, up to a factor the normalisation removes).
Vec3 transformNormal(const std::array<float, 16>& m, const Vec3& n) {
    auto a = [&](int row, int column) { return double(m[column * 4 + row]); };
    double c[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            c[i][j] = a(i1, j1) * a(i2, j2) - a(i1, j2) * a(i2, j1);
        }
    double r[3];
    for (int i = 0; i < 3; ++i) r[i] = c[i][0] * n[0] + c[i][1] * n[1] + c[i][2] * n[2];
    const double len = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    if (!(len > 1e-20)) return n;
    return {static_cast<float>(r[0] / len), static_cast<float>(r[1] / len), static_cast<float>(r[2] / len)};
}

}  // namespace

RigidSplit splitSkinnedMesh(const SourceMesh& mesh, const SourceSkin& skin) {
    RigidSplit split;
    const std::size_t joints = skin.joints.size();
    // Per joint (and -1 for vertices without a usable weight, kept in the
    // mesh's own space), its piece.
    std::map<int, RigidPiece> pieces;
    for (const SourcePrimitive& p : mesh.primitives) {
        const std::size_t vertices = p.positions.size();
        const bool weighted = p.influences > 0 && p.joints.size() == vertices * p.influences &&
                              p.weights.size() == p.joints.size();
        std::vector<int> jointOf(vertices, -1);
        for (std::size_t v = 0; v < vertices; ++v) {
            if (!weighted) continue;
            const auto [joint, weight] = strongest(p, v, joints);
            jointOf[v] = joint;
            ++split.vertices;
            if (weight < kWholeWeight) ++split.blended;
        }
        // Per joint, the primitive's share: its faces and its vertices
        // renumbered.
        std::map<int, std::pair<SourcePrimitive, std::map<std::uint32_t, std::uint32_t>>> shares;
        for (const std::vector<std::uint32_t>& face : facesOf(p)) {
            if (!std::all_of(face.begin(), face.end(), [&](std::uint32_t i) { return i < vertices; })) continue;
            // The joint most corners go with; among equals, the first corner's.
            std::map<int, int> votes;
            int joint = jointOf[face[0]], best = 0;
            for (std::uint32_t i : face) ++votes[jointOf[i]];
            for (std::uint32_t i : face)
                if (votes[jointOf[i]] > best) best = votes[jointOf[i]], joint = jointOf[i];
            auto& [share, renumber] = shares[joint];
            share.mode = p.mode;
            share.material = p.material;
            const std::array<float, 16>* toJoint =
                joint >= 0 && skin.joints[joint] >= 0 && static_cast<std::size_t>(joint) < skin.inverseBind.size()
                    ? &skin.inverseBind[joint]
                    : nullptr;
            for (std::uint32_t i : face) {
                auto [it, added] = renumber.try_emplace(i, static_cast<std::uint32_t>(share.positions.size()));
                if (added) {
                    share.positions.push_back(toJoint ? transformPoint(*toJoint, p.positions[i]) : p.positions[i]);
                    if (p.normals.size() == vertices)
                        share.normals.push_back(toJoint ? transformNormal(*toJoint, p.normals[i]) : p.normals[i]);
                    if (p.uvs.size() == vertices) share.uvs.push_back(p.uvs[i]);
                }
                share.indices.push_back(it->second);
            }
            if (p.mode == PrimitiveMode::Polygons) share.polygonSizes.push_back(static_cast<std::uint32_t>(face.size()));
        }
        for (auto& [joint, share] : shares) {
            RigidPiece& piece = pieces[joint];
            piece.joint = joint;
            piece.node = joint >= 0 && static_cast<std::size_t>(joint) < skin.inverseBind.size() ? skin.joints[joint] : -1;
            piece.mesh.name = mesh.name;
            piece.mesh.primitives.push_back(std::move(share.first));
        }
    }
    for (auto& [joint, piece] : pieces) split.pieces.push_back(std::move(piece));
    return split;
}

}  // namespace zor::import
