// SPDX-License-Identifier: Zlib
// The pixel projection and bitmap fonts on a real context: matrices and
// pixels read back, display lists queried.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "GLTestWindow.h"
#include "QDraw2D.h"
#include "QUtils.h"
#include "platform/FontRaster.h"

namespace {

using quelt::test::GLWindowTest;

// Lit pixels of a rendering, in logical coordinates (y from the top).
struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int count = 0;
    bool allInColour = true;
    std::vector<std::uint8_t> mask; // 1024 x 768, 1 where lit

    bool empty() const { return count == 0; }
    int height() const { return empty() ? 0 : bottom - top + 1; }
    int width() const { return empty() ? 0 : right - left + 1; }
};

class Draw2DTest : public GLWindowTest {
protected:
    void SetUp() override {
        GLWindowTest::SetUp();
        glViewport(0, 0, 1024, 768);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glClearColor(0, 0, 0, 1);
        quelt::Set2D();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // Clears, draws `text` in `colour` at (x, y) and collects the ink.
    Ink Draw(std::uint32_t font, const std::string& text, int x = 100, int y = 100,
             const GLubyte (&colour)[3] = kGreen) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3ub(colour[0], colour[1], colour[2]);
        quelt::DrawText(x, y, font, text);
        glColor3f(1, 1, 1); // after the call: must not matter
        return Collect(colour);
    }

    Ink Collect(const GLubyte (&colour)[3]) {
        const std::vector<std::uint8_t> pixels = window().ReadRegion(0, 0, 1024, 768);
        Ink ink;
        ink.mask.assign(1024 * 768, 0);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * 1024 + x) * 4];
                if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
                ink.mask[static_cast<std::size_t>(y) * 1024 + x] = 1;
                ++ink.count;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                if (p[0] != colour[0] || p[1] != colour[1] || p[2] != colour[2]) ink.allInColour = false;
            }
        return ink;
    }

    static float RasterX() {
        GLfloat position[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
        return position[0];
    }

    static constexpr GLubyte kGreen[3] = {0, 255, 0};
};

// Same ink shape wherever it was drawn.
bool SameShape(const Ink& a, const Ink& b) {
    if (a.count != b.count || a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.mask[static_cast<std::size_t>(a.top + y) * 1024 + a.left + x] !=
                b.mask[static_cast<std::size_t>(b.top + y) * 1024 + b.left + x])
                return false;
    return true;
}

TEST_F(Draw2DTest, Set2DMapsTheLogicalScreenOntoTheWindowWithTheOriginTopLeft) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 4, 0);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    glMatrixMode(GL_TEXTURE);
    quelt::Set2D();

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(GL_MODELVIEW, mode);
    GLfloat after[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(before[i], after[i]);

    // Window coordinates (y up) of a logical point through the projection alone.
    auto toWindow = [&](double x, double y, double& wx, double& wy) {
        const double cx = projection[0] * x + projection[4] * y + projection[12];
        const double cy = projection[1] * x + projection[5] * y + projection[13];
        const double cw = projection[3] * x + projection[7] * y + projection[15];
        wx = (cx / cw + 1) * 512;
        wy = (cy / cw + 1) * 384;
    };
    double wx = 0, wy = 0;
    toWindow(0, 0, wx, wy);
    EXPECT_NEAR(0, wx, 1e-3);
    EXPECT_NEAR(768, wy, 1e-3);
    toWindow(1024, 768, wx, wy);
    EXPECT_NEAR(1024, wx, 1e-3);
    EXPECT_NEAR(0, wy, 1e-3);

    // And on screen: a point at (0.5, 0.5) lights the top-left pixel.
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glBegin(GL_POINTS);
    glVertex2f(0.5f, 0.5f);
    glVertex2f(1023.5f, 767.5f);
    glEnd();
    EXPECT_EQ(255, window().ReadPixel(0, 0)[0]);
    EXPECT_EQ(255, window().ReadPixel(1023, 767)[0]);
    EXPECT_EQ(0, window().ReadPixel(1, 1)[0]);
}

