// SPDX-License-Identifier: Zlib
// Textures made from files on disk and read back from GL with glGetTexImage.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "GLTestWindow.h"
#include "QTexture.h"
#include "QUtils.h"
#include "TestFiles.h"

namespace {

using quelt::test::Bytes;
using quelt::test::GLWindowTest;
using quelt::test::PutU16;
using quelt::test::PutU32;
using quelt::test::PutU8;
using quelt::test::WriteFile;

Bytes RandomPixels(int width, int height, int components, unsigned seed) {
    std::mt19937 random(seed);
    Bytes pixels(std::size_t(width) * height * components);
    for (auto& b : pixels) b = static_cast<std::uint8_t>(random());
    return pixels;
}

// A 24-bit BMP of top-first RGB pixels: rows bottom up, BGR, padded to 4 bytes.
void WriteBmp(const std::string& name, int width, int height, const Bytes& rgb) {
    Bytes file;
    PutU16(file, 0x4D42);
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 54);
    PutU32(file, 40);
    PutU32(file, static_cast<std::uint32_t>(width));
    PutU32(file, static_cast<std::uint32_t>(height));
    PutU16(file, 1);
    PutU16(file, 24);
    file.resize(54, 0);
    for (int y = height - 1; y >= 0; --y) {
        const std::size_t start = file.size();
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
            file.insert(file.end(), {p[2], p[1], p[0]});
        }
        while ((file.size() - start) % 4) file.push_back(0);
    }
    WriteFile(name, file);
}

// A 32-bit TGA of top-first RGBA pixels, stored top to bottom.
void WriteTga(const std::string& name, int width, int height, const Bytes& rgba) {
    Bytes file(12, 0);
    file[2] = 2;
    PutU16(file, static_cast<std::uint16_t>(width));
    PutU16(file, static_cast<std::uint16_t>(height));
    PutU8(file, 32);
    PutU8(file, 0x28);
    for (std::size_t i = 0; i < rgba.size(); i += 4) file.insert(file.end(), {rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]});
    WriteFile(name, file);
}

Bytes TexImage(GLenum target, GLint level, GLenum format, int components) {
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &height);
    Bytes pixels(std::size_t(width) * height * components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!pixels.empty()) glGetTexImage(target, level, format, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

GLint LevelWidth(GLenum target, GLint level) {
    GLint width = 0;
    glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
    return width;
}

GLint TexParameter(GLenum target, GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(target, name, &value);
    return value;
}

GLint Integer(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

const GLenum kFace0 = GL_TEXTURE_CUBE_MAP_POSITIVE_X;

class TextureTest : public GLWindowTest {};

TEST_F(TextureTest, Texture2DFromBmpReadsBackExactlyWithItsParameters) {
    const Bytes rgb = RandomPixels(5, 3, 3, 1);  // odd width: needs unpack alignment 1
    WriteBmp("Land.bmp", 5, 3, rgb);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const GLuint name = quelt::CreateTexture2D(false, "Land.bmp");
    ASSERT_NE(name, 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(name));
    EXPECT_EQ(Integer(GL_UNPACK_ALIGNMENT), 1);
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_RGB, 3), rgb);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 1), 0);  // no mipmaps asked
    GLint internal = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    EXPECT_TRUE(internal == GL_RGB || internal == GL_RGB8 || internal == 3) << internal;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, MipmappedTgaHasEveryLevelAndExactBaseLevel) {
    const Bytes rgba = RandomPixels(8, 4, 4, 2);
    WriteTga("skin.tga", 8, 4, rgba);
    const GLuint name = quelt::CreateTexture2D(true, "skin.tga");
    ASSERT_NE(name, 0u);
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_RGBA, 4), rgba);
    EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 1), 4);
    EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 2), 2);
    EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 3), 1);
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    // A single-colour image keeps its colour at every level.
    WriteTga("flat.tga", 4, 4, Bytes{10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40,
                                     10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40,
                                     10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40,
                                     10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40});
    ASSERT_NE(quelt::CreateTexture2D(true, "flat.tga"), 0u);
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 2, GL_RGBA, 4), (Bytes{10, 20, 30, 40}));
}

