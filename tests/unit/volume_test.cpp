// SPDX-License-Identifier: Zlib
// Shadow-volume topology without a display: welding, shared edges and their
// order, silhouette extrusion, and the hashed construction against the
// literal quadratic algorithm kept here as the reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"
#include "ShowcaseVolumeReference.h"

using showcase::TKeyFrameModel;
using showcase::TMesh;
using showcase::TPlane;
using showcase::TTriangle;
using showcase::TVolume;
using showcase::TVolumeEdge;

namespace {

class Volume : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(showcase::BindQuelt(QUELT_LIBRARY_PATH)); }
};

// A one-frame model made in memory.
void Fill(TKeyFrameModel& model, const std::vector<TVec3D>& positions, const std::vector<TTriangle>& faces) {
    model.Loaded = true;
    model.VertexCount = static_cast<int32_t>(positions.size());
    model.FrameCount = 1;
    model.FaceCount = static_cast<int32_t>(faces.size());
    model.Positions = positions;
    model.Normals.assign(positions.size(), TVec3D{});
    model.TexCoords.assign(positions.size(), TVec2D{});
    model.Faces = faces;
    model.Animations = {{"idle", 0, 0}};
}

TVec3D V(float x, float y, float z) { return {x, y, z}; }

using showcase_test::Reference;

template <typename T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void ExpectMatchesReference(const TKeyFrameModel& model, const std::vector<TVec3D>& lights, const char* what) {
    TVolume volume(model);
    Reference reference(model);
    ASSERT_TRUE(SameBytes(volume.Mesh.Vertices, reference.vertices)) << what;
    ASSERT_TRUE(SameBytes(volume.Mesh.Faces, reference.faces)) << what;
    ASSERT_EQ(volume.Edges.size(), reference.edges.size()) << what;
    EXPECT_TRUE(SameBytes(volume.Edges, reference.edges)) << what;
    EXPECT_TRUE(SameBytes(volume.VolumeVertices, reference.volumeVertices)) << what;
    for (const TVec3D& light : lights) {
        volume.Update(light);
        reference.Update(light);
        EXPECT_TRUE(SameBytes(volume.VolumeVertices, reference.volumeVertices)) << what;
        EXPECT_TRUE(SameBytes(volume.VolumeTriangles, reference.volumeTriangles)) << what;
        EXPECT_TRUE(SameBytes(volume.Edges, reference.edges)) << what;
    }
}

std::vector<TVec3D> Tetrahedron() { return {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)}; }
// Outward, counter-clockwise seen from outside.
std::vector<TTriangle> TetrahedronFaces() { return {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}; }

} // namespace

TEST_F(Volume, WeldsWithinTheToleranceAndFirstMatchWins) {
    TMesh mesh;
    EXPECT_EQ(mesh.AddVertex(V(0, 0, 0)), 0);
    EXPECT_EQ(mesh.AddVertex(V(1e-9f, 0, 0)), 0);
    EXPECT_EQ(mesh.AddVertex(V(1e-7f, 0, 0)), 1);
    EXPECT_EQ(mesh.VertexCount(), 2);
    // The float nearest 1e-8 lies below it: a distance of exactly that welds,
    // the next float up does not.
    EXPECT_EQ(mesh.AddVertex(V(1e-8f, 0, 0)), 0);
    EXPECT_EQ(mesh.AddVertex(V(0, std::nextafter(1e-8f, 1.0f), 0)), 2);

    // A point within reach of two vertices goes to the lower index.
    TMesh two;
    EXPECT_EQ(two.AddVertex(V(5, 5, 5)), 0);
    EXPECT_EQ(two.AddVertex(V(0, 0, 0)), 1);
    EXPECT_EQ(two.AddVertex(V(1.5e-8f, 0, 0)), 2);
    EXPECT_EQ(two.AddVertex(V(0.75e-8f, 0, 0)), 1);
    // Points straddling a grid boundary still weld.
    EXPECT_EQ(two.AddVertex(V(-0.4e-8f, 0.3e-8f, -0.2e-8f)), 1);
    // NaN never welds, not even to itself.
    const float nan = std::nanf("");
    EXPECT_EQ(two.AddVertex(V(nan, 0, 0)), 3);
    EXPECT_EQ(two.AddVertex(V(nan, 0, 0)), 4);
    // Far-out coordinates weld exactly too.
    EXPECT_EQ(two.AddVertex(V(3e38f, -3e38f, 1e20f)), 5);
    EXPECT_EQ(two.AddVertex(V(3e38f, -3e38f, 1e20f)), 5);

    // Vertices set through the count are searched as well.
    TMesh sized;
    sized.SetVertexCount(2);
    sized.Vertices[1] = V(1, 1, 1);
    EXPECT_EQ(sized.AddVertex(V(0, 0, 0)), 0);
    EXPECT_EQ(sized.AddVertex(V(1, 1, 1)), 1);
    EXPECT_EQ(sized.AddVertex(V(2, 2, 2)), 2);
}

