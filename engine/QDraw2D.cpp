// SPDX-License-Identifier: Zlib
#include "QDraw2D.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <map>
#include <vector>

#include "QUtils.h"
#include "QWin.h"
#include "platform/CodePage.h"
#include "platform/FontRaster.h"
#include "platform/GL.h"

namespace quelt {
namespace {

// Each font's glyph advances by list base, for measuring text.
using Advances = std::array<float, kFontGlyphCount>;
std::map<std::uint32_t, Advances> fontAdvances;

std::vector<char32_t> Cp1251CodePoints() {
    std::vector<char32_t> codePoints(kFontGlyphCount);
    for (std::uint32_t code = 0; code < kFontGlyphCount; ++code)
        codePoints[code] = Cp1251ToUnicode(static_cast<std::uint8_t>(code));
    return codePoints;
}

// Glyph bitmaps are unpacked when the list is compiled, under the caller's
// pixel-store state; set a known one and give the caller's back afterwards.
class TightUnpacking {
public:
    TightUnpacking() {
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
        glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    }
    ~TightUnpacking() { glPopClientAttrib(); }
    TightUnpacking(const TightUnpacking&) = delete;
    TightUnpacking& operator=(const TightUnpacking&) = delete;
};

void CompileGlyph(GLuint list, const GlyphBitmap* glyph) {
    // Mesa fails a NULL bitmap inside a list, even an empty one.
    static const GLubyte kNoBits = 0;
    glNewList(list, GL_COMPILE);
    if (glyph) {
        const GLubyte* bits = glyph->bits.empty() ? &kNoBits : glyph->bits.data();
        glBitmap(glyph->width, glyph->height, glyph->xorig, glyph->yorig, glyph->advance, 0.0f, bits);
    }
    glEndList();
}

} // namespace

void Set2D() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, static_cast<double>(ScreenWidth()), static_cast<double>(ScreenHeight()), 0.0);
    glMatrixMode(GL_MODELVIEW);
}

std::uint32_t BitmapFont(std::int32_t width, std::int32_t height, const std::string& faceName) {
    const GLuint base = glGenLists(kFontGlyphCount);
    if (base == 0) {
        SetLastError("Font " + Quoted(faceName) + ": OpenGL gave no display lists (is a window open?)");
        return 0;
    }

    FontRequest request;
    request.width = width;
    request.height = height;
    request.faceName = faceName;
    request.bold = true;
    RasterFont font;
    // A font that cannot be built keeps its lists, empty: its text shows nothing.
    const bool built = RasterizeFont(request, Cp1251CodePoints(), font);

    TightUnpacking unpacking;
    Advances& advances = fontAdvances[base];
    for (std::uint32_t code = 0; code < kFontGlyphCount; ++code) {
        CompileGlyph(base + code, built ? &font.glyphs[code] : nullptr);
        advances[code] = built ? font.glyphs[code].advance : 0.0f;
    }
    return base;
}

void DrawText(std::int32_t x, std::int32_t y, std::uint32_t font, const std::string& text) {
    FontText(font).Draw(x, y, text);
}

FontText::~FontText() {
    if (listBaseSet_) glListBase(static_cast<GLuint>(callersListBase_));
}

void FontText::Draw(std::int32_t x, std::int32_t y, const std::string& text) {
    glRasterPos2f(static_cast<float>(x), static_cast<float>(y));
    // 0 is what a failed qBitmapFont returns; as a base it would reach into
    // whatever lists 1..255 belong to.
    if (font_ == 0 || text.empty()) return;
    if (!listBaseSet_) {
        // Kept and put back by hand, not pushed: a caller's full attribute
        // stack would refuse the push, and the pop would then take its entry.
        glGetIntegerv(GL_LIST_BASE, &callersListBase_);
        glListBase(font_);
        listBaseSet_ = true;
    }
    for (std::size_t done = 0; done < text.size();) {
        const std::size_t count = std::min<std::size_t>(text.size() - done, INT_MAX);
        glCallLists(static_cast<GLsizei>(count), GL_UNSIGNED_BYTE, text.data() + done);
        done += count;
    }
}

void DeleteFont(std::uint32_t font) {
    // Deleting from 0 would free lists 1..255 of some other font.
    if (font == 0) return;
    glDeleteLists(font, kFontGlyphCount);
    fontAdvances.erase(font);
}

std::int32_t TextWidth(std::uint32_t font, const std::string& text) {
    const auto found = fontAdvances.find(font);
    if (found == fontAdvances.end()) {
        SetLastError("Font " + std::to_string(font) + ": not made by qBitmapFont");
        return 0;
    }
    // Summed as glBitmap moves the raster position, in floating point.
    float width = 0;
    for (const char c : text) width += found->second[static_cast<std::uint8_t>(c)];
    return static_cast<std::int32_t>(std::lround(width));
}

} // namespace quelt
