// SPDX-License-Identifier: Zlib
#include "QVolume.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "OpenGL.h"
#include "Quelt.h"

namespace showcase {

// ---- TMesh ----

// A uniform grid twice as fine-meshed as needed: any vertex within the weld
// distance of a point lies in the point's cell or a neighbouring one, so the
// first-match search stays exact while touching only a few candidates.
struct TMesh::WeldIndex {
    struct Cell {
        int64_t x, y, z;
        bool operator==(const Cell& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    struct CellHash {
        std::size_t operator()(const Cell& c) const {
            uint64_t h = uint64_t(c.x) * 0x9E3779B97F4A7C15ull;
            h ^= uint64_t(c.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
            h ^= uint64_t(c.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
            return static_cast<std::size_t>(h ^ (h >> 29));
        }
    };

    static constexpr double kCellSize = 2.0 * kWeldDistance;

    static int64_t Coordinate(float value) {
        // Far-out coordinates share the outermost cells: slower, still exact.
        const double cell = std::floor(double(value) / kCellSize);
        constexpr double limit = 4.0e18;
        return static_cast<int64_t>(std::max(-limit, std::min(limit, cell)));
    }
    static bool Finite(const TVec3D& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    }

    std::unordered_map<Cell, int32_t, CellHash> heads;  // newest vertex of each cell
    std::vector<int32_t> next;                          // older vertex in the same cell, or -1
};

TMesh::TMesh() : weld_(std::make_unique<WeldIndex>()) {}
TMesh::~TMesh() = default;

void TMesh::SetVertexCount(int32_t n) {
    Vertices.resize(static_cast<std::size_t>(std::max(n, 0)), TVec3D{});
    // Vertices set directly are not welded against; start the grid afresh.
    weld_->heads.clear();
    weld_->next.clear();
}

void TMesh::SetFaceCount(int32_t n) { Faces.resize(static_cast<std::size_t>(std::max(n, 0)), TTriangle{}); }

int32_t TMesh::AddVertex(const TVec3D& p) {
    WeldIndex& grid = *weld_;
    // Vertices placed by SetVertexCount are not in the grid: index them now.
    while (grid.next.size() < Vertices.size()) {
        const int32_t index = static_cast<int32_t>(grid.next.size());
        const TVec3D& v = Vertices[grid.next.size()];
        grid.next.push_back(-1);
        if (!WeldIndex::Finite(v)) continue;
        WeldIndex::Cell cell{WeldIndex::Coordinate(v.x), WeldIndex::Coordinate(v.y), WeldIndex::Coordinate(v.z)};
        auto [it, inserted] = grid.heads.try_emplace(cell, index);
        if (!inserted) {
            grid.next.back() = it->second;
            it->second = index;
        }
    }

    // A point with an infinite or NaN coordinate is never within any distance.
    if (WeldIndex::Finite(p)) {
        const WeldIndex::Cell home{WeldIndex::Coordinate(p.x), WeldIndex::Coordinate(p.y),
                                   WeldIndex::Coordinate(p.z)};
        int32_t best = -1;
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dz = -1; dz <= 1; ++dz) {
                    auto it = grid.heads.find({home.x + dx, home.y + dy, home.z + dz});
                    if (it == grid.heads.end()) continue;
                    for (int32_t i = it->second; i >= 0; i = grid.next[std::size_t(i)])
                        if ((best < 0 || i < best) && double(dist3D(&Vertices[std::size_t(i)], &p)) < kWeldDistance)
                            best = i;
                }
        if (best >= 0) return best;
    }

    const int32_t index = static_cast<int32_t>(Vertices.size());
    Vertices.push_back(p);
    grid.next.push_back(-1);
    if (WeldIndex::Finite(p)) {
        WeldIndex::Cell cell{WeldIndex::Coordinate(p.x), WeldIndex::Coordinate(p.y), WeldIndex::Coordinate(p.z)};
        auto [it, inserted] = grid.heads.try_emplace(cell, index);
        if (!inserted) {
            grid.next.back() = it->second;
            it->second = index;
        }
    }
    return index;
}

// ---- TPlane ----

TPlane::TPlane(const TVec3D& a, const TVec3D& b, const TVec3D& c) {
    TVec3D ab, ac, n;
    sub3D(&b, &a, &ab);
    sub3D(&c, &a, &ac);
    cross3D(&ab, &ac, &n);
    norm3D(&n, &Normal);
    D = -dot3D(&a, &Normal);
}

float TPlane::Distance(const TVec3D& p) const { return dot3D(&Normal, &p) + D; }

// ---- TVolume ----

TVolume::TVolume(const TKeyFrameModel& model) {
    // The mesh is the first frame; a model without one (or not loaded) casts nothing.
    const bool usable = model.Loaded && model.FrameCount > 0 &&
                        model.Positions.size() >= std::size_t(model.VertexCount);
    const int32_t faces = usable ? model.FaceCount : 0;
    Mesh.SetFaceCount(faces);
    for (int32_t i = 0; i < faces; ++i)
        for (int k = 0; k < 3; ++k)
            Mesh.Faces[std::size_t(i)][std::size_t(k)] =
                Mesh.AddVertex(model.Positions[std::size_t(model.Faces[std::size_t(i)][std::size_t(k)])]);
    BuildEdges();
}

void TVolume::AddEdge(int32_t i, int32_t j, int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
    TVolumeEdge edge{};
    edge.ReversedA = a1 < a0;
    edge.V0 = edge.ReversedA ? a1 : a0;
    edge.V1 = edge.ReversedA ? a0 : a1;
    edge.ReversedB = b0 > b1;
    edge.FaceA = i;
    edge.FaceB = j;
    edge.Silhouette = false;
    Edges.push_back(edge);
}

// Every pair of triangles that share an edge, in the order of a scan over
// triangle pairs i < j, corners k, l, same direction before opposite: the
// pairs are found through a hash of welded index pairs and each triangle's
// finds are sorted into that order.
void TVolume::BuildEdges() {
    Edges.clear();
    const std::vector<TTriangle>& faces = Mesh.Faces;
    const std::size_t corners = faces.size() * 3;

    // Group the directed edges (face, corner) by their unordered end pair.
    std::unordered_map<uint64_t, int32_t> groupOf;
    groupOf.reserve(corners);
    std::vector<int32_t> groupOfCorner(corners);
    std::vector<int32_t> groupSize;
    for (std::size_t c = 0; c < corners; ++c) {
        const TTriangle& t = faces[c / 3];
        const int32_t a0 = t[c % 3], a1 = t[(c % 3 + 1) % 3];
        const uint64_t key = uint64_t(uint32_t(std::min(a0, a1))) << 32 | uint32_t(std::max(a0, a1));
        auto [it, inserted] = groupOf.try_emplace(key, static_cast<int32_t>(groupSize.size()));
        if (inserted) groupSize.push_back(0);
        groupOfCorner[c] = it->second;
        ++groupSize[std::size_t(it->second)];
    }
    // Corners of each group in ascending order, laid out contiguously.
    std::vector<int32_t> groupStart(groupSize.size() + 1, 0);
    for (std::size_t g = 0; g < groupSize.size(); ++g) groupStart[g + 1] = groupStart[g] + groupSize[g];
    std::vector<int32_t> members(corners);
    std::vector<int32_t> fill(groupStart.begin(), groupStart.end() - 1);
    for (std::size_t c = 0; c < corners; ++c)
        members[std::size_t(fill[std::size_t(groupOfCorner[c])]++)] = static_cast<int32_t>(c);

    struct Match {
        int32_t j, k, l, test;
        bool operator<(const Match& o) const {
            if (j != o.j) return j < o.j;
            if (k != o.k) return k < o.k;
            if (l != o.l) return l < o.l;
            return test < o.test;
        }
    };
    std::vector<Match> matches;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        matches.clear();
        for (int32_t k = 0; k < 3; ++k) {
            const std::size_t c = i * 3 + std::size_t(k);
            const int32_t a0 = faces[i][std::size_t(k)], a1 = faces[i][std::size_t((k + 1) % 3)];
            const int32_t g = groupOfCorner[c];
            for (int32_t m = groupStart[std::size_t(g)]; m < groupStart[std::size_t(g) + 1]; ++m) {
                const std::size_t other = std::size_t(members[std::size_t(m)]);
                if (other / 3 <= i) continue;
                const int32_t j = static_cast<int32_t>(other / 3), l = static_cast<int32_t>(other % 3);
                const int32_t b0 = faces[other / 3][other % 3], b1 = faces[other / 3][(other % 3 + 1) % 3];
                if (b0 == a0 && b1 == a1) matches.push_back({j, k, l, 0});
                if (b1 == a0 && b0 == a1) matches.push_back({j, k, l, 1});
            }
        }
        std::sort(matches.begin(), matches.end());
        for (const Match& match : matches) {
            const TTriangle& a = faces[i];
            const TTriangle& b = faces[std::size_t(match.j)];
            AddEdge(static_cast<int32_t>(i), match.j, a[std::size_t(match.k)], a[std::size_t((match.k + 1) % 3)],
                    b[std::size_t(match.l)], b[std::size_t((match.l + 1) % 3)]);
        }
    }

    BuildPlanes();
    edgeFaceA_.resize(Edges.size());
    edgeFaceB_.resize(Edges.size());
    for (std::size_t e = 0; e < Edges.size(); ++e) {
        edgeFaceA_[e] = Edges[e].FaceA;
        edgeFaceB_[e] = Edges[e].FaceB;
    }

    TVec3D light;
    vec3D(0, 100, 0, &light);
    Update(light);
}

// Every triangle's plane, made once: the mesh never changes.
void TVolume::BuildPlanes() {
    const std::size_t faces = Mesh.Faces.size();
    planeX_.resize(faces);
    planeY_.resize(faces);
    planeZ_.resize(faces);
    planeD_.resize(faces);
    for (std::size_t f = 0; f < faces; ++f) {
        const TTriangle& t = Mesh.Faces[f];
        const TPlane plane(Mesh.Vertices[std::size_t(t[0])], Mesh.Vertices[std::size_t(t[1])],
                           Mesh.Vertices[std::size_t(t[2])]);
        planeX_[f] = plane.Normal.x;
        planeY_[f] = plane.Normal.y;
        planeZ_[f] = plane.Normal.z;
        planeD_[f] = plane.D;
    }
}

void TVolume::AddQuad(const TVec3D& p0, const TVec3D& p1, const TVec3D& p2, const TVec3D& p3) {
    const int32_t n = static_cast<int32_t>(VolumeVertices.size());
    VolumeVertices.insert(VolumeVertices.end(), {p0, p1, p2, p3});
    VolumeTriangles.push_back({n, n + 1, n + 3});
    VolumeTriangles.push_back({n + 1, n + 2, n + 3});
}

// TPlane::Distance for every triangle. The engine's dot3D forms its products
// and sums in double and rounds the result to float; this does the same, two
// triangles per instruction, so the distances are the helper's to the bit.
void TVolume::ComputeFaceDistances(const TVec3D& light) {
    const std::size_t faces = planeD_.size();
    faceDistances_.resize(faces);
    const double lx = light.x, ly = light.y, lz = light.z;
    const float *x = planeX_.data(), *y = planeY_.data(), *z = planeZ_.data(), *d = planeD_.data();
    float* distance = faceDistances_.data();
    std::size_t f = 0;
#if defined(__SSE2__)
    const __m128d vx = _mm_set1_pd(lx), vy = _mm_set1_pd(ly), vz = _mm_set1_pd(lz);
    const auto dot = [&](__m128 nx, __m128 ny, __m128 nz) {
        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(nx), vx), _mm_mul_pd(_mm_cvtps_pd(ny), vy)),
                                       _mm_mul_pd(_mm_cvtps_pd(nz), vz));
        return _mm_cvtpd_ps(sum);
    };
    for (; f + 4 <= faces; f += 4) {
        const __m128 nx = _mm_loadu_ps(x + f), ny = _mm_loadu_ps(y + f), nz = _mm_loadu_ps(z + f);
        const __m128 low = dot(nx, ny, nz);
        const __m128 high = dot(_mm_movehl_ps(nx, nx), _mm_movehl_ps(ny, ny), _mm_movehl_ps(nz, nz));
        _mm_storeu_ps(distance + f, _mm_add_ps(_mm_movelh_ps(low, high), _mm_loadu_ps(d + f)));
    }
#endif
    for (; f < faces; ++f) distance[f] = float(double(x[f]) * lx + double(y[f]) * ly + double(z[f]) * lz) + d[f];
}

