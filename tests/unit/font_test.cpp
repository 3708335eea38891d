// SPDX-License-Identifier: Zlib
// Finding and rendering a system face without a window: fontconfig on
// Linux, GDI on Windows (scripts/test-windows), FreeType on both.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "QUtils.h"
#include "platform/FontFind.h"
#include "platform/FontRaster.h"

namespace quelt::test {
namespace {

bool HasInk(const GlyphBitmap& glyph) {
    return glyph.width > 0 && std::any_of(glyph.bits.begin(), glyph.bits.end(), [](std::uint8_t b) { return b != 0; });
}

// A face that is not installed gives the fallback, whatever the system
// makes of that name (Wine without its own fonts substitutes one of the host's).
TEST(FontRaster, RendersTheFallbackForAMissingFaceWithCyrillicLetters) {
    std::vector<std::string> families;
    for (const char* asked : {kFallbackFamily, "No Such Face Anywhere"}) {
        SCOPED_TRACE(asked);
        FontRequest request;
        request.height = -20;
        request.faceName = asked;
        RasterFont font;
        ASSERT_TRUE(RasterizeFont(request, {U'A', U'\u0416', 0}, font));
        families.push_back(font.family);
        ASSERT_EQ(font.glyphs.size(), 3u);
        EXPECT_TRUE(HasInk(font.glyphs[0]));
        EXPECT_TRUE(HasInk(font.glyphs[1]));
        EXPECT_FALSE(HasInk(font.glyphs[2])); // 0: no character
        // An em of 20 pixels: a capital is well over half of it, never more.
        EXPECT_GE(font.glyphs[0].height, 10);
        EXPECT_LE(font.glyphs[0].height, 20);
    }
    EXPECT_EQ(families[1], families[0]);
    EXPECT_NE(families[0], "No Such Face Anywhere");
}

TEST(FontRaster, RefusesAnUnusableSize) {
    FontRequest request;
    request.height = kMaxFontPixels + 1;
    RasterFont font;
    EXPECT_FALSE(RasterizeFont(request, {U'A'}, font));
    std::string reason;
    EXPECT_TRUE(TakeLastError(reason));
    EXPECT_NE(reason.find("larger than"), std::string::npos) << reason;
}

} // namespace
} // namespace quelt::test
