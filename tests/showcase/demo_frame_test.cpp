// SPDX-License-Identifier: Zlib
// The demo's own procedures under the engine's window with the clock in the
// test's hands: the light's path, the scene's turn, the pose drawn against
// the pose the shadow is cast from (in the depth buffer), and the GL state a
// frame leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Demo.h"
#include "OpenGL.h"
#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"
#include "ShowcaseWindow.h"

namespace sc = showcase;

namespace {

const std::string kBin = QUELT_BIN_DIR;

int32_t now = 0;
int32_t FakeTimer() { return now; }

// What each indexed draw saw: the character is the one from its own buffer.
struct Draw {
    GLint buffer = 0;
    GLsizei count = 0;
    std::size_t offset = 0;
    GLfloat modelview[16] = {};
    std::vector<GLuint> indices;  // of a draw from client memory
    std::vector<GLfloat> vertices;
};
std::vector<Draw> draws;
sc::glDrawElements_fn realDrawElements = nullptr;

void RecordDraw(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
    Draw draw;
    draw.count = count;
    ::glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &draw.buffer);
    GLvoid* pointer = nullptr;
    ::glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    draw.offset = reinterpret_cast<std::size_t>(pointer);
    ::glGetFloatv(GL_MODELVIEW_MATRIX, draw.modelview);
    if (draw.buffer == 0 && type == GL_UNSIGNED_INT) {
        const auto* index = static_cast<const GLuint*>(indices);
        draw.indices.assign(index, index + count);
        const GLuint last = count ? *std::max_element(index, index + count) : 0;
        const auto* vertex = static_cast<const GLfloat*>(pointer);
        if (count) draw.vertices.assign(vertex, vertex + (last + 1) * 3);
    }
    draws.push_back(draw);
    realDrawElements(mode, count, type, indices);
}

class DemoFrame : public showcase_test::ShowcaseWindowTest {
protected:
    static void SetUpTestSuite() {
        ShowcaseWindowTest::SetUpTestSuite();
        sc::SetDemoAssets({kBin + "/Morrek.qmm", kBin + "/Morrek.tga", kBin + "/LandScape.qmm", kBin + "/Land.bmp"});
        sc::DemoInit();
        sc::qGetTimer = FakeTimer;
        realDrawElements = sc::glDrawElements;
        sc::glDrawElements = RecordDraw;
    }
    static void TearDownTestSuite() {
        sc::DemoDone();
        ShowcaseWindowTest::TearDownTestSuite();
    }

    void SetUp() override {
        ASSERT_TRUE(character_.Load(kBin + "/Morrek.qmm"));
        ::glGetIntegerv(GL_VIEWPORT, viewport_);
    }

    // The frame at `time`, and the one character draw it made.
    Draw RenderAt(int32_t time) {
        now = time;
        draws.clear();
        sc::DemoRender();
        std::vector<Draw> found;
        for (const Draw& d : draws)
            if (d.buffer != 0 && d.count == character_.FaceCount * 3) found.push_back(d);
        EXPECT_EQ(found.size(), 1u) << "character draws at t = " << time;
        return found.empty() ? Draw{} : found[0];
    }

    std::vector<float> ReadDepth() const {
        std::vector<float> depth(std::size_t(viewport_[2]) * std::size_t(viewport_[3]));
        ::glReadPixels(viewport_[0], viewport_[1], viewport_[2], viewport_[3], GL_DEPTH_COMPONENT, GL_FLOAT,
                       depth.data());
        return depth;
    }

    sc::TKeyFrameModel character_;
    GLint viewport_[4] = {};
};

} // namespace

TEST_F(DemoFrame, LightCirclesInDoublePrecision) {
    // A quarter turn (near (0, 200, 495)), ten days and the clock's last
    // value: a float clock is 64 or 128 ms coarse there, a jump of up to 125 units.
    for (int32_t t : {0, 785, 864000001, INT_MAX}) {
        now = t;
        sc::DemoUpdate();
        const TVec3D light = sc::DemoLightPosition();
        EXPECT_NEAR(light.x, 500 * std::cos(t / 500.0), 1e-3) << t;
        EXPECT_EQ(light.y, 200) << t;
        EXPECT_NEAR(light.z, 500 * std::sin(t / 500.0) - 5, 1e-3) << t;
    }
}