// A text's width is how far drawing it moves the raster position; fonts
// qBitmapFont did not make (or deleted ones) measure 0 and say why.
TEST_F(Draw2DTest, TextWidthIsHowFarTheTextMovesTheRasterPosition) {
    const std::uint32_t font = quelt::BitmapFont(0, -24, "DejaVu Sans");
    ASSERT_NE(0u, font);
    std::string reason;
    for (const char* text : {"", "HEH", "iiii", "W W", "\xCF\xF0\xE8\xE2\xE5\xF2"}) {
        GLfloat before[4], after[4];
        glRasterPos2i(100, 300);
        glGetFloatv(GL_CURRENT_RASTER_POSITION, before);
        quelt::DrawText(100, 300, font, text);
        glGetFloatv(GL_CURRENT_RASTER_POSITION, after);
        const std::int32_t width = quelt::TextWidth(font, text);
        EXPECT_NEAR(width, after[0] - before[0], 0.5) << text;
        EXPECT_EQ(width > 0, text[0] != 0) << text;
        EXPECT_FALSE(quelt::TakeLastError(reason)) << text;
    }
    quelt::DeleteFont(font);
    for (std::uint32_t unknown : {font, 0u, font + 1}) {
        EXPECT_EQ(quelt::TextWidth(unknown, "HEH"), 0) << unknown;
        EXPECT_TRUE(quelt::TakeLastError(reason)) << unknown;
    }
}

TEST_F(Draw2DTest, TextStandsOnItsBaselineFromXInTheCurrentColour) {
    const std::uint32_t font = quelt::BitmapFont(0, -24, "DejaVu Sans");
    ASSERT_NE(0u, font);
    const Ink ink = Draw(font, "HEH", 200, 300);
    ASSERT_FALSE(ink.empty());
    EXPECT_TRUE(ink.allInColour);
    EXPECT_LT(ink.bottom, 300); // capitals without descenders end just above the baseline
    EXPECT_GE(ink.bottom, 297);
    EXPECT_GE(ink.left, 200);
    EXPECT_LE(ink.left, 204);
    // Cap height of a 24-pixel em is about 17 pixels.
    EXPECT_GE(ink.height(), 15);
    EXPECT_LE(ink.height(), 20);
    EXPECT_GT(ink.width(), 40);

    // Descenders go below the baseline.
    const Ink descender = Draw(font, "gjpq", 200, 300);
    EXPECT_GT(descender.bottom, 300);
}

TEST_F(Draw2DTest, EachGlyphAdvancesTheRasterPosition) {
    const std::uint32_t font = quelt::BitmapFont(0, -20, "DejaVu Sans");
    quelt::DrawText(10, 50, font, "W");
    const float afterW = RasterX();
    quelt::DrawText(10, 50, font, "i");
    const float afterI = RasterX();
    quelt::DrawText(10, 50, font, "Wi");
    const float afterBoth = RasterX();
    EXPECT_GT(afterW - 10, afterI - 10);
    EXPECT_GT(afterI, 10);
    EXPECT_FLOAT_EQ((afterW - 10) + (afterI - 10) + 10, afterBoth);
}

TEST_F(Draw2DTest, DrawTextKeepsTheCallersListBase) {
    const std::uint32_t font = quelt::BitmapFont(0, 16, "DejaVu Sans");
    glListBase(77);
    quelt::DrawText(10, 40, font, "base");
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(77, base);
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(Draw2DTest, FontTextDrawsEachPieceAsDrawTextDoesAndKeepsTheCallersListBase) {
    const std::uint32_t font = quelt::BitmapFont(0, 16, "DejaVu Sans");
    struct Piece {
        int x, y;
        std::string text;
    };
    const std::vector<Piece> pieces = {{10, 40, "first"}, {10, 60, ""}, {200, 80, "third"}};
    glListBase(77);
    const auto frame = [&](bool together) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3ub(kGreen[0], kGreen[1], kGreen[2]);
        if (together) {
            quelt::FontText text(font);
            for (const Piece& piece : pieces) text.Draw(piece.x, piece.y, piece.text);
        } else {
            for (const Piece& piece : pieces) quelt::DrawText(piece.x, piece.y, font, piece.text);
        }
        GLint base = 0, depth = -1;
        glGetIntegerv(GL_LIST_BASE, &base);
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
        EXPECT_EQ(77, base);
        EXPECT_EQ(0, depth);
        return std::make_pair(window().ReadRegion(0, 0, 1024, 768), RasterX());
    };
    const auto oneByOne = frame(false);
    EXPECT_FALSE(Collect(kGreen).empty());
    EXPECT_EQ(oneByOne, frame(true));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());

    // A caller whose attribute stack is full keeps every entry of it.
    GLint most = 0, depth = 0, base = 0;
    glGetIntegerv(GL_MAX_ATTRIB_STACK_DEPTH, &most);
    for (GLint i = 0; i < most; ++i) glPushAttrib(GL_CURRENT_BIT);
    quelt::DrawText(10, 40, font, "full");
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(most, depth);
    EXPECT_EQ(77, base);
    for (GLint i = 0; i < depth; ++i) glPopAttrib();
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(Draw2DTest, EmptyTextDrawsNothing) {
    const std::uint32_t font = quelt::BitmapFont(0, 16, "DejaVu Sans");
    EXPECT_TRUE(Draw(font, "").empty());
    EXPECT_FALSE(Draw(font, "x").empty());
}

