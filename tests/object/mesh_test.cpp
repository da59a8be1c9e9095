#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "object/object.h"

namespace zor {
namespace {

// A mesh with the given point positions and polygons (point index lists).
Mesh makeMesh(const std::vector<std::array<float, 3>>& points, const std::vector<std::vector<std::uint16_t>>& polygons) {
    Mesh mesh;
    allocateMesh(mesh, static_cast<std::uint16_t>(points.size()), static_cast<std::uint16_t>(polygons.size()));
    for (std::size_t i = 0; i < points.size(); ++i)
        for (int c = 0; c < 3; ++c) mesh.points[i].position[c] = points[i][static_cast<std::size_t>(c)];
    for (std::size_t i = 0; i < polygons.size(); ++i) {
        mesh.polygons[i].vertexCount = static_cast<std::uint8_t>(polygons[i].size());
        mesh.polygons[i].pointIndices = polygons[i];
    }
    return mesh;
}

TEST(AllocateMesh, SizesAndZeroesTheArrays) {
    Mesh mesh;
    mesh.points.resize(3);
    mesh.points[0].normalCount = 5;
    allocateMesh(mesh, 2, 4);
    EXPECT_EQ(mesh.pointCount, 2);
    EXPECT_EQ(mesh.polygonCount, 4);
    ASSERT_EQ(mesh.points.size(), 2u);
    ASSERT_EQ(mesh.polygons.size(), 4u);
    EXPECT_EQ(mesh.points[0].normalCount, 0);
    EXPECT_TRUE(mesh.polygons[3].pointIndices.empty());

    allocateMesh(mesh, 0, 0);
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_TRUE(mesh.points.empty());
    EXPECT_TRUE(mesh.polygons.empty());
}

TEST(ComputeNormals, TriangleAndQuadSharingAnEdge) {
    // Triangle in the plane z = 0; quad in the plane y = 0 sharing the edge 0-1.
    Mesh mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}}, {{0, 1, 2}, {1, 0, 3, 4}});
    computeNormals(mesh);

    // p = (0,0,0), q = (1,0,0), r = (0,1,0): (p - q) x (p - r) = (-1,0,0) x (0,-1,0) = (0,0,1).
    EXPECT_THAT(mesh.polygons[0].faceNormal, testing::ElementsAre(0.0f, 0.0f, 1.0f));
    // p = (1,0,0), q = (0,0,0), r = (1,0,1): (1,0,0) x (0,0,-1) = (0,1,0).
    EXPECT_THAT(mesh.polygons[1].faceNormal, testing::ElementsAre(0.0f, 1.0f, 0.0f));

    // Shared points: plain average of the two unit normals, not renormalised.
    for (int i : {0, 1}) {
        EXPECT_THAT(mesh.points[static_cast<std::size_t>(i)].normal, testing::ElementsAre(0.0f, 0.5f, 0.5f));
        EXPECT_EQ(mesh.points[static_cast<std::size_t>(i)].normalCount, 2);
    }
    EXPECT_THAT(mesh.points[2].normal, testing::ElementsAre(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(mesh.points[2].normalCount, 1);
    EXPECT_THAT(mesh.points[3].normal, testing::ElementsAre(0.0f, 1.0f, 0.0f));
}

TEST(ComputeNormals, FaceNormalIsUnitAndUsesFirstSecondAndLastVertex) {
    // The third vertex (point 2) is off the plane of points 0, 1 and 3 and
    // must not influence the face normal.
    Mesh mesh = makeMesh({{0, 0, 0}, {0, 0, 3}, {5, 5, 5}, {0, 4, 0}}, {{0, 1, 2, 3}});
    computeNormals(mesh);
    // p - q = (0,0,-3), p - r = (0,-4,0); cross = (0*0 - (-3)(-4), (-3)*0 - 0*0, 0) = (-12, 0, 0).
    EXPECT_THAT(mesh.polygons[0].faceNormal, testing::ElementsAre(-1.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.points[2].normalCount, 1);
}

TEST(ComputeNormals, PointsAndLinesAddNothingAndDegenerateTrianglesGiveZero) {
    // The triangle is collinear: a zero normal, divided by 1.
    Mesh mesh = makeMesh({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {{0}, {0, 1}, {0, 1, 2}});
    mesh.points[1].normal[0] = 9;    // stale values are cleared first
    mesh.points[1].normalCount = 4;
    computeNormals(mesh);
    EXPECT_THAT(mesh.polygons[0].faceNormal, testing::ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_THAT(mesh.polygons[2].faceNormal, testing::ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.points[0].normalCount, 1);
    EXPECT_EQ(mesh.points[1].normalCount, 1);
    EXPECT_THAT(mesh.points[1].normal, testing::ElementsAre(0.0f, 0.0f, 0.0f));
}

TEST(ComputeNormals, RepeatedPointsCountOncePerUse) {
    // The polygon revisits points, as real files do.
    Mesh mesh = makeMesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{0, 1, 2, 1, 0}});
    computeNormals(mesh);
    // First (0,0,0), second (2,0,0), last (0,0,0): p - r = 0 gives a zero normal.
    EXPECT_THAT(mesh.polygons[0].faceNormal, testing::ElementsAre(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.points[0].normalCount, 2);
    EXPECT_EQ(mesh.points[1].normalCount, 2);
    EXPECT_EQ(mesh.points[2].normalCount, 1);
}

}  // namespace
}  // namespace zor
