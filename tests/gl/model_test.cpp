// SPDX-License-Identifier: Zlib
// Loaded models drawn on a real context: pixels read back, display lists
// called, client-array state queried, vertex streams captured in feedback mode.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

#include <cstring>
#include <vector>

#include "GLFeedback.h"
#include "GLTestWindow.h"
#include "Model3dsWriter.h"
#include "QModel.h"
#include "SData.h"

namespace {

using namespace quelt::test;
using quelt::TAnimation;
using quelt::TModel;

const Rgba kWhite{255, 255, 255, 255};
const Rgba kBlack{0, 0, 0, 255};

class Loaded {
public:
    explicit Loaded(TAnimation* model) : model_(model) {}
    ~Loaded() { model_->Release(); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    TAnimation* operator->() const { return model_; }
    TAnimation& operator*() const { return *model_; }

private:
    TAnimation* model_;
};

Loaded FromBytes(const Bytes& file) {
    quelt::TData data(static_cast<std::uint32_t>(file.size()));
    if (!file.empty()) std::memcpy(data.Data(), file.data(), file.size());
    auto* model = new TAnimation;
    model->AddRef();
    model->Load3DS(data);
    return Loaded(model);
}

// A triangle in the part's XY plane (the file stores y as its third axis).
Bytes FlatTriangle(const std::string& name, Vec3 a, Vec3 b, Vec3 c, bool withFaces = true) {
    const Bytes vertices = VertexChunk({{a.x, 0, a.y}, {b.x, 0, b.y}, {c.x, 0, c.y}});
    return MeshObject(name, withFaces ? Join({vertices, FaceChunk({{0, 1, 2}})}) : vertices);
}

// Lower-left and upper-right halves of clip space.
Bytes TwoHalves() {
    return MainChunk(Chunk3ds(0x3D3D, Join({FlatTriangle("left", {-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}),
                                             FlatTriangle("right", {1, 1, 0}, {-1, 1, 0}, {1, -1, 0})})));
}

class ModelGL : public GLWindowTest {
protected:
    void SetUp() override {
        GLWindowTest::SetUp();
        if (HasFatalFailure()) return;
        StartFeedbackContext(); // one test draws in feedback mode
        ::glViewport(0, 0, window().DrawableWidth(), window().DrawableHeight());
        ::glMatrixMode(GL_PROJECTION);
        ::glLoadIdentity();
        ::glMatrixMode(GL_MODELVIEW);
        ::glLoadIdentity();
        for (GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_DEPTH_TEST, GL_CULL_FACE, GL_BLEND}) ::glDisable(cap);
        ::glColor3f(1, 1, 1);
        Clear();
    }
    static void Clear() {
        ::glClearColor(0, 0, 0, 1);
        ::glClear(GL_COLOR_BUFFER_BIT);
    }
    Rgba LowerLeft() { return window().ReadPixel(150, 650); }
    Rgba UpperRight() { return window().ReadPixel(870, 120); }
};

TEST_F(ModelGL, DrawFrameDrawsEveryPartAndLeavesTheMatrixAsItWas) {
    Loaded model(FromBytes(MainChunk(Chunk3ds(0x3D3D, FlatTriangle("left", {-1, -1, 0}, {1, -1, 0}, {-1, 1, 0})))));
    GLint depthBefore = 0, depthAfter = 0;
    ::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    model->DrawFrame(0);
    ::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore);
    EXPECT_TRUE(Near(LowerLeft(), kWhite));
    EXPECT_TRUE(Near(UpperRight(), kBlack));

    Loaded both(FromBytes(TwoHalves()));
    Clear();
    both->DrawFrame(0);
    EXPECT_TRUE(Near(LowerLeft(), kWhite));
    EXPECT_TRUE(Near(UpperRight(), kWhite));
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, EveryFrameOfALongSegmentDraws) {
    const Bytes objects = Chunk3ds(0x3D3D, FlatTriangle("left", {-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}));
    Loaded model(FromBytes(MainChunk(Join({objects, Chunk3ds(0xB000, FrameSegment(5, 70005))}))));
    for (int frame : {0, 65535, 65536, 70000}) {
        Clear();
        model->DrawFrame(frame);
        EXPECT_TRUE(Near(LowerLeft(), kWhite)) << frame;
    }
    Clear();
    model->DrawFrame(70001);
    EXPECT_TRUE(Near(LowerLeft(), kBlack));
}

