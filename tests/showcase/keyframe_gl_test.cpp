// SPDX-License-Identifier: Zlib
// Key-frame models on a real context: the buffer objects' sizes and layout
// read back from GL, and the frame Draw picks seen in the pixels, through
// the buffers and through the immediate path.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "OpenGL.h"
#include "QKeyFrameModel.h"
#include "Quelt.h"
#include "ShowcaseWindow.h"
#include "ShowcaseQmm.h"

using showcase::TKeyFrameModel;
using showcase_test::QmmFile;
namespace sc = showcase;

namespace {

class KeyFrameGL : public showcase_test::ShowcaseWindowTest {
protected:
    static GLint BufferSize(GLenum target, GLuint buffer) {
        GLint size = -1;
        sc::glBindBufferARB(target, buffer);
        sc::glGetBufferParameterivARB(target, GL_BUFFER_SIZE_ARB, &size);
        sc::glBindBufferARB(target, 0);
        return size;
    }

    static std::array<uint8_t, 3> Pixel(int x, int y) {
        std::array<uint8_t, 3> rgb{};
        sc::glPixelStorei(GL_PACK_ALIGNMENT, 1);
        sc::glReadBuffer(GL_BACK);
        sc::glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};

} // namespace

TEST_F(KeyFrameGL, BuffersHoldTheInterleavedFramesAndSixteenBitIndices) {
    QmmFile file;
    file.vertexCount = 100;
    for (int f = 0; f < 10; ++f) {
        std::vector<TVec3D> frame;
        for (int v = 0; v < 100; ++v) frame.push_back({float(f), float(v), float(f * 1000 + v)});
        file.frames.push_back(frame);
    }
    for (int v = 0; v < 100; ++v) file.texCoords.push_back({float(v) / 100, 0.5f});
    for (int t = 0; t < 50; ++t) file.faces.push_back({t, t + 1, t + 2});
    file.animations = {{"all", 0, 9}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "big.qmm"));

    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("big.qmm"));
    ASSERT_TRUE(model.Uploaded);
    EXPECT_EQ(BufferSize(GL_ARRAY_BUFFER_ARB, model.VertexBuffer), 24800);
    EXPECT_EQ(BufferSize(GL_ELEMENT_ARRAY_BUFFER_ARB, model.IndexBuffer), 300);

    std::vector<float> block(24800 / 4);
    sc::glBindBufferARB(GL_ARRAY_BUFFER_ARB, model.VertexBuffer);
    sc::glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, 24800, block.data());
    sc::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    // Record of frame 7, vertex 42: position then normal.
    const std::size_t record = (7 * 100 + 42) * 6;
    EXPECT_EQ(block[record + 0], 7.0f);
    EXPECT_EQ(block[record + 1], 42.0f);
    EXPECT_EQ(block[record + 2], 7042.0f);
    EXPECT_EQ(block[record + 3], model.Normals[742].x);
    EXPECT_EQ(block[record + 5], model.Normals[742].z);
    // Texture coordinates follow all the frames.
    EXPECT_EQ(block[1000 * 6 + 2 * 42], 0.42f);
    EXPECT_EQ(block[1000 * 6 + 2 * 42 + 1], 0.5f);

    std::vector<uint16_t> indices(150);
    sc::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, model.IndexBuffer);
    sc::glGetBufferSubDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0, 300, indices.data());
    sc::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[149], 51);

    // Clear and destruction give the buffer objects back.
    const GLuint vertexBuffer = model.VertexBuffer, indexBuffer = model.IndexBuffer;
    EXPECT_TRUE(sc::glIsBufferARB(vertexBuffer));
    model.Clear();
    EXPECT_FALSE(sc::glIsBufferARB(vertexBuffer));
    EXPECT_FALSE(sc::glIsBufferARB(indexBuffer));
    EXPECT_FALSE(model.Uploaded);
    {
        TKeyFrameModel scoped;
        ASSERT_TRUE(scoped.Load("big.qmm"));
        ASSERT_TRUE(sc::glIsBufferARB(scoped.VertexBuffer));
        ASSERT_NE(scoped.VertexBuffer, 0u);
    }
    EXPECT_FALSE(sc::glIsBufferARB(vertexBuffer));
}