TEST_F(Volume, PlaneDistanceAndDegenerateTriangle) {
    const TPlane plane(V(0, 0, 1), V(1, 0, 1), V(0, 1, 1));
    EXPECT_FLOAT_EQ(plane.Normal.z, 1);
    EXPECT_FLOAT_EQ(plane.D, -1);
    EXPECT_FLOAT_EQ(plane.Distance(V(7, -3, 4)), 3);
    EXPECT_FLOAT_EQ(plane.Distance(V(0, 0, -1)), -2);
    const TPlane flat(V(1, 1, 1), V(2, 2, 2), V(3, 3, 3));
    EXPECT_EQ(flat.Normal.x, 0);
    EXPECT_EQ(flat.Normal.y, 0);
    EXPECT_EQ(flat.Normal.z, 0);
    EXPECT_EQ(flat.Distance(V(10, -4, 2)), 0);
}

TEST_F(Volume, TwoTrianglesShareOneEdge) {
    TKeyFrameModel model;
    Fill(model, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 0)}, {{0, 1, 2}, {2, 1, 3}});
    TVolume volume(model);
    ASSERT_EQ(volume.Edges.size(), 1u);
    const TVolumeEdge& e = volume.Edges[0];
    EXPECT_EQ(e.V0, 1);
    EXPECT_EQ(e.V1, 2);
    EXPECT_EQ(e.FaceA, 0);
    EXPECT_EQ(e.FaceB, 1);
    EXPECT_FALSE(e.ReversedA);
    EXPECT_TRUE(e.ReversedB);

    // Both running the edge the same way (a mis-wound neighbour) is an edge too.
    TKeyFrameModel same;
    Fill(same, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 0)}, {{0, 1, 2}, {1, 2, 3}});
    TVolume sameVolume(same);
    ASSERT_EQ(sameVolume.Edges.size(), 1u);
    EXPECT_FALSE(sameVolume.Edges[0].ReversedA);
    EXPECT_FALSE(sameVolume.Edges[0].ReversedB);

    // Welding joins triangles whose vertices are separate in the model (a texture seam).
    TKeyFrameModel seam;
    Fill(seam, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 1, 0), V(1, 0, 0), V(1, 1, 0)}, {{0, 1, 2}, {3, 4, 5}});
    TVolume seamVolume(seam);
    EXPECT_EQ(seamVolume.Mesh.VertexCount(), 4);
    EXPECT_EQ(seamVolume.Edges.size(), 1u);
}

TEST_F(Volume, ClosedTetrahedronSilhouette) {
    TKeyFrameModel model;
    Fill(model, Tetrahedron(), TetrahedronFaces());
    TVolume volume(model);
    ASSERT_EQ(volume.Edges.size(), 6u);
    for (const TVec3D& light : {V(5, 6, 7), V(-3, 0.2f, 0.2f), V(0.2f, 0.2f, -9), V(0.3f, 0.3f, 40)}) {
        volume.Update(light);
        std::size_t silhouettes = 0;
        for (const TVolumeEdge& e : volume.Edges) silhouettes += e.Silhouette;
        EXPECT_TRUE(silhouettes == 3 || silhouettes == 4) << silhouettes;
        EXPECT_EQ(volume.VolumeVertices.size(), silhouettes * 4);
        EXPECT_EQ(volume.VolumeTriangles.size(), silhouettes * 2);
        for (std::size_t q = 0; q < silhouettes; ++q) {
            const int32_t n = int32_t(q * 4);
            EXPECT_EQ(volume.VolumeTriangles[q * 2], (TTriangle{n, n + 1, n + 3}));
            EXPECT_EQ(volume.VolumeTriangles[q * 2 + 1], (TTriangle{n + 1, n + 2, n + 3}));
        }
    }
    // Inside the tetrahedron every face looks the same way: no silhouette.
    volume.Update(V(0.1f, 0.1f, 0.1f));
    EXPECT_TRUE(volume.VolumeVertices.empty());
}

TEST_F(Volume, LightInATrianglePlaneIsNoSilhouette) {
    TKeyFrameModel model;
    // Triangle 0 lies in z = 0, triangle 1 folds up; they share edge 1-2.
    Fill(model, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 1)}, {{0, 1, 2}, {2, 1, 3}});
    TVolume volume(model);
    ASSERT_EQ(volume.Edges.size(), 1u);
    volume.Update(V(5, -7, 0));  // in triangle 0's plane
    EXPECT_FALSE(volume.Edges[0].Silhouette);
    EXPECT_TRUE(volume.VolumeVertices.empty());
    volume.Update(V(2, 2, 0.5f));
    EXPECT_TRUE(volume.Edges[0].Silhouette);
    EXPECT_EQ(volume.VolumeVertices.size(), 4u);
}