TEST_F(DemoFrame, CharacterIsDrawnInTheShadowsPoseAsTheSceneTurns) {
    sc::TVolume shadow(character_);  // built from the pose the demo's shadow uses
    for (int32_t t : {0, 350, 785, 1500, 90000}) {
        const Draw draw = RenderAt(t);
        EXPECT_EQ(draw.offset / 24 / std::size_t(character_.VertexCount), 0u) << "drawn frame at t = " << t;

        // One degree per second about Y, after 30 degrees about X, scaled by 0.01.
        const double turn = t / 1000.0 * M_PI / 180, tilt = M_PI / 6;
        EXPECT_NEAR(draw.modelview[0], 0.01 * std::cos(turn), 1e-6) << t;
        EXPECT_NEAR(draw.modelview[1], 0.01 * std::sin(turn) * std::sin(tilt), 1e-6) << t;
        EXPECT_NEAR(draw.modelview[2], -0.01 * std::sin(turn) * std::cos(tilt), 1e-6) << t;

        // The shadow's mesh under the same transform lands on the depths the
        // frame left wherever the character shows.
        const std::vector<float> frame = ReadDepth();
        ::glClear(GL_DEPTH_BUFFER_BIT);
        ::glMatrixMode(GL_MODELVIEW);
        ::glLoadMatrixf(draw.modelview);
        ::glEnable(GL_CULL_FACE);
        ::glBegin(GL_TRIANGLES);
        for (const sc::TTriangle& face : shadow.Mesh.Faces)
            for (int32_t v : face) ::glVertex3fv(&shadow.Mesh.Vertices[std::size_t(v)].x);
        ::glEnd();
        ::glDisable(GL_CULL_FACE);
        const std::vector<float> mesh = ReadDepth();
        std::size_t covered = 0, apart = 0;
        for (std::size_t i = 0; i < mesh.size(); ++i) {
            if (mesh[i] >= 1) continue;
            ++covered;
            apart += std::fabs(mesh[i] - frame[i]) > 1e-6f;
        }
        EXPECT_GT(covered, 1000u) << t;
        // The ground in front of the feet and the light's marker may hide a little.
        EXPECT_LT(apart, covered / 50) << "pixels where pose and shadow differ at t = " << t;
    }
}

TEST_F(DemoFrame, ShadowDrawnIsTheVolumeOfTheLastUpdatesLight) {
    now = 100;
    sc::DemoUpdate();
    const TVec3D light = sc::DemoLightPosition();
    now = 105;
    sc::DemoUpdate();  // rebuilds for `light`, then moves it on
    RenderAt(105);
    sc::TVolume expected(character_);
    expected.Update(light);
    ASSERT_FALSE(expected.VolumeTriangles.empty());
    std::size_t passes = 0;
    for (const Draw& d : draws) {
        if (d.buffer != 0) continue;
        ++passes;
        ASSERT_EQ(d.indices.size(), expected.VolumeTriangles.size() * 3);
        EXPECT_EQ(std::memcmp(d.indices.data(), expected.VolumeTriangles.data(), d.indices.size() * 4), 0);
        ASSERT_EQ(d.vertices.size(), expected.VolumeVertices.size() * 3);
        EXPECT_EQ(std::memcmp(d.vertices.data(), expected.VolumeVertices.data(), d.vertices.size() * 4), 0);
    }
    EXPECT_EQ(passes, 2u) << "one draw per stencil pass";
}

TEST_F(DemoFrame, FrameLeavesTheStateTheNextOneExpects) {
    RenderAt(1234);
    const struct {
        GLenum cap;
        GLboolean on;
    } caps[] = {{GL_DEPTH_TEST, GL_TRUE},        {GL_STENCIL_TEST, GL_FALSE},       {GL_BLEND, GL_FALSE},
                {GL_CULL_FACE, GL_FALSE},        {GL_TEXTURE_2D, GL_FALSE},         {GL_VERTEX_ARRAY, GL_FALSE},
                {GL_NORMAL_ARRAY, GL_FALSE},     {GL_TEXTURE_COORD_ARRAY, GL_FALSE}};
    for (const auto& c : caps) EXPECT_EQ(::glIsEnabled(c.cap), c.on) << std::hex << c.cap;
    const struct {
        GLenum name;
        GLint value;
    } values[] = {{GL_DEPTH_FUNC, GL_LESS},          {GL_DEPTH_WRITEMASK, GL_TRUE},
                  {GL_MATRIX_MODE, GL_MODELVIEW},    {GL_MODELVIEW_STACK_DEPTH, 1},
                  {GL_PROJECTION_STACK_DEPTH, 1},    {GL_ARRAY_BUFFER_BINDING, 0},
                  {GL_ELEMENT_ARRAY_BUFFER_BINDING, 0}};
    for (const auto& v : values) {
        GLint got = -1;
        ::glGetIntegerv(v.name, &got);
        EXPECT_EQ(got, v.value) << std::hex << v.name;
    }
    GLboolean colour[4] = {};
    ::glGetBooleanv(GL_COLOR_WRITEMASK, colour);
    for (GLboolean c : colour) EXPECT_TRUE(c);
}
