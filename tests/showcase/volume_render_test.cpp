// SPDX-License-Identifier: Zlib
// The shadow volume drawn on a real context: a box lit by a point light casts
// onto a plane; shadowed pixels come out at half their brightness and every
// other pixel is left exactly as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "OpenGL.h"
#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"
#include "ShowcaseWindow.h"

using showcase::TKeyFrameModel;
using showcase::TTriangle;
using showcase::TVolume;
namespace sc = showcase;

namespace {

constexpr float kPlaneZ = -10;
constexpr float kAspect = 1024.0f / 768.0f;

class VolumeRender : public showcase_test::ShowcaseWindowTest {
protected:
    void SetUp() override {
        sc::glGetIntegerv(GL_VIEWPORT, viewport_);
        ASSERT_GT(viewport_[2], 0);
    }

    // Window position of a point seen through qSet3D(90, ...) from the origin.
    void Project(float x, float y, float z, int& wx, int& wy) const {
        const float nx = x / -z / kAspect, ny = y / -z;
        wx = viewport_[0] + int((nx + 1) / 2 * float(viewport_[2]));
        wy = viewport_[1] + int((ny + 1) / 2 * float(viewport_[3]));
    }

    std::vector<uint8_t> ReadFrame() const {
        std::vector<uint8_t> rgb(std::size_t(viewport_[2]) * std::size_t(viewport_[3]) * 3);
        sc::glFinish();
        sc::glPixelStorei(GL_PACK_ALIGNMENT, 1);
        sc::glReadBuffer(GL_BACK);
        sc::glReadPixels(viewport_[0], viewport_[1], viewport_[2], viewport_[3], GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }

    std::size_t Offset(int wx, int wy) const {
        return (std::size_t(wy - viewport_[1]) * std::size_t(viewport_[2]) + std::size_t(wx - viewport_[0])) * 3;
    }

    // A lit scene: a plane at z = -10 and, when given, the box in front of it.
    void DrawScene(const TKeyFrameModel* box) const {
        sc::glClearColor(0, 0, 0, 0);
        sc::glClearStencil(0);
        sc::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        sc::qSet3D(90, 0.1f, 100);
        sc::glMatrixMode(GL_MODELVIEW);
        sc::glLoadIdentity();
        sc::glEnable(GL_DEPTH_TEST);
        sc::glDepthFunc(GL_LESS);
        sc::glDisable(GL_TEXTURE_2D);
        sc::glColor3f(0.8f, 0.6f, 0.4f);
        const GLfloat corners[4][3] = {{-40, -40, kPlaneZ}, {40, -40, kPlaneZ}, {40, 40, kPlaneZ}, {-40, 40, kPlaneZ}};
        sc::glBegin(GL_QUADS);
        for (const auto& c : corners) sc::glVertex3fv(c);
        sc::glEnd();
        if (box) {
            sc::glColor3f(0.2f, 0.9f, 0.2f);
            box->Draw(0, 0);
        }
    }

    GLint viewport_[4] = {0, 0, 0, 0};
};

// The box [-1, 1] x [-1, 1] x [-6, -4], wound outwards.
void MakeBox(TKeyFrameModel& model) {
    std::vector<TVec3D> corners;
    for (int i = 0; i < 8; ++i) corners.push_back({i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? -4.f : -6.f});
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    std::vector<TTriangle> faces;
    for (const auto& q : quads)
        for (const TTriangle t : {TTriangle{q[0], q[1], q[2]}, TTriangle{q[0], q[2], q[3]}}) {
            const TVec3D a = corners[std::size_t(t[0])], b = corners[std::size_t(t[1])], c = corners[std::size_t(t[2])];
            const float nx = (b.y - a.y) * (c.z - a.z) - (b.z - a.z) * (c.y - a.y);
            const float ny = (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z);
            const float nz = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
            const float out = nx * (a.x + b.x + c.x) + ny * (a.y + b.y + c.y) + nz * (a.z + b.z + c.z + 15);
            faces.push_back(out > 0 ? t : TTriangle{t[0], t[2], t[1]});
        }
    model.Loaded = true;
    model.VertexCount = 8;
    model.FrameCount = 1;
    model.FaceCount = 12;
    model.Positions = corners;
    model.Normals.assign(8, TVec3D{});
    model.TexCoords.assign(8, TVec2D{});
    model.Faces = faces;
    model.Animations = {{"box", 0, 0}};
}

bool Halved(const uint8_t* before, const uint8_t* after) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(2 * int(after[c]) - int(before[c])) > 2) return false;
    return true;
}

} // namespace