TEST_F(Volume, ExtrudesAwayFromTheLightInTheLitFacesDirection) {
    // Face A (normal +y) sees the light; face B (tilted down) does not. They
    // share the edge from (1, 0, 0) to (0, 0, 0), which A runs in that order.
    TKeyFrameModel model;
    Fill(model, {V(0, 0, 0), V(0.5f, 0, 1), V(1, 0, 0), V(0.5f, 2, 1)}, {{0, 1, 2}, {0, 2, 3}});
    TVolume volume(model);
    volume.Update(V(0, 1, 0));
    ASSERT_EQ(volume.VolumeVertices.size(), 4u);
    const auto expect = [&](std::size_t i, float x, float y, float z) {
        EXPECT_FLOAT_EQ(volume.VolumeVertices[i].x, x) << i;
        EXPECT_FLOAT_EQ(volume.VolumeVertices[i].y, y) << i;
        EXPECT_FLOAT_EQ(volume.VolumeVertices[i].z, z) << i;
    };
    expect(0, 1, 0, 0);       // P
    expect(1, 0, 0, 0);       // Q
    expect(2, 0, -500, 0);    // Q'
    expect(3, 501, -500, 0);  // P'
    EXPECT_EQ(volume.VolumeTriangles[0], (TTriangle{0, 1, 3}));
    EXPECT_EQ(volume.VolumeTriangles[1], (TTriangle{1, 2, 3}));

    // Seen from the other side, face B is the lit one and the order flips.
    volume.Update(V(0.5f, -5, 0.2f));
    ASSERT_EQ(volume.VolumeVertices.size(), 4u);
    expect(0, 0, 0, 0);
    expect(1, 1, 0, 0);
}

TEST_F(Volume, UpdateIsRepeatableAndEmptyModelsCastNothing) {
    TKeyFrameModel model;
    Fill(model, Tetrahedron(), TetrahedronFaces());
    TVolume volume(model);
    volume.Update(V(3, 4, 5));
    const auto vertices = volume.VolumeVertices;
    const auto triangles = volume.VolumeTriangles;
    volume.Update(V(3, 4, 5));
    EXPECT_TRUE(SameBytes(vertices, volume.VolumeVertices));
    EXPECT_TRUE(SameBytes(triangles, volume.VolumeTriangles));

    TKeyFrameModel empty;
    TVolume none(empty);
    EXPECT_EQ(none.Mesh.VertexCount(), 0);
    EXPECT_TRUE(none.Edges.empty());
    none.Update(V(1, 2, 3));
    EXPECT_TRUE(none.VolumeVertices.empty());

    // Faces without a stored frame cannot be welded: nothing is read.
    TKeyFrameModel frameless;
    Fill(frameless, Tetrahedron(), TetrahedronFaces());
    frameless.FrameCount = 0;
    frameless.Positions.clear();
    TVolume nothing(frameless);
    EXPECT_TRUE(nothing.Edges.empty());
}

TEST_F(Volume, HashedConstructionMatchesTheQuadraticReference) {
    const std::vector<TVec3D> lights = {V(0, 100, 0), V(500, 200, -5), V(-350, 200, 350), V(0, 0, 0),
                                        V(0.5f, 0.5f, 3), V(1e6f, -2, 0)};
    {
        TKeyFrameModel model;
        Fill(model, Tetrahedron(), TetrahedronFaces());
        ExpectMatchesReference(model, lights, "tetrahedron");
    }
    {
        // A corner exactly the weld distance's float away from another.
        TKeyFrameModel model;
        Fill(model, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1e-8f, 0, 0), V(0, -1, 0)}, {{0, 1, 2}, {3, 4, 1}});
        ExpectMatchesReference(model, lights, "at the weld distance");
    }
    {
        // A bumpy sheet with jittered duplicates (some welded, some not),
        // repeated and flipped triangles, degenerate and non-manifold ones.
        std::mt19937 random(7);
        std::uniform_real_distribution<float> unit(0, 1);
        const int n = 14;
        std::vector<TVec3D> positions;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) positions.push_back(V(float(i), unit(random), float(j)));
        std::vector<TTriangle> faces;
        const auto at = [&](int i, int j) { return int32_t(j * n + i); };
        for (int j = 0; j + 1 < n; ++j)
            for (int i = 0; i + 1 < n; ++i) {
                faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j)});
                faces.push_back({at(i + 1, j), at(i, j + 1), at(i + 1, j + 1)});
            }
        for (int k = 0; k < 40; ++k) {
            const int32_t v = int32_t(random() % positions.size());
            TVec3D p = positions[std::size_t(v)];
            p.x += (k % 2 ? 1e-9f : 1e-7f);
            positions.push_back(p);
            TTriangle f = faces[random() % faces.size()];
            f[random() % 3] = int32_t(positions.size() - 1);
            faces.push_back(f);
        }
        for (int k = 0; k < 20; ++k) {
            TTriangle f = faces[random() % faces.size()];
            if (k % 2) std::swap(f[1], f[2]);
            faces.push_back(f);
        }
        faces.push_back({0, 0, 1});
        faces.push_back({1, 0, 0});
        faces.push_back({2, 2, 2});
        TKeyFrameModel model;
        Fill(model, positions, faces);
        ExpectMatchesReference(model, lights, "sheet");
    }
    {
        // The demo's own character.
        TKeyFrameModel model;
        ASSERT_TRUE(model.Load(std::string(QUELT_BIN_DIR) + "/Morrek.qmm"));
        ExpectMatchesReference(model, lights, "Morrek");
    }
}