// Lit from the viewer with no ambient light: a triangle facing the light is
// bright only when its own normals reach the pipeline, not the current one.
TEST_F(ModelGL, EveryDrawPathLightsThePartWithItsNormals) {
    Loaded model(FromBytes(TwoHalves()));
    TModel& part = *model->Parts[0];
    const GLfloat noAmbient[4] = {0, 0, 0, 1}, towardsViewer[4] = {0, 0, 1, 0};
    ::glLightModelfv(GL_LIGHT_MODEL_AMBIENT, noAmbient);
    ::glLightfv(GL_LIGHT0, GL_POSITION, towardsViewer);
    ::glEnable(GL_LIGHT0);
    const std::uint32_t list = model->BuildLists(0, 0);
    struct Path {
        const char* name;
        void (*draw)(TModel& part, std::uint32_t list);
    };
    const Path paths[] = {{"client arrays", [](TModel& p, std::uint32_t) { p.Draw(); }},
                          {"display list", [](TModel&, std::uint32_t l) { ::glCallList(l); }},
                          {"buffer objects", [](TModel& p, std::uint32_t) {
                              if (p.CreateBuffers()) p.Draw();
                          }}};
    for (const Path& path : paths) {
        Clear();
        ::glEnable(GL_LIGHTING);
        ::glNormal3f(0, 0, -1); // facing away: unlit
        path.draw(part, list);
        ::glDisable(GL_LIGHTING);
        const Rgba lit = LowerLeft();
        // Diffuse 0.8 of a full-strength light, whatever alpha the window keeps.
        EXPECT_TRUE(Near(Rgba{lit[0], lit[1], lit[2], 255}, Rgba{204, 204, 204, 255})) << path.name;
    }
    ::glDisable(GL_LIGHT0);
    ::glDeleteLists(list, 1);
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, FramesOutsideTheSegmentAndEmptyModelsDrawNothing) {
    Loaded model(FromBytes(TwoHalves()));
    ASSERT_EQ(model->Parts[0]->FrameCount(), 1);
    for (int frame : {1, -1, 1 << 30}) model->DrawFrame(frame);
    Loaded empty(FromBytes({}));
    empty->DrawFrame(0);
    GLint depth = 0;
    ::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_TRUE(Near(LowerLeft(), kBlack));
    EXPECT_TRUE(Near(UpperRight(), kBlack));
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, BuildListsCompilesPartIIntoListBasePlusI) {
    Loaded model(FromBytes(TwoHalves()));
    const std::uint32_t base = model->BuildLists(0, model->PartCount() - 1);
    ASSERT_NE(base, 0u);
    EXPECT_TRUE(::glIsList(base));
    EXPECT_TRUE(::glIsList(base + 1));

    ::glCallList(base);
    EXPECT_TRUE(Near(LowerLeft(), kWhite));
    EXPECT_TRUE(Near(UpperRight(), kBlack));
    Clear();
    ::glCallList(base + 1);
    EXPECT_TRUE(Near(LowerLeft(), kBlack));
    EXPECT_TRUE(Near(UpperRight(), kWhite));

    const std::uint32_t second = model->BuildLists(1, 1);
    ASSERT_NE(second, 0u);
    Clear();
    ::glCallList(second);
    EXPECT_TRUE(Near(UpperRight(), kWhite));
    EXPECT_TRUE(Near(LowerLeft(), kBlack));

    EXPECT_EQ(model->BuildLists(1, 0), 0u);
    EXPECT_EQ(model->BuildLists(0, 2), 0u);
    EXPECT_EQ(model->BuildLists(-1, 0), 0u);
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
    ::glDeleteLists(base, 2);
    ::glDeleteLists(second, 1);
}