TEST_F(Draw2DTest, BytesAboveAsciiDrawTheirCyrillicGlyphs) {
    const std::uint32_t font = quelt::BitmapFont(0, -32, "DejaVu Sans");
    // 0xC0 is the Cyrillic A, shaped like the Latin one and with no accent
    // above it (Latin-1 would make it an A with a grave).
    EXPECT_EQ(Draw(font, "A").top, Draw(font, "\xC0").top);
    EXPECT_EQ(Draw(font, "A").height(), Draw(font, "\xC0").height());
    // De, Zhe, Ya look nothing like D, Z, R.
    EXPECT_FALSE(SameShape(Draw(font, "D"), Draw(font, "\xC4")));
    EXPECT_FALSE(SameShape(Draw(font, "Z"), Draw(font, "\xC6")));
    EXPECT_FALSE(SameShape(Draw(font, "R"), Draw(font, "\xDF")));
    // Every letter of both cases has ink.
    for (int code = 0xC0; code <= 0xFF; ++code)
        EXPECT_FALSE(Draw(font, std::string(1, static_cast<char>(code))).empty()) << "code " << code;
    // Lower case sits lower than upper case.
    EXPECT_GT(Draw(font, "\xE4").top, Draw(font, "\xC4").top);
}

TEST_F(Draw2DTest, HeightSignSelectsCellOrCharacterHeightAndWidthStretches) {
    const std::uint32_t em20 = quelt::BitmapFont(0, -20, "DejaVu Sans");
    const std::uint32_t cell20 = quelt::BitmapFont(0, 20, "DejaVu Sans");
    const std::uint32_t wide = quelt::BitmapFont(20, -20, "DejaVu Sans");
    const Ink byEm = Draw(em20, "H");
    const Ink byCell = Draw(cell20, "H");
    const Ink stretched = Draw(wide, "H");
    // Cap height is 0.73 em; the cell of this face is 1.16 em.
    EXPECT_NEAR(0.73 * 20, byEm.height(), 1.5);
    EXPECT_NEAR(0.73 * 20 / 1.164, byCell.height(), 1.5);
    EXPECT_EQ(byEm.height(), stretched.height());
    EXPECT_GT(stretched.width(), byEm.width() + 3);

    // Height 0 still gives a readable default size.
    const Ink byDefault = Draw(quelt::BitmapFont(0, 0, "DejaVu Sans"), "H");
    EXPECT_GT(byDefault.height(), 6);
}

TEST_F(Draw2DTest, AFaceThatIsNotInstalledFallsBackToDejaVuSansBold) {
    const Ink fallback = Draw(quelt::BitmapFont(0, -24, "No Such Face Anywhere"), "Quelt");
    const Ink dejaVu = Draw(quelt::BitmapFont(0, -24, "DejaVu Sans"), "Quelt");
    const Ink serif = Draw(quelt::BitmapFont(0, -24, "DejaVu Serif"), "Quelt");
    ASSERT_FALSE(fallback.empty());
    EXPECT_TRUE(SameShape(fallback, dejaVu));
    EXPECT_FALSE(SameShape(serif, dejaVu)); // an installed face is really used
    const Ink unnamed = Draw(quelt::BitmapFont(0, -24, ""), "Quelt");
    EXPECT_TRUE(SameShape(unnamed, dejaVu));

    // The face behind both is the bold one.
    quelt::FontRequest request;
    request.height = -24;
    request.faceName = "No Such Face Anywhere";
    quelt::RasterFont font;
    ASSERT_TRUE(quelt::RasterizeFont(request, {U'A'}, font));
    EXPECT_EQ("DejaVu Sans", font.family);
    EXPECT_NE(std::string::npos, font.file.find("DejaVuSans-Bold")) << font.file;
}

