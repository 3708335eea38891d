// SPDX-License-Identifier: Zlib
// Turns a system font into 1-bit glyph bitmaps: fontconfig finds the face,
// FreeType renders it. The only part of the engine that knows either library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quelt {

// One glyph in the shape glBitmap takes: rows bottom to top, each
// ceil(width / 8) bytes, most significant bit leftmost.
struct GlyphBitmap {
    int width = 0;
    int height = 0;
    float xorig = 0; // origin inside the bitmap, from its left edge
    float yorig = 0; // origin inside the bitmap, from its bottom row
    float advance = 0;
    std::vector<std::uint8_t> bits;
};

struct FontRequest {
    // Sign convention of the classic font request: height > 0 is the cell
    // height (ascent + descent), height < 0 the character (em) height,
    // width 0 keeps the face's own proportions, else the average character width.
    int width = 0;
    int height = 0;
    std::string faceName;
    bool bold = true;
    // Language (fontconfig tag) whose letters the face must cover; the
    // engine's fonts carry the Cyrillic code page. Empty: any face.
    std::string language = "ru";
};

struct RasterFont {
    std::string family; // the family actually used
    std::string file;
    std::vector<GlyphBitmap> glyphs; // one per requested code point, in order
};

// Renders `codePoints` (0 means "no character": an empty glyph) with the face
// that best fits `request`. A face name that is not installed, or whose faces
// lack the requested language, falls back to DejaVu Sans. False, with `font`
// untouched, when no face can be loaded or the size is unusable.
bool RasterizeFont(const FontRequest& request, const std::vector<char32_t>& codePoints, RasterFont& font);

// Largest |width| or |height| accepted, in pixels; beyond it a font is refused
// rather than allocating hundreds of megabytes of glyphs.
constexpr int kMaxFontPixels = 1024;

} // namespace quelt
