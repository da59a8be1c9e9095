#include "check/picture_check.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/display.h"
#include "object/object.h"
#include "scene/scene.h"

namespace zor::check {
namespace {

// The renderer's own projection: x and y scaled by its diagonal, divided by
// the depth after the view offset.
const Matrix kProjection = projectionMatrix(kFieldOfViewX, kFieldOfViewY, kNearPlane, kFarPlane);
const float kScaleX = kProjection[0];
const float kScaleY = kProjection[5];

using Point3 = std::array<float, 3>;

// Keeps the part of a convex polygon where sign * (z - limit) >= 0.
std::vector<Point3> clipDepth(const std::vector<Point3>& in, float limit, float sign) {
    std::vector<Point3> out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const Point3& a = in[i];
        const Point3& b = in[(i + 1) % in.size()];
        const float da = sign * (a[2] - limit), db = sign * (b[2] - limit);
        if (da >= 0) out.push_back(a);
        if ((da >= 0) != (db >= 0)) {
            const float t = da / (da - db);
            out.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])});
        }
    }
    return out;
}

// Drawn as filled polygons by the renderer: not points, lines, outlines,
// nor the untextured polygons without a shading bit, which it skips.
bool fills(const MeshPolygon& polygon) {
    const std::uint8_t flags = polygon.flags;
    if (polygon.vertexCount < 3 || (flags & outline) || (flags & black)) return false;
    return (flags & (textured | smoothShaded | flatShaded)) != 0 || flags == doubleSided;
}

}  // namespace

constexpr std::size_t kCells = static_cast<std::size_t>(kGridColumns) * kGridRows;

CoverageSlots::CoverageSlots(const Scene& scene)
    : scene_(scene),
      cells_(kCells, false),
      depths_(kCells, std::numeric_limits<float>::infinity()),
      owners_(kCells, -1),
      drawnCells_(scene.objects.size()),
      facing_(scene.objects.size()) {}

void CoverageSlots::clearCells() {
    std::fill(cells_.begin(), cells_.end(), false);
    std::fill(depths_.begin(), depths_.end(), std::numeric_limits<float>::infinity());
    std::fill(owners_.begin(), owners_.end(), -1);
    for (auto& drawn : drawnCells_) drawn.clear();
}

void CoverageSlots::coverLogo() {
    for (int row = 0; row < kGridRows; ++row)
        for (int column = 0; column < kGridColumns; ++column)
            if ((column + 0.5f) * 640.0f / kGridColumns < 256 && (row + 0.5f) * 480.0f / kGridRows < 256)
                cells_[static_cast<std::size_t>(row) * kGridColumns + column] = true;
}

void CoverageSlots::setWorldTransform(const float matrix[16]) {
    transformed_ = false;
    for (int i = 0; i < 16; ++i)
        if (matrix[i] != (i % 5 == 0 ? 1.0f : 0.0f)) transformed_ = true;
}

void CoverageSlots::drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport*, Scene&, std::uint16_t) {
    if (additive_ || transformed_ || !fills(polygon)) return;
    const std::size_t count = polygon.vertexCount;
    if (polygon.pointIndices.size() < count) return;
    for (std::size_t i = 0; i < count; ++i)
        if (polygon.pointIndices[i] >= object.points.size()) return;
    const auto index = static_cast<std::size_t>(&object - scene_.objects.data());
    if (index >= facing_.size()) return;
    const auto at = [&](std::size_t i) {
        const float* p = object.points[polygon.pointIndices[i]].cameraSpacePosition;
        return Point3{p[0], p[1], p[2] + kViewOffset};
    };
    // The renderer draws a fan; each of its triangles is culled on its own.
    for (std::size_t i = 1; i + 1 < count; ++i)
        triangle(index, (polygon.flags & doubleSided) != 0, at(0), at(i), at(i + 1));
}

void CoverageSlots::triangle(std::size_t object, bool doubleSided, const Point3& a, const Point3& b,
                             const Point3& c) {
    const std::vector<Point3> clipped = clipDepth(clipDepth({a, b, c}, kNearPlane, 1), kFarPlane, -1);
    if (clipped.size() < 3) return;
    std::vector<std::array<float, 2>> screen;  // normalised device coordinates, y up
    float minX = 1e30f, maxX = -1e30f, minY = 1e30f, maxY = -1e30f;
    for (const Point3& p : clipped) {
        const float x = p[0] * kScaleX / p[2], y = p[1] * kScaleY / p[2];
        screen.push_back({x, y});
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    if (maxX < -1 || minX > 1 || maxY < -1 || minY > 1) return;
    double area = 0;
    for (std::size_t i = 0; i < screen.size(); ++i) {
        const auto& p = screen[i];
        const auto& q = screen[(i + 1) % screen.size()];
        area += static_cast<double>(p[0]) * q[1] - static_cast<double>(q[0]) * p[1];
    }
    if (area == 0) return;
    // Clockwise on the screen (negative area with y up) is the front; a
    // double-sided polygon shows either side.
    const bool front = area < 0;
    if (front || doubleSided) ++facing_[object].front;
    else ++facing_[object].back;
    if (!front && !doubleSided) return;
    // The triangle's plane n.p = d, for the depth along each cell's ray.
    const Point3 u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const Point3 n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float d = n[0] * a[0] + n[1] * a[1] + n[2] * a[2];

    const float sign = area < 0 ? -1.0f : 1.0f;
    const int firstColumn = std::max(0, static_cast<int>(std::floor((minX + 1) * 0.5f * kGridColumns)));
    const int lastColumn = std::min(kGridColumns - 1, static_cast<int>(std::floor((maxX + 1) * 0.5f * kGridColumns)));
    const int firstRow = std::max(0, static_cast<int>(std::floor((1 - maxY) * 0.5f * kGridRows)));
    const int lastRow = std::min(kGridRows - 1, static_cast<int>(std::floor((1 - minY) * 0.5f * kGridRows)));
    for (int row = firstRow; row <= lastRow; ++row) {
        const float y = 1 - (row + 0.5f) * 2.0f / kGridRows;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const float x = (column + 0.5f) * 2.0f / kGridColumns - 1;
            bool inside = true;
            for (std::size_t i = 0; i < screen.size() && inside; ++i) {
                const auto& p = screen[i];
                const auto& q = screen[(i + 1) % screen.size()];
                inside = sign * ((q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])) >= 0;
            }
            if (!inside) continue;
            const std::size_t cell = static_cast<std::size_t>(row) * kGridColumns + column;
            cells_[cell] = true;
            drawnCells_[object].push_back(static_cast<std::uint16_t>(cell));
            const float along = n[0] * x / kScaleX + n[1] * y / kScaleY + n[2];
            const float depth = along != 0 ? d / along : 0;
            if (depth < depths_[cell]) depths_[cell] = depth, owners_[cell] = static_cast<int>(object);
        }
    }
}

}  // namespace zor::check