// A face without Cyrillic letters would draw all of them as one box.
TEST(FontFaces, TheFaceChosenCoversCyrillic) {
    struct Case {
        const char* face;
        const char* family;
    };
    const Case cases[] = {{"DejaVu Math TeX Gyre", "DejaVu Sans"}, {"DejaVu Serif", "DejaVu Serif"}};
    std::vector<char32_t> letters;
    for (char32_t letter = 0x410; letter <= 0x44F; ++letter) letters.push_back(letter);
    for (const Case& c : cases) {
        quelt::FontRequest request;
        request.height = -24;
        request.faceName = c.face;
        quelt::RasterFont font;
        ASSERT_TRUE(quelt::RasterizeFont(request, letters, font)) << c.face;
        EXPECT_EQ(c.family, font.family);
        std::set<std::vector<std::uint8_t>> shapes;
        for (const quelt::GlyphBitmap& glyph : font.glyphs) shapes.insert(glyph.bits);
        EXPECT_GE(shapes.size(), 60u) << c.face;
    }
}

TEST_F(Draw2DTest, FontsOwnDisjointBlocksOf256ListsAndDeleteFreesThemAll) {
    const std::uint32_t first = quelt::BitmapFont(0, 16, "DejaVu Sans");
    const std::uint32_t second = quelt::BitmapFont(0, 16, "DejaVu Sans");
    ASSERT_NE(0u, first);
    ASSERT_NE(0u, second);
    EXPECT_TRUE(first + 256 <= second || second + 256 <= first);
    for (std::uint32_t i = 0; i < 256; ++i) {
        ASSERT_TRUE(glIsList(first + i)) << i;
        ASSERT_TRUE(glIsList(second + i)) << i;
    }

    quelt::DeleteFont(first);
    int freed = 0;
    for (std::uint32_t i = 0; i < 256; ++i) freed += glIsList(first + i) ? 0 : 1;
    EXPECT_EQ(256, freed);
    for (std::uint32_t i = 0; i < 256; ++i) ASSERT_TRUE(glIsList(second + i)) << i;
    EXPECT_TRUE(Draw(first, "gone").empty());
    EXPECT_FALSE(Draw(second, "kept").empty());
}

TEST_F(Draw2DTest, HandleZeroNeitherDrawsNorDeletesAnotherFontsLists) {
    const std::uint32_t font = quelt::BitmapFont(0, 16, "DejaVu Sans");
    ASSERT_NE(0u, font);
    // Whatever lists follow name 0, a zero handle must not reach them.
    EXPECT_TRUE(Draw(0, "abc").empty());
    quelt::DeleteFont(0);
    for (std::uint32_t i = 0; i < 256; ++i) ASSERT_TRUE(glIsList(font + i)) << i;
}

TEST_F(Draw2DTest, AnUnusableSizeStillGivesAHandleThatDrawsNothing) {
    const std::uint32_t huge = quelt::BitmapFont(0, 1000000, "DejaVu Sans");
    ASSERT_NE(0u, huge);
    EXPECT_TRUE(Draw(huge, "big").empty());
    const std::uint32_t extreme = quelt::BitmapFont(INT32_MIN, INT32_MIN, "DejaVu Sans");
    EXPECT_TRUE(Draw(extreme, "big").empty());
    quelt::DeleteFont(huge);
    quelt::DeleteFont(extreme);
    EXPECT_FALSE(glIsList(huge));
}

TEST_F(Draw2DTest, BuildingAFontLeavesTheCallersPixelStorage) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    const std::uint32_t font = quelt::BitmapFont(0, -20, "DejaVu Sans");
    GLint alignment = 0, lsbFirst = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_LSB_FIRST, &lsbFirst);
    EXPECT_EQ(8, alignment);
    EXPECT_EQ(GL_TRUE, lsbFirst);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    // The glyphs were unpacked with their own layout, not the caller's.
    const std::uint32_t plain = quelt::BitmapFont(0, -20, "DejaVu Sans");
    EXPECT_TRUE(SameShape(Draw(font, "Mwg"), Draw(plain, "Mwg")));
}

// The code page table against the C library's own converter.
TEST(Cp1251, TableAgreesWithIconv) {
    iconv_t converter = iconv_open("UTF-32LE", "CP1251");
    ASSERT_NE(reinterpret_cast<iconv_t>(-1), converter);
    int compared = 0;
    for (int code = 0; code < 256; ++code) {
        char in = static_cast<char>(code);
        std::uint8_t out[4] = {};
        char* inPointer = &in;
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1, outLeft = 4;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) {
            EXPECT_EQ(0x98, code) << "only 0x98 is unassigned";
            continue;
        }
        const char32_t expected = out[0] | out[1] << 8 | out[2] << 16 | static_cast<char32_t>(out[3]) << 24;
        EXPECT_EQ(expected, quelt::Cp1251ToUnicode(static_cast<std::uint8_t>(code))) << "code " << code;
        ++compared;
    }
    iconv_close(converter);
    EXPECT_EQ(255, compared);
}

} // namespace