void TVolume::Update(const TVec3D& light) {
    VolumeVertices.clear();
    VolumeTriangles.clear();
    ComputeFaceDistances(light);

    const float* distance = faceDistances_.data();
    const int32_t *faceA = edgeFaceA_.data(), *faceB = edgeFaceB_.data();
    TVolumeEdge* edge = Edges.data();
    const std::size_t edges = Edges.size();
    for (std::size_t e = 0; e < edges; ++e) {
        const float dA = distance[faceA[e]], dB = distance[faceB[e]];
        const bool silhouette = !(dA * dB >= 0);
        edge[e].Silhouette = silhouette;
        if (silhouette) Extrude(edge[e], dA > 0, light);
    }
}

// The quad of one silhouette edge, wound like the triangle that faces the light.
void TVolume::Extrude(const TVolumeEdge& edge, bool faceALit, const TVec3D& light) {
    const bool reversed = faceALit ? edge.ReversedA : edge.ReversedB;
    const TVec3D& p = Mesh.Vertices[std::size_t(reversed ? edge.V1 : edge.V0)];
    const TVec3D& q = Mesh.Vertices[std::size_t(reversed ? edge.V0 : edge.V1)];
    TVec3D away, farQ, farP;
    sub3D(&q, &light, &away);
    mul3D(&away, kExtrusion, &away);
    add3D(&q, &away, &farQ);
    sub3D(&p, &light, &away);
    mul3D(&away, kExtrusion, &away);
    add3D(&p, &away, &farP);
    AddQuad(p, q, farQ, farP);
}

