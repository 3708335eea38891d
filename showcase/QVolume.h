// SPDX-License-Identifier: Zlib
// The character's stencil shadow: the first frame welded into a mesh, its
// shared edges found once, and on every update the silhouette edges extruded
// away from a point light into quads.
#pragma once

#include <quelt/quelt.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "QKeyFrameModel.h"

namespace showcase {

// Vertices closer than this are one vertex. A double: the float nearest to
// 1e-8 lies below it, and a distance of exactly that float must weld.
constexpr double kWeldDistance = 1e-8;
// How far beyond each silhouette vertex the volume reaches, in multiples of
// the light-to-vertex distance.
constexpr float kExtrusion = 500.0f;

class TMesh {
public:
    TMesh();
    ~TMesh();
    TMesh(const TMesh&) = delete;
    TMesh& operator=(const TMesh&) = delete;
    void SetVertexCount(int32_t n);
    int32_t VertexCount() const { return static_cast<int32_t>(Vertices.size()); }
    void SetFaceCount(int32_t n);
    int32_t FaceCount() const { return static_cast<int32_t>(Faces.size()); }
    // Index of the first vertex within kWeldDistance of p, or of p appended.
    int32_t AddVertex(const TVec3D& p);

    std::vector<TVec3D> Vertices;
    std::vector<TTriangle> Faces;

private:
    struct WeldIndex;
    std::unique_ptr<WeldIndex> weld_;  // grid of the vertices added so far
};

class TPlane {
public:
    // Through three points, oriented by their order; a degenerate triangle
    // gives the zero normal and D 0.
    TPlane(const TVec3D& a, const TVec3D& b, const TVec3D& c);
    TPlane() = default;
    // Positive on the side the normal points to.
    float Distance(const TVec3D& p) const;

    TVec3D Normal{};
    float D = 0;
};

#pragma pack(push, 1)
struct TVolumeEdge {
    int32_t V0;  // lower vertex index
    int32_t V1;  // higher vertex index
    int32_t FaceA;
    int32_t FaceB;
    bool ReversedA;  // FaceA runs from V1 to V0
    bool ReversedB;  // FaceB runs from V1 to V0
    bool Silhouette;
};
#pragma pack(pop)
static_assert(sizeof(TVolumeEdge) == 19, "TVolumeEdge is packed");

// Mesh and Edges are built once at construction; BuildEdges also keeps the
// triangle planes and the edges' faces in the compact form Update streams
// over, so change the mesh only through it.
class TVolume {
public:
    explicit TVolume(const TKeyFrameModel& model);
    void Update(const TVec3D& light);
    void ResetColor() const;
    void Render() const;

    TMesh Mesh;
    std::vector<TVec3D> VolumeVertices;
    std::vector<TTriangle> VolumeTriangles;
    std::vector<TVolumeEdge> Edges;

    void BuildEdges();
    void AddEdge(int32_t i, int32_t j, int32_t a0, int32_t a1, int32_t b0, int32_t b1);
    void AddQuad(const TVec3D& p0, const TVec3D& p1, const TVec3D& p2, const TVec3D& p3);

private:
    void BuildPlanes();
    void ComputeFaceDistances(const TVec3D& light);
    void Extrude(const TVolumeEdge& edge, bool faceALit, const TVec3D& light);
    void DrawTriangles() const;

    // Per triangle, its plane split into columns.
    std::vector<float> planeX_, planeY_, planeZ_, planeD_;
    // Per edge, its two triangles, in the order of Edges.
    std::vector<int32_t> edgeFaceA_, edgeFaceB_;
    std::vector<float> faceDistances_;
};

} // namespace showcase