TEST_F(VolumeRender, BoxShadowHalvesExactlyTheShadowedPixels) {
    TKeyFrameModel box;
    MakeBox(box);
    TVolume volume(box);
    TVec3D light;
    sc::vec3D(3, 0, -2, &light);
    volume.Update(light);
    ASSERT_FALSE(volume.VolumeTriangles.empty());

    DrawScene(&box);
    const std::vector<uint8_t> before = ReadFrame();
    volume.ResetColor();
    volume.Render();
    const std::vector<uint8_t> after = ReadFrame();

    // Every pixel is either untouched or halved.
    std::size_t halved = 0, untouched = 0;
    for (std::size_t i = 0; i < before.size(); i += 3) {
        if (before[i] == after[i] && before[i + 1] == after[i + 1] && before[i + 2] == after[i + 2])
            ++untouched;
        else if (Halved(&before[i], &after[i]))
            ++halved;
    }
    EXPECT_EQ(halved + untouched, before.size() / 3);
    EXPECT_GT(halved, 1000u);

    // The box's shadow on the plane spans x from -13 to -1 (wider at the far end).
    struct Sample {
        float x, y, z;
        bool shadowed;
    };
    for (const Sample s : {Sample{-5, 0, kPlaneZ, true}, Sample{-8, 1, kPlaneZ, true}, Sample{-10, -2.5f, kPlaneZ, true},
                           Sample{5, 0, kPlaneZ, false}, Sample{0, 6, kPlaneZ, false},
                           Sample{-5, 6, kPlaneZ, false}, Sample{-10, 7, kPlaneZ, false},
                           Sample{0, 0, -4, false} /* the lit front of the box */}) {
        int wx, wy;
        Project(s.x, s.y, s.z, wx, wy);
        const std::size_t at = Offset(wx, wy);
        if (s.shadowed) {
            EXPECT_TRUE(Halved(&before[at], &after[at]) && before[at] != after[at])
                << "(" << s.x << ", " << s.y << ") " << int(before[at]) << " -> " << int(after[at]);
        } else {
            EXPECT_TRUE(before[at] == after[at] && before[at + 1] == after[at + 1] && before[at + 2] == after[at + 2])
                << "(" << s.x << ", " << s.y << ") " << int(before[at]) << " -> " << int(after[at]);
        }
    }
    // The plane's own colour is what was halved: 204 -> 102.
    int wx, wy;
    Project(-5, 0, kPlaneZ, wx, wy);
    EXPECT_NEAR(after[Offset(wx, wy)], 102, 1);

    // The passes leave the stencil test off and the depth test on.
    GLint stencil = -1, depth = -1;
    sc::glGetIntegerv(GL_STENCIL_TEST, &stencil);
    sc::glGetIntegerv(GL_DEPTH_TEST, &depth);
    EXPECT_EQ(stencil, 0);
    EXPECT_EQ(depth, 1);
}

TEST_F(VolumeRender, EmptyVolumeDarkensNothing) {
    TKeyFrameModel empty;
    TVolume volume(empty);
    DrawScene(nullptr);
    const std::vector<uint8_t> before = ReadFrame();
    volume.ResetColor();
    volume.Render();
    EXPECT_EQ(ReadFrame(), before);

    // A light inside the box gives no silhouette either.
    TKeyFrameModel box;
    MakeBox(box);
    TVolume inside(box);
    TVec3D centre;
    sc::vec3D(0, 0, -5, &centre);
    inside.Update(centre);
    EXPECT_TRUE(inside.VolumeTriangles.empty());
    DrawScene(&box);
    const std::vector<uint8_t> lit = ReadFrame();
    inside.Render();
    EXPECT_EQ(ReadFrame(), lit);
}
