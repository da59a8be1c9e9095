#include <cmath>

#include "object/object.h"

namespace zor {

void allocateMesh(Mesh& mesh, std::uint16_t pointCount, std::uint16_t polygonCount) {
    mesh.points.clear();
    mesh.polygons.clear();
    mesh.points.resize(pointCount);
    mesh.polygons.resize(polygonCount);
    mesh.pointCount = pointCount;
    mesh.polygonCount = polygonCount;
}

void computeNormals(Mesh& mesh) {
    for (MeshPoint& point : mesh.points) {
        point.normal[0] = point.normal[1] = point.normal[2] = 0;
        point.normalCount = 0;
    }
    for (MeshPolygon& polygon : mesh.polygons) {
        if (polygon.vertexCount < 3) continue;
        const float* p = mesh.points[polygon.pointIndices.front()].position;
        const float* q = mesh.points[polygon.pointIndices[1]].position;
        const float* r = mesh.points[polygon.pointIndices.back()].position;
        float n[3] = {
            (p[1] - q[1]) * (p[2] - r[2]) - (p[1] - r[1]) * (p[2] - q[2]),
            (p[0] - r[0]) * (p[2] - q[2]) - (p[0] - q[0]) * (p[2] - r[2]),
            (p[0] - q[0]) * (p[1] - r[1]) - (p[0] - r[0]) * (p[1] - q[1]),
        };
        const float squared = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
        const float length = squared == 0.0f ? 1.0f : std::sqrt(squared);
        for (int i = 0; i < 3; ++i) polygon.faceNormal[i] = n[i] / length;
        for (const std::uint16_t index : polygon.pointIndices) {
            MeshPoint& point = mesh.points[index];
            for (int i = 0; i < 3; ++i) point.normal[i] += polygon.faceNormal[i];
            ++point.normalCount;
        }
    }
    for (MeshPoint& point : mesh.points) {
        if (point.normalCount == 0) continue;
        const float count = static_cast<float>(point.normalCount);
        for (float& c : point.normal) c /= count;
    }
}

}  // namespace zor
