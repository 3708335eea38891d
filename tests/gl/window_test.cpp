// The real engine window under Xvfb: framebuffer, presenting, the loop's
// frame count, real input events and the windowed screen mode.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "GLTestWindow.h"
#include "QCore.h"
#include "QWin.h"
#include "platform/GL.h"

namespace {

using quelt::test::GLWindowTest;
using quelt::test::Rgba;

TEST_F(GLWindowTest, OpensWithDepthStencilAndLogicalSize) {
    GLint depth = 0, stencil = 0, red = 0, doubleBuffered = 0;
    ::glGetIntegerv(GL_DEPTH_BITS, &depth);
    ::glGetIntegerv(GL_STENCIL_BITS, &stencil);
    ::glGetIntegerv(GL_RED_BITS, &red);
    ::glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_GE(depth, 24);
    EXPECT_GE(stencil, 8);
    EXPECT_EQ(red, 8);
    EXPECT_TRUE(doubleBuffered);
    EXPECT_EQ(window().DrawableWidth(), 1024);
    EXPECT_EQ(window().DrawableHeight(), 768);
    EXPECT_NE(quelt::GetHDC(), 0u);
    EXPECT_NE(quelt::WindowContext(), 0u);
    // The engine's own bound entry points reach the same context.
    EXPECT_NE(quelt::glGetString(GL_VERSION), nullptr);
}

TEST_F(GLWindowTest, ClearReadsBackAndFinishRenderPresents) {
    ::glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    // A green block in the top-left corner checks the read-back orientation.
    ::glEnable(GL_SCISSOR_TEST);
    ::glScissor(0, 768 - 10, 20, 10);
    ::glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glDisable(GL_SCISSOR_TEST);

    EXPECT_EQ(window().ReadPixel(5, 5), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(window().ReadPixel(25, 5), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(window().ReadPixel(5, 15), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(window().ReadPixel(1023, 767), (Rgba{255, 0, 0, 255}));

    quelt::FinishRender();
    EXPECT_EQ(window().ReadPresentedPixel(5, 5), (std::vector<std::uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(window().ReadPresentedPixel(500, 500), (std::vector<std::uint8_t>{255, 0, 0, 255}));
}

TEST(GLWindowLifecycle, TokenAndContextGoWithTheWindow) {
    std::uint32_t first = 0;
    {
        quelt::test::GLTestWindow window;
        ASSERT_TRUE(window.ok());
        first = quelt::GetHDC();
        EXPECT_NE(first, 0u);
        EXPECT_EQ(quelt::CurrentPlatform().CurrentContext(), quelt::WindowContext());
    }
    EXPECT_EQ(quelt::GetHDC(), 0u);
    EXPECT_EQ(quelt::WindowContext(), 0u);
    quelt::test::GLTestWindow again;
    ASSERT_TRUE(again.ok());
    EXPECT_NE(quelt::GetHDC(), 0u);
    EXPECT_NE(quelt::GetHDC(), first);
}

} // namespace