TEST_F(ModelGL, DrawRestoresTheCallersClientArrays) {
    Loaded model(FromBytes(TwoHalves()));
    const TModel& part = *model->Parts[0];
    ASSERT_EQ(part.TexCoords.Count(), 0);

    static const GLfloat callerNormals[3] = {0, 0, 1};
    // A texture-coordinate array left on without data: the part has none, so
    // the draw must switch it off or read through a null pointer.
    ::glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    ::glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
    ::glDisableClientState(GL_VERTEX_ARRAY);
    ::glDisableClientState(GL_NORMAL_ARRAY);
    ::glNormalPointer(GL_FLOAT, 0, callerNormals);
    part.Draw();
    EXPECT_TRUE(::glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_FALSE(::glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(::glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(::glIsEnabled(GL_COLOR_ARRAY));
    void* pointer = nullptr;
    ::glGetPointerv(GL_NORMAL_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, callerNormals);
    EXPECT_TRUE(Near(LowerLeft(), kWhite));
    ::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, ListsEnableTheirArraysOrDisableThemWhenEmpty) {
    quelt::TVertexList vertices;
    quelt::TNormalList normals;
    quelt::TTexCoord2D uv;
    vertices.Allocate(2);
    normals.Allocate(2);
    uv.Allocate(2);
    vertices.Enable();
    normals.Enable();
    uv.Enable();
    GLint size = 0;
    void* pointer = nullptr;
    EXPECT_TRUE(::glIsEnabled(GL_VERTEX_ARRAY));
    ::glGetIntegerv(GL_VERTEX_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 3);
    ::glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, vertices.Cursor());
    EXPECT_TRUE(::glIsEnabled(GL_NORMAL_ARRAY));
    ::glGetPointerv(GL_NORMAL_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, normals.Cursor());
    EXPECT_TRUE(::glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    ::glGetIntegerv(GL_TEXTURE_COORD_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 2);

    vertices.Allocate(0);
    normals.Clear();
    uv.Allocate(0);
    vertices.Enable();
    normals.Enable();
    uv.Enable();
    EXPECT_FALSE(::glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(::glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(::glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, BufferObjectsDrawTheSamePixelsAsClientArrays) {
    Loaded model(FromBytes(TwoHalves()));
    TModel& part = *model->Parts[1];
    ASSERT_TRUE(part.CreateBuffers());
    EXPECT_TRUE(part.UseBuffers);
    EXPECT_NE(part.VertexBuffer, 0u);
    EXPECT_NE(part.IndexBuffer, 0u);
    part.Draw();
    EXPECT_TRUE(Near(UpperRight(), kWhite));
    EXPECT_TRUE(Near(LowerLeft(), kBlack));
    GLint bound = -1;
    ::glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    ::glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGL, PartsWithoutTrianglesDrawNothingInEitherPath) {
    Loaded model(FromBytes(MainChunk(Chunk3ds(0x3D3D, FlatTriangle("bare", {-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, false)))));
    const TModel& part = *model->Parts[0];
    ASSERT_EQ(part.Vertices.Count(), 3);
    part.Draw();
    part.DrawImmediate();
    EXPECT_TRUE(Near(LowerLeft(), kBlack));
    EXPECT_EQ(::glGetError(), GLenum(GL_NO_ERROR));
}

// Feedback captures each vertex with its texture coordinate, so it shows
// which attributes DrawImmediate sent with which position, in which order.
TEST_F(ModelGL, DrawImmediateSendsEachCornersAttributesWithItsPosition) {
    const Bytes mesh = Join({VertexChunk({{-0.5f, 0, -0.5f}, {0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f}}), FaceChunk({{2, 0, 1}}),
                             TexCoordChunk({{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}})});
    Loaded model(FromBytes(MainChunk(Chunk3ds(0x3D3D, MeshObject("m", mesh)))));
    const std::vector<GLfloat> buffer =
        CaptureFeedback(GL_3D_COLOR_TEXTURE, [&] { model->Parts[0]->DrawImmediate(); }, 256);
    // polygon token, count, then 3 x (x, y, z, r, g, b, a, s, t, r, q)
    ASSERT_EQ(buffer.size(), 2u + 3 * 11);
    EXPECT_EQ(buffer[0], GLfloat(GL_POLYGON_TOKEN));
    const int width = window().DrawableWidth();
    const float expected[3][4] = {{-0.5f, 0.5f, 0.5f, 0.6f}, {-0.5f, -0.5f, 0.1f, 0.2f}, {0.5f, -0.5f, 0.3f, 0.4f}};
    for (int corner = 0; corner < 3; ++corner) {
        const GLfloat* v = &buffer[2 + corner * 11];
        EXPECT_NEAR(v[0], (expected[corner][0] + 1) * width / 2, 1.0) << corner;
        EXPECT_NEAR(v[7], expected[corner][2], 1e-6) << corner;
        EXPECT_NEAR(v[8], expected[corner][3], 1e-6) << corner;
    }
    // The last corner's normal and texture coordinate stay current.
    GLfloat normal[3], uv[4];
    ::glGetFloatv(GL_CURRENT_NORMAL, normal);
    ::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, uv);
    const TVec3D n = model->Parts[0]->Normals.GetItem(1);
    EXPECT_FLOAT_EQ(normal[2], n.z);
    EXPECT_NEAR(normal[2], 1, 1e-6);
    EXPECT_FLOAT_EQ(uv[0], 0.3f);
}

} // namespace
