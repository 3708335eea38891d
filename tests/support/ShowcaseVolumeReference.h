// SPDX-License-Identifier: Zlib
// The shadow volume's construction exactly as first written: every corner
// against every vertex so far, every pair of triangles, both planes rebuilt
// per edge and the arrays grown one quad at a time. Tests compare the hashed
// construction with it; the benchmark times both.
#pragma once

#include <vector>

#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"

namespace showcase_test {

using showcase::TPlane;
using showcase::TTriangle;
using showcase::TVolumeEdge;

struct Reference {
    std::vector<TVec3D> vertices;
    std::vector<TTriangle> faces;
    std::vector<TVolumeEdge> edges;
    std::vector<TVec3D> volumeVertices;
    std::vector<TTriangle> volumeTriangles;

    int32_t AddVertex(const TVec3D& p) {
        for (std::size_t i = 0; i < vertices.size(); ++i)
            if (double(showcase::dist3D(&vertices[i], &p)) < 1e-8) return static_cast<int32_t>(i);
        vertices.push_back(p);
        return static_cast<int32_t>(vertices.size() - 1);
    }

    void AddEdge(int32_t i, int32_t j, int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
        TVolumeEdge e{};
        e.V0 = a0;
        e.V1 = a1;
        e.ReversedA = false;
        if (a1 < a0) {
            e.V0 = a1;
            e.V1 = a0;
            e.ReversedA = true;
        }
        e.ReversedB = b0 > b1;
        e.FaceA = i;
        e.FaceB = j;
        e.Silhouette = false;
        edges.push_back(e);
    }

    explicit Reference(const showcase::TKeyFrameModel& model) {
        faces.resize(std::size_t(model.FaceCount));
        for (int32_t i = 0; i < model.FaceCount; ++i)
            for (int k = 0; k < 3; ++k)
                faces[std::size_t(i)][std::size_t(k)] =
                    AddVertex(model.Positions[std::size_t(model.Faces[std::size_t(i)][std::size_t(k)])]);
        for (std::size_t i = 0; i < faces.size(); ++i)
            for (std::size_t j = i + 1; j < faces.size(); ++j)
                for (int k = 0; k < 3; ++k)
                    for (int l = 0; l < 3; ++l) {
                        const int32_t a0 = faces[i][std::size_t(k)], a1 = faces[i][std::size_t((k + 1) % 3)];
                        const int32_t b0 = faces[j][std::size_t(l)], b1 = faces[j][std::size_t((l + 1) % 3)];
                        if (b0 == a0 && b1 == a1) AddEdge(int32_t(i), int32_t(j), a0, a1, b0, b1);
                        if (b1 == a0 && b0 == a1) AddEdge(int32_t(i), int32_t(j), a0, a1, b0, b1);
                    }
        Update(TVec3D{0, 100, 0});
    }

    void Update(const TVec3D& light) {
        volumeVertices.clear();
        volumeTriangles.clear();
        for (TVolumeEdge& e : edges) {
            const TTriangle& fa = faces[std::size_t(e.FaceA)];
            const TTriangle& fb = faces[std::size_t(e.FaceB)];
            TPlane* a = new TPlane(vertices[std::size_t(fa[0])], vertices[std::size_t(fa[1])], vertices[std::size_t(fa[2])]);
            TPlane* b = new TPlane(vertices[std::size_t(fb[0])], vertices[std::size_t(fb[1])], vertices[std::size_t(fb[2])]);
            const float dA = a->Distance(light), dB = b->Distance(light);
            if (dA * dB >= 0) {
                e.Silhouette = false;
            } else {
                TVec3D p, q;
                if (dA > 0) {
                    p = vertices[std::size_t(e.ReversedA ? e.V1 : e.V0)];
                    q = vertices[std::size_t(e.ReversedA ? e.V0 : e.V1)];
                } else {
                    p = vertices[std::size_t(e.ReversedB ? e.V1 : e.V0)];
                    q = vertices[std::size_t(e.ReversedB ? e.V0 : e.V1)];
                }
                TVec3D d, q2, p2;
                showcase::sub3D(&q, &light, &d);
                showcase::mul3D(&d, 500, &d);
                showcase::add3D(&q, &d, &q2);
                showcase::sub3D(&p, &light, &d);
                showcase::mul3D(&d, 500, &d);
                showcase::add3D(&p, &d, &p2);
                const int32_t n = static_cast<int32_t>(volumeVertices.size());
                volumeVertices.push_back(p);
                volumeVertices.push_back(q);
                volumeVertices.push_back(q2);
                volumeVertices.push_back(p2);
                volumeTriangles.push_back({n, n + 1, n + 3});
                volumeTriangles.push_back({n + 1, n + 2, n + 3});
                e.Silhouette = true;
            }
            delete a;
            delete b;
        }
    }
};

} // namespace showcase_test