TEST_F(TextureTest, FailedLoadStillGivesAWrappedTextureWithDefaultFilters) {
    const GLuint name = quelt::CreateTexture2D(true, "missing.bmp");
    ASSERT_NE(name, 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(name));
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
    EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0), 0);
}

// With a context, no side may pass what this OpenGL takes: one pixel more is
// refused from the header, with a reason.
TEST_F(TextureTest, SidesAreBoundByTheLargestTextureThisOpenGLTakes) {
    const GLint largest = Integer(GL_MAX_TEXTURE_SIZE);
    ASSERT_GT(largest, 0);
    for (const GLint width : {largest, largest + 1}) {
        WriteBmp("wide.bmp", width, 1, Bytes(std::size_t(width) * 3, 7));
        std::string reason;
        quelt::TakeLastError(reason); // a reason stays until read: none from an earlier test
        ASSERT_NE(quelt::CreateTexture2D(false, "wide.bmp"), 0u);
        quelt::TakeLastError(reason);
        const bool fits = width == largest;
        EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0), fits ? width : 0);
        EXPECT_EQ(reason, fits ? ""
                               : "\"wide.bmp\": BMP: image " + std::to_string(width) +
                                     " \u00D7 1 is larger than the largest texture this OpenGL takes (" +
                                     std::to_string(largest) + ")");
    }
}

TEST_F(TextureTest, ExtensionIsTakenAfterTheFirstDotCaseSensitively) {
    const Bytes rgb = RandomPixels(2, 2, 3, 3);
    WriteBmp("Land.bmp", 2, 2, rgb);
    WriteBmp("LAND.BMP", 2, 2, rgb);
    WriteBmp("textures.v2\\land.bmp", 2, 2, rgb);
    const Bytes rgba = RandomPixels(2, 1, 4, 4);
    WriteTga("tga", 2, 1, rgba);

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const GLint filter = TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER);
    for (const char* rejected : {"LAND.BMP", "textures.v2\\land.bmp", "missing.bmp", "Land"}) {
        EXPECT_FALSE(quelt::LoadTexture(GL_TEXTURE_2D, false, rejected)) << rejected;
        // Nothing reached GL: no image, no parameter, no unpack change, no error.
        EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0), 0) << rejected;
        EXPECT_EQ(TexParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), filter);
        EXPECT_EQ(Integer(GL_UNPACK_ALIGNMENT), 4);
        EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(name));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ASSERT_TRUE(quelt::LoadTexture(GL_TEXTURE_2D, false, "Land.bmp"));
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_RGB, 3), rgb);
    ASSERT_TRUE(quelt::LoadTexture(GL_TEXTURE_2D, false, "tga"));  // no dot: the whole name
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_RGBA, 4), rgba);
}

// PNG and JPEG reach GL through the same upload: what Pillow decodes from the
// files it wrote is what the texture holds.
TEST_F(TextureTest, PngAndJpegFromPillowReadBackAsPillowDecodesThem) {
    const char* script =
        "from PIL import Image\n"
        "import random\n"
        "random.seed(2)\n"
        "im = Image.frombytes(\"RGBA\", (6, 5), bytes(random.randrange(256) for i in range(120)))\n"
        "for name, image in ((\"leaf.png\", im), (\"bark.jpg\", im.convert(\"RGB\"))):\n"
        "    image.save(name)\n"
        "    back = Image.open(name)\n"
        "    open(name + \".raw\", \"wb\").write(back.tobytes())\n";
    WriteFile("pillow_textures.py", std::string(script));
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "Pillow is not installed";
    ASSERT_EQ(std::system("/usr/bin/python3 pillow_textures.py"), 0);
    for (auto [name, format, components] : {std::tuple{"leaf.png", GL_RGBA, 4}, {"bark.jpg", GL_RGB, 3}}) {
        ASSERT_NE(quelt::CreateTexture2D(false, name), 0u);
        EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0), 6) << name;
        EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, format, components), quelt::test::ReadFile(std::string(name) + ".raw"))
            << name;
    }
}

