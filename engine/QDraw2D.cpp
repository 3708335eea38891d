#include "QDraw2D.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "QWin.h"
#include "platform/FontRaster.h"
#include "platform/GL.h"

namespace quelt {
namespace {

// Windows-1251, codes 128 to 255. 0x98 is unassigned in the code page; it
// passes through as the C1 control of the same number, as the platform's own
// conversion does.
constexpr char32_t kCp1251Upper[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

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

char32_t Cp1251ToUnicode(std::uint8_t code) { return code < 128 ? char32_t(code) : kCp1251Upper[code - 128]; }

void Set2D() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, static_cast<double>(kScreenWidth), static_cast<double>(kScreenHeight), 0.0);
    glMatrixMode(GL_MODELVIEW);
}

std::uint32_t BitmapFont(std::int32_t width, std::int32_t height, const std::string& faceName) {
    const GLuint base = glGenLists(kFontGlyphCount);
    if (base == 0) return 0;

    FontRequest request;
    request.width = width;
    request.height = height;
    request.faceName = faceName;
    request.bold = true;
    RasterFont font;
    // A font that cannot be built keeps its lists, empty: its text shows nothing.
    const bool built = RasterizeFont(request, Cp1251CodePoints(), font);

    TightUnpacking unpacking;
    for (std::uint32_t code = 0; code < kFontGlyphCount; ++code)
        CompileGlyph(base + code, built ? &font.glyphs[code] : nullptr);
    return base;
}

void DrawText(std::int32_t x, std::int32_t y, std::uint32_t font, const std::string& text) {
    glRasterPos2f(static_cast<float>(x), static_cast<float>(y));
    // 0 is what a failed qBitmapFont returns; as a base it would reach into
    // whatever lists 1..255 belong to.
    if (font == 0 || text.empty()) return;
    glPushAttrib(GL_LIST_BIT);
    glListBase(font);
    for (std::size_t done = 0; done < text.size();) {
        const std::size_t count = std::min<std::size_t>(text.size() - done, INT_MAX);
        glCallLists(static_cast<GLsizei>(count), GL_UNSIGNED_BYTE, text.data() + done);
        done += count;
    }
    glPopAttrib();
}

void DeleteFont(std::uint32_t font) {
    // Deleting from 0 would free lists 1..255 of some other font.
    if (font == 0) return;
    glDeleteLists(font, kFontGlyphCount);
}

} // namespace quelt