void TVolume::ResetColor() const { glColor3f(1, 1, 1); }

// One call per pass, straight from the volume's arrays.
static_assert(sizeof(TTriangle) == 3 * sizeof(GLuint), "triangles are index triples GL can read");
void TVolume::DrawTriangles() const {
    if (VolumeTriangles.empty()) return;
    glVertexPointer(3, GL_FLOAT, 0, VolumeVertices.data());
    glDrawElements(GL_TRIANGLES, GLsizei(VolumeTriangles.size() * 3), GL_UNSIGNED_INT, VolumeTriangles.data());
}

// Counts in the stencil buffer the volume sides in front of each pixel
// (front faces up, back faces down), then halves every pixel left non-zero.
void TVolume::Render() const {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 0, 0xFFFFFFFFu);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    // The arrays are in client memory: no buffer object may be bound.
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    DrawTriangles();
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    glCullFace(GL_BACK);
    DrawTriangles();
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthFunc(GL_LESS);
    glStencilFunc(GL_NOTEQUAL, 0, 0xFFFFFFFFu);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glDepthMask(GL_TRUE);

    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    qSet2D();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, 0.5f);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(1024, 0);
    glVertex2f(1024, 768);
    glVertex2f(0, 768);
    glEnd();
    glColor4f(1, 1, 1, 1);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
}

} // namespace showcase