TEST_F(TextureTest, OneDimensionalTargetTakesTheFirstRow) {
    const Bytes rgba = RandomPixels(4, 3, 4, 5);
    WriteTga("strip.tga", 4, 3, rgba);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_1D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ASSERT_TRUE(quelt::LoadTexture(GL_TEXTURE_1D, false, "strip.tga"));
    EXPECT_EQ(TexImage(GL_TEXTURE_1D, 0, GL_RGBA, 4), Bytes(rgba.begin(), rgba.begin() + 16));
    ASSERT_TRUE(quelt::LoadTexture(GL_TEXTURE_1D, true, "strip.tga"));
    EXPECT_EQ(TexImage(GL_TEXTURE_1D, 0, GL_RGBA, 4), Bytes(rgba.begin(), rgba.begin() + 16));
    EXPECT_EQ(LevelWidth(GL_TEXTURE_1D, 2), 1);
}

std::vector<std::string> WriteFaces(int edge, std::vector<Bytes>& faces) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        faces.push_back(RandomPixels(edge, edge, 4, 100 + i));
        names.push_back("face" + std::to_string(i) + ".tga");
        WriteTga(names.back(), edge, edge, faces.back());
    }
    return names;
}

TEST_F(TextureTest, CubeMapFacesReadBackInOrderWithClampAndDisabledAfter) {
    std::vector<Bytes> faces;
    const std::vector<std::string> names = WriteFaces(4, faces);
    glEnable(GL_TEXTURE_CUBE_MAP);
    const GLuint name = quelt::CreateCubeMap(false, names);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_CUBE_MAP), GLint(name));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(TexImage(kFace0 + i, 0, GL_RGBA, 4), faces[i]) << "face " << i;
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R), GL_REPEAT);  // left alone
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER), GL_LINEAR);

    const GLuint mipmapped = quelt::CreateCubeMap(true, names);
    ASSERT_NE(mipmapped, 0u);
    EXPECT_NE(mipmapped, name);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(TexImage(kFace0 + i, 0, GL_RGBA, 4), faces[i]) << "face " << i;
        EXPECT_EQ(LevelWidth(kFace0 + i, 2), 1) << "face " << i;
    }
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, MissingFourthFaceReturnsZeroAfterThreeFacesLoaded) {
    std::vector<Bytes> faces;
    std::vector<std::string> names = WriteFaces(2, faces);
    names[3] = "no-such-face.tga";
    EXPECT_EQ(quelt::CreateCubeMap(false, names), 0u);
    const GLint bound = Integer(GL_TEXTURE_BINDING_CUBE_MAP);
    ASSERT_NE(bound, 0);  // the half-built texture stays bound
    for (int i = 0; i < 3; ++i) EXPECT_EQ(TexImage(kFace0 + i, 0, GL_RGBA, 4), faces[i]) << "face " << i;
    for (int i = 3; i < 6; ++i) EXPECT_EQ(LevelWidth(kFace0 + i, 0), 0) << "face " << i;
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
}

TEST_F(TextureTest, FewerThanSixNamesLoadNothing) {
    std::vector<Bytes> faces;
    std::vector<std::string> names = WriteFaces(2, faces);
    names.pop_back();
    EXPECT_EQ(quelt::CreateCubeMap(false, names), 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_CUBE_MAP), 0);
    EXPECT_EQ(quelt::CreateCubeMap(false, {}), 0u);
}

