// SPDX-License-Identifier: Zlib
// Pbuffers and the frustum against a real context: rendering into the
// off-screen surface, reading it back as a texture in the window's context.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "GLTestWindow.h"
#include "QFrustum.h"
#include "QPBuffer.h"
#include "c_interface.h"

namespace {

using quelt::test::GLWindowTest;
using quelt::test::Near;
using quelt::test::Rgba;

class PBufferTest : public GLWindowTest {
protected:
    IPBuffer* Make(int width, int height, int flags) {
        IPBuffer* pbuffer = nullptr;
        quelt::CreatePBuffer(&pbuffer, width, height, flags, true);
        return pbuffer;
    }
    quelt::TPBuffer& Impl(IPBuffer* pbuffer) { return *static_cast<quelt::TPBuffer*>(pbuffer); }
};

Rgba PixelOfCurrentFramebuffer(int x, int y) {
    Rgba pixel{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    return pixel;
}

void Quad(float x0, float x1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, -1, z);
    glVertex3f(x1, -1, z);
    glVertex3f(x1, 1, z);
    glVertex3f(x0, 1, z);
    glEnd();
}

TEST_F(PBufferTest, RendersWithDepthAndShowsThroughTheTexture) {
    IPBuffer* pbuffer = Make(256, 256, 0x043);
    ASSERT_NE(pbuffer, nullptr);
    ASSERT_TRUE(pbuffer->Initialize());
    EXPECT_EQ(pbuffer->GetTarget(), static_cast<uint32_t>(GL_TEXTURE_2D));
    EXPECT_EQ(pbuffer->GetWidth(), 256);
    EXPECT_EQ(pbuffer->GetHeight(), 256);
    EXPECT_TRUE(pbuffer->GetShareLists());
    EXPECT_FALSE(pbuffer->IsLost());
    // RGBA, 24-bit depth, single-buffered, bindable as an RGBA texture.
    const quelt::TAttrInt& format = Impl(pbuffer).PixelFormatRequest();
    const std::vector<int32_t> expected = {0x2010, 1, 0x202D, 1, 0x2013, 0x202B, 0x2015, 8, 0x2017, 8, 0x2019, 8,
                                           0x2011, 0, 0x201B, 8, 0x2022, 24, 0x2071, 1, 0, 0};
    EXPECT_EQ(std::vector<int32_t>(format.Data(), format.Data() + expected.size()), expected);

    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glDisable(GL_DEPTH_TEST);
    const uint32_t windowRC = static_cast<uint32_t>(quelt::CurrentPlatform().CurrentContext());

    ASSERT_TRUE(pbuffer->Enable());
    EXPECT_NE(static_cast<uint32_t>(quelt::CurrentPlatform().CurrentContext()), windowRC);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glColor3f(1, 0, 0);
    Quad(-1, 0, -0.5f); // near, left half
    glColor3f(0, 1, 0);
    Quad(-1, 1, 0.5f); // far, everywhere: hidden on the left
    EXPECT_TRUE(Near(PixelOfCurrentFramebuffer(64, 128), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(Near(PixelOfCurrentFramebuffer(192, 128), Rgba{0, 255, 0, 255}));
    ASSERT_TRUE(pbuffer->Disable());
    EXPECT_FALSE(pbuffer->Disable());

    EXPECT_EQ(static_cast<uint32_t>(quelt::CurrentPlatform().CurrentContext()), windowRC);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[2], 0.3f);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

    // Draw the texture over the whole window.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    EXPECT_EQ(pbuffer->BindToTexture(QPB_FRONT_LEFT), 1);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    EXPECT_EQ(pbuffer->ReleaseFromTexture(QPB_FRONT_LEFT), 1);
    EXPECT_TRUE(Near(window().ReadPixel(256, 384), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(Near(window().ReadPixel(768, 384), Rgba{0, 255, 0, 255}));

    const GLuint texture = pbuffer->GetTexture();
    EXPECT_TRUE(glIsTexture(texture));
    pbuffer->FreeResources();
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_EQ(pbuffer->Release(), 0);
}

TEST_F(PBufferTest, CubeFacesReceiveTheirOwnRendering) {
    IPBuffer* pbuffer = Make(32, 32, 0x081);
    ASSERT_TRUE(pbuffer->Initialize());
    EXPECT_EQ(pbuffer->GetTarget(), static_cast<uint32_t>(GL_TEXTURE_CUBE_MAP));
    const std::array<Rgba, 6> colours = {Rgba{255, 0, 0, 255}, Rgba{0, 255, 0, 255}, Rgba{0, 0, 255, 255},
                                         Rgba{255, 255, 0, 255}, Rgba{0, 255, 255, 255}, Rgba{255, 0, 255, 255}};
    ASSERT_TRUE(pbuffer->Enable());
    for (int face = 0; face < 6; ++face) {
        pbuffer->SetCubeFace(QPB_CUBE_POSITIVE_X + face);
        glClearColor(colours[face][0] / 255.0f, colours[face][1] / 255.0f, colours[face][2] / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Faces outside the six, down to the most negative value, are refused and
    // leave -Z selected.
    for (int32_t bad : {INT32_MIN, QPB_CUBE_POSITIVE_X - 1, QPB_CUBE_NEGATIVE_Z + 1, INT32_MAX})
        EXPECT_EQ(pbuffer->SetAttribute(0x207C, bad), 0) << bad;
    pbuffer->SetCubeFace(INT32_MIN);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(pbuffer->Disable());
    glBindTexture(GL_TEXTURE_CUBE_MAP, pbuffer->GetTexture());
    for (int face = 0; face < 6; ++face) {
        std::vector<uint8_t> texels(32 * 32 * 4);
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        EXPECT_TRUE(Near(Rgba{texels[0], texels[1], texels[2], texels[3]}, colours[face])) << "face " << face;
        EXPECT_TRUE(Near(Rgba{texels[4 * 600], texels[4 * 600 + 1], texels[4 * 600 + 2], 255}, colours[face]));
    }
    pbuffer->FreeResources();
    EXPECT_EQ(pbuffer->Release(), 0);
}

TEST_F(PBufferTest, TargetsFollowTheFlags) {
    IPBuffer* oneD = Make(128, 64, 0x0A0); // 1D wins over cube map
    ASSERT_TRUE(oneD->Initialize());
    EXPECT_EQ(oneD->GetTarget(), static_cast<uint32_t>(GL_TEXTURE_1D));
    EXPECT_EQ(oneD->GetWidth(), 128);
    EXPECT_EQ(oneD->GetHeight(), 1);
    ASSERT_TRUE(oneD->Enable());
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(oneD->Disable());
    glBindTexture(GL_TEXTURE_1D, oneD->GetTexture());
    std::vector<uint8_t> row(128 * 4);
    glGetTexImage(GL_TEXTURE_1D, 0, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
    EXPECT_TRUE(Near(Rgba{row[400], row[401], row[402], row[403]}, Rgba{0, 0, 255, 255}));
    oneD->Release(); // frees its resources itself

    IPBuffer* plain = Make(64, 64, 0);
    ASSERT_TRUE(plain->Initialize());
    EXPECT_EQ(plain->GetTarget(), 0u);
    EXPECT_EQ(Impl(plain).PbufferRequest().Count(), 0);
    EXPECT_EQ(plain->BindToTexture(QPB_FRONT_LEFT), 0);
    ASSERT_TRUE(plain->Enable());
    glClearColor(1, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(Near(PixelOfCurrentFramebuffer(10, 10), Rgba{255, 255, 0, 255}));
    ASSERT_TRUE(plain->Disable());
    plain->FreeResources();
    plain->Release();
}

TEST_F(PBufferTest, RefusalsAndCleanUp) {
    IPBuffer* pbuffer = Make(64, 64, 0x040);
    EXPECT_FALSE(pbuffer->Disable()); // never enabled
    ASSERT_TRUE(pbuffer->Initialize());
    pbuffer->SetCubeFace(QPB_CUBE_NEGATIVE_Z); // a 2D pbuffer ignores it
    EXPECT_EQ(pbuffer->SetAttribute(0x207C, QPB_CUBE_NEGATIVE_Z), 0);
    EXPECT_EQ(pbuffer->BindToTexture(0x1234), 0);
    const GLuint first = pbuffer->GetTexture();
    EXPECT_FALSE(pbuffer->Initialize()); // once is enough
    EXPECT_EQ(pbuffer->GetTexture(), first);
    pbuffer->FreeResources();
    EXPECT_FALSE(glIsTexture(first));
    ASSERT_TRUE(pbuffer->Initialize()); // a fresh surface after freeing
    const GLuint texture = pbuffer->GetTexture();
    ASSERT_TRUE(glIsTexture(texture));
    EXPECT_EQ(pbuffer->Release(), 0); // without FreeResources: nothing may be left behind
    EXPECT_FALSE(glIsTexture(texture));

    IPBuffer* accum = Make(64, 64, 0x048); // no accumulation buffer on this platform
    EXPECT_FALSE(accum->Initialize());
    accum->Release();
    IPBuffer* empty = Make(0, 64, 0x040);
    EXPECT_FALSE(empty->Initialize());
    empty->Release();
}

// One life of a pbuffer per flag set, every call made through the C table.
// In its context the pbuffer is cleared to red with alpha 0; drawn over a
// green window with alpha blending, an RGB pbuffer's texture covers the green
// and an RGBA one lets it through.
struct FlagCase {
    int32_t flags;
    std::vector<int32_t> formatTail; // after the six pairs every request starts with
    std::vector<int32_t> pbufferList;
    GLenum target;
    GLint internalFormat, alphaBits;
};

struct Observed {
    const FlagCase* c = nullptr;
    GLint alphaBits = -1, alphaRead = -1;
    std::vector<GLint> parameters; // wrap S, wrap T, mag, min, generate mipmap, unpack alignment
    GLint internalFormat = 0, levelOneWidth = -1;
};

void WhileEnabled(void* user) {
    auto& seen = *static_cast<Observed*>(user);
    glGetIntegerv(GL_ALPHA_BITS, &seen.alphaBits);
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    seen.alphaRead = PixelOfCurrentFramebuffer(0, 0)[3];
}

void WhileBound(void* user) {
    auto& seen = *static_cast<Observed*>(user);
    const GLenum target = seen.c->target;
    if (target == 0) return;
    for (GLenum name : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_FILTER,
                        GL_GENERATE_MIPMAP}) {
        GLint value = -1;
        glGetTexParameteriv(target, name, &value);
        seen.parameters.push_back(value);
    }
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    seen.parameters.push_back(alignment);
    const GLenum image = target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X : target;
    glGetTexLevelParameteriv(image, 0, GL_TEXTURE_INTERNAL_FORMAT, &seen.internalFormat);
    glGetTexLevelParameteriv(image, 1, GL_TEXTURE_WIDTH, &seen.levelOneWidth);

    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(target);
    glColor4f(1, 1, 1, 1);
    glTexCoord3f(1, 0, 0); // inside every kind: the +X face of a cube map
    glBegin(GL_QUADS);
    glVertex2f(-1, -1), glVertex2f(1, -1), glVertex2f(1, 1), glVertex2f(-1, 1);
    glEnd();
    glDisable(target);
    glDisable(GL_BLEND);
}

TEST_F(PBufferTest, FlagSetsThroughTheCTable) {
    const std::vector<int32_t> single = {quelt::kDoubleBuffer, 0}, twice = {quelt::kDoubleBuffer, 1};
    const auto tail = [](std::vector<int32_t> head, std::vector<int32_t> more) {
        head.insert(head.end(), more.begin(), more.end());
        return head;
    };
    using namespace quelt;
    const std::vector<FlagCase> cases = {
        {0x040, tail(single, {kBindToTextureRgb, 1}), {kTextureFormat, kTextureRgb, kTextureTarget, kTexture2D},
         GL_TEXTURE_2D, GL_RGB8, 0},
        {0x141, tail(single, {kAlphaBits, 8, kBindToTextureRgba, 1}),
         {kTextureFormat, kTextureRgba, kTextureTarget, kTexture2D, kMipmapTexture, 1}, GL_TEXTURE_2D, GL_RGBA8, 8},
        {0x096, tail(twice, {kDepthBits, 24, kStencilBits, 8, kBindToTextureRgb, 1}),
         {kTextureFormat, kTextureRgb, kTextureTarget, kTextureCubeMap}, GL_TEXTURE_CUBE_MAP, GL_RGB8, 0},
        {0x121, tail(single, {kAlphaBits, 8, kBindToTextureRgba, 1}),
         {kTextureFormat, kTextureRgba, kTextureTarget, kTexture1D, kMipmapTexture, 1}, GL_TEXTURE_1D, GL_RGBA8, 8},
        {0x006, tail(single, {kDepthBits, 24, kStencilBits, 8}), {}, 0, 0, 0},
    };
    const std::vector<int32_t> common = {kSupportOpenGL, 1, kDrawToPbuffer, 1, kPixelType, kTypeRgba,
                                         kRedBits,       8, kGreenBits,     8, kBlueBits,  8};
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        const bool alpha = c.flags & QPB_ALPHA, mipmap = c.flags & QPB_MIPMAP;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        IPBuffer* pbuffer = Make(16, 16, c.flags);
        Observed seen;
        seen.c = &c;
        PBufferAnswers answers{};
        OpenPBufferFromC(pbuffer, WhileEnabled, WhileBound, &seen, &answers);

        const TAttrInt& format = Impl(pbuffer).PixelFormatRequest();
        const TAttrInt& request = Impl(pbuffer).PbufferRequest();
        EXPECT_EQ(std::vector<int32_t>(format.Data(), format.Data() + 2 * format.Count()), tail(common, c.formatTail));
        EXPECT_EQ(std::vector<int32_t>(request.Data(), request.Data() + 2 * request.Count()), c.pbufferList);

        EXPECT_TRUE(answers.checkSupport && answers.initialize && answers.shareLists && answers.errorCleared);
        EXPECT_FALSE(answers.secondInitialize || answers.isLost);
        EXPECT_EQ(answers.target, c.target);
        EXPECT_EQ(answers.width, 16);
        EXPECT_EQ(answers.height, c.target == GL_TEXTURE_1D ? 1 : 16);
        EXPECT_EQ(answers.texture, pbuffer->GetTexture());
        EXPECT_NE(answers.texture, 0u);
        EXPECT_EQ(answers.addRef, 2);
        EXPECT_TRUE(answers.enable && answers.disable);
        EXPECT_FALSE(answers.disableAgain);
        EXPECT_EQ(answers.cubeFaceSet, c.target == GL_TEXTURE_CUBE_MAP ? 1 : 0);
        EXPECT_EQ(answers.foreignBind, 0);
        EXPECT_EQ(answers.bind, c.target ? 1 : 0);
        EXPECT_EQ(answers.release, c.target ? 1 : 0);

        EXPECT_EQ(seen.alphaBits, c.alphaBits);
        EXPECT_EQ(seen.alphaRead, alpha ? 0 : 255);
        if (c.target) {
            const GLint minFilter = mipmap ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
            EXPECT_EQ(seen.parameters, (std::vector<GLint>{GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, minFilter,
                                                           mipmap ? GL_TRUE : GL_FALSE, 1}));
            EXPECT_EQ(seen.internalFormat, c.internalFormat);
            EXPECT_EQ(seen.levelOneWidth, mipmap ? 8 : 0); // the bind made the mipmaps
            EXPECT_TRUE(Near(window().ReadPixel(512, 384), alpha ? Rgba{0, 255, 0, 255} : Rgba{255, 0, 0, 255}));
        }
        EXPECT_EQ(ClosePBufferFromC(pbuffer), 0);
    }
}

TEST(AttrInt, TheZeroPairEndsTheList) {
    quelt::TAttrInt list;
    list.Create(20);
    for (int i = 1; i <= 7; ++i) EXPECT_TRUE(list.Add(i, i * 10));
    int pairs = 0;
    for (const int32_t* p = list.Data(); p[0] != 0; p += 2) ++pairs;
    EXPECT_EQ(pairs, 7);
    quelt::TAttrInt small;
    small.Create(2);
    EXPECT_TRUE(small.Add(1, 1));
    EXPECT_FALSE(small.Add(2, 2)); // would overwrite the terminator
    EXPECT_EQ(small.Data()[2], 0);
}

TEST_F(GLWindowTest, FrustumCalculateReadsTheCurrentMatrices) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -0.75, 0.75, 1, 50);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -5);
    IFrustum* frustum = nullptr;
    quelt::CreateFrustum(&frustum);
    frustum->Calculate();
    const TVec3D origin{0, 0, 0}, behindEye{0, 0, 6}, farAway{0, 0, -60};
    EXPECT_TRUE(frustum->PointIn(&origin));
    EXPECT_FALSE(frustum->PointIn(&behindEye));
    EXPECT_FALSE(frustum->PointIn(&farAway));
    TMatrix4 projection, modelView;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.m);
    IFrustum* reference = nullptr;
    quelt::CreateFrustum(&reference);
    reference->ExtractFromMatrices(&projection, &modelView);
    for (int i = 0; i < 6; ++i) {
        const auto& a = static_cast<quelt::TFrustum*>(frustum)->GetPlane(i);
        const auto& b = static_cast<quelt::TFrustum*>(reference)->GetPlane(i);
        EXPECT_EQ(a.a, b.a);
        EXPECT_EQ(a.d, b.d);
    }
    // The eye is at z = 5 looking down -z; the near plane lies 1 in front of it.
    const auto& nearPlane = static_cast<quelt::TFrustum*>(frustum)->GetPlane(quelt::TFrustum::kNear);
    EXPECT_NEAR(nearPlane.c, -1.0f, 1e-6f);
    EXPECT_NEAR(nearPlane.d, 4.0f, 1e-4f);
    frustum->Release();
    reference->Release();
}

} // namespace