TEST_F(KeyFrameGL, IndicesAboveSixteenBitsKeepTheirLowBits) {
    QmmFile file;
    file.vertexCount = 65540;
    file.frames.assign(1, std::vector<TVec3D>(65540, TVec3D{0, 0, 0}));
    file.texCoords.assign(65540, TVec2D{0, 0});
    file.faces = {{65536, 65537, 65539}};
    file.animations = {{"one", 0, 0}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "wide.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("wide.qmm"));
    std::array<uint16_t, 3> indices{};
    sc::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, model.IndexBuffer);
    sc::glGetBufferSubDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0, 6, indices.data());
    sc::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    EXPECT_EQ(indices, (std::array<uint16_t, 3>{0, 1, 3}));
}

TEST_F(KeyFrameGL, DrawShowsTheSelectedFrameOnBothPaths) {
    // Frame 0 covers the left half of the view, frame 1 the right half.
    QmmFile file;
    file.vertexCount = 3;
    file.frames = {{{-0.9f, -0.9f, 0}, {-0.1f, -0.9f, 0}, {-0.5f, 0.9f, 0}},
                   {{0.1f, -0.9f, 0}, {0.9f, -0.9f, 0}, {0.5f, 0.9f, 0}}};
    file.texCoords.assign(3, TVec2D{0, 0});
    file.faces = {{0, 1, 2}};
    file.animations = {{"idle", 0, 1}, {"still", 1, 1}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "frames.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("frames.qmm"));

    GLint viewport[4];
    sc::glGetIntegerv(GL_VIEWPORT, viewport);
    const int leftX = viewport[0] + viewport[2] / 4, rightX = viewport[0] + viewport[2] * 3 / 4;
    const int midY = viewport[1] + viewport[3] / 2;
    sc::glMatrixMode(GL_PROJECTION);
    sc::glLoadIdentity();
    sc::glMatrixMode(GL_MODELVIEW);
    sc::glLoadIdentity();
    sc::glDisable(GL_DEPTH_TEST);
    sc::glDisable(GL_CULL_FACE);
    sc::glDisable(GL_TEXTURE_2D);
    sc::glColor3f(1, 1, 1);

    const std::array<uint8_t, 3> white{255, 255, 255}, black{0, 0, 0};
    for (const bool buffers : {true, false}) {
        model.Uploaded = buffers;  // false: the immediate path
        struct Case {
            int32_t animation, frame;
            bool left;
        };
        for (const Case c : {Case{0, 0, true}, Case{0, 1, false}, Case{0, 2, true}, Case{0, -1, false},
                             Case{0, -2, true}, Case{1, -1, false}, Case{1, 0, false}}) {
            sc::glClearColor(0, 0, 0, 0);
            sc::glClear(GL_COLOR_BUFFER_BIT);
            model.Draw(c.animation, c.frame);
            sc::glFinish();
            EXPECT_EQ(Pixel(leftX, midY), c.left ? white : black)
                << (buffers ? "buffers" : "immediate") << " animation " << c.animation << " frame " << c.frame;
            EXPECT_EQ(Pixel(rightX, midY), c.left ? black : white)
                << (buffers ? "buffers" : "immediate") << " animation " << c.animation << " frame " << c.frame;
        }
        // Unknown animations draw nothing.
        sc::glClear(GL_COLOR_BUFFER_BIT);
        model.Draw(2, 0);
        model.Draw(-1, 0);
        sc::glFinish();
        EXPECT_EQ(Pixel(leftX, midY), black);
        EXPECT_EQ(Pixel(rightX, midY), black);
    }
    model.Uploaded = true;
}