TEST_F(TextureTest, NormalisationCubeMapOfSizeOneHoldsTheAxes) {
    glEnable(GL_TEXTURE_CUBE_MAP);
    const GLuint name = quelt::CreateNormCubeMap(1, false);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_CUBE_MAP), GLint(name));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
    const Bytes expected[6] = {{255, 128, 128}, {1, 128, 128}, {128, 255, 128},
                               {128, 1, 128},   {128, 128, 255}, {128, 128, 1}};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(TexImage(kFace0 + i, 0, GL_RGB, 3), expected[i]) << "face " << i;
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
        EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, wrap), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
}

TEST_F(TextureTest, NormalisationCubeMapOfSizeTwoRoundsHalvesToEven) {
    const GLuint name = quelt::CreateNormCubeMap(2, false);
    ASSERT_NE(name, 0u);
    // Pixel (x, y) at byte (y * 2 + x) * 3; sc and tc are -0.5 or 0.5 (bytes 64 and 192).
    const Bytes posY = TexImage(kFace0 + 2, 0, GL_RGB, 3);
    ASSERT_EQ(posY.size(), 12u);
    EXPECT_EQ(Bytes(posY.begin() + 6, posY.begin() + 9), (Bytes{64, 255, 192}));  // x 0, y 1
    EXPECT_EQ(posY, (Bytes{64, 255, 64, 192, 255, 64, 64, 255, 192, 192, 255, 192}));
    // +X: (1, -tc, -sc).
    EXPECT_EQ(TexImage(kFace0, 0, GL_RGB, 3), (Bytes{255, 192, 192, 255, 192, 64, 255, 64, 192, 255, 64, 64}));
    // -Z: (-sc, -tc, -1).
    EXPECT_EQ(TexImage(kFace0 + 5, 0, GL_RGB, 3), (Bytes{192, 192, 1, 64, 192, 1, 192, 64, 1, 64, 64, 1}));
}

TEST_F(TextureTest, NormalisationBytesRoundTheExactProductNotAFloatOne) {
    // Size 254, +Z pixel (0, 0): sc = -tc = float(-253/254), a hair beyond
    // -0.99606299. 127 * sc + 128 is then just under 1.5 (byte 1) and -127 * tc
    // + 128 just over 254.5 (byte 255); a float product lands on the halves.
    const TVec3D v = quelt::CubeVector(4, 254, 0, 0);
    EXPECT_EQ(quelt::DirectionByte(v.x), 1);
    EXPECT_EQ(quelt::DirectionByte(v.y), 255);
    const GLuint name = quelt::CreateNormCubeMap(254, false);
    ASSERT_NE(name, 0u);
    const Bytes posZ = TexImage(kFace0 + 4, 0, GL_RGB, 3);
    ASSERT_EQ(posZ.size(), 254u * 254u * 3u);
    EXPECT_EQ(Bytes(posZ.begin(), posZ.begin() + 3), (Bytes{1, 255, 255}));
    // The last pixel mirrors it: sc = -tc = 253/254.
    EXPECT_EQ(Bytes(posZ.end() - 3, posZ.end()), (Bytes{255, 1, 255}));
}

TEST_F(TextureTest, MipmappedNormalisationCubeMapHasEveryLevel) {
    const GLuint name = quelt::CreateNormCubeMap(4, true);
    ASSERT_NE(name, 0u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(LevelWidth(kFace0 + i, 0), 4);
        EXPECT_EQ(LevelWidth(kFace0 + i, 2), 1);
    }
    EXPECT_EQ(TexParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    const Bytes posZ = TexImage(kFace0 + 4, 0, GL_RGB, 3);
    ASSERT_EQ(posZ.size(), 48u);
    EXPECT_EQ(posZ[2], 255);  // +Z's own axis is 1 everywhere
    EXPECT_EQ(posZ[47], 255);
}

TEST_F(TextureTest, NegativeNormalisationSizeTouchesNothing) {
    EXPECT_EQ(quelt::CreateNormCubeMap(-3, false), 0u);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_CUBE_MAP), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
