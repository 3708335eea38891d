// SPDX-License-Identifier: Zlib
// The 2D pixel projection over the logical screen and bitmap fonts.
#pragma once

#include <cstdint>
#include <string>

// Text is Windows-1251 bytes; what they stand for lives with the code page.
#include "platform/CodePage.h"

namespace quelt {

// Lists per font: one per 8-bit character code.
constexpr std::uint32_t kFontGlyphCount = 256;

void Set2D();
std::uint32_t BitmapFont(std::int32_t width, std::int32_t height, const std::string& faceName);
void DrawText(std::int32_t x, std::int32_t y, std::uint32_t font, const std::string& text);
void DeleteFont(std::uint32_t font);
// How far text moves the raster position, in pixels; 0, with a reason, for
// a font qBitmapFont did not make.
std::int32_t TextWidth(std::uint32_t font, const std::string& text);

// Many pieces of text in one font, each drawn as DrawText draws it, with the
// caller's list base set aside once for all of them instead of once a piece.
class FontText {
public:
    explicit FontText(std::uint32_t font) : font_(font) {}
    ~FontText();
    FontText(const FontText&) = delete;
    FontText& operator=(const FontText&) = delete;

    void Draw(std::int32_t x, std::int32_t y, const std::string& text);

private:
    std::uint32_t font_;
    bool listBaseSet_ = false;
    std::int32_t callersListBase_ = 0;
};

} // namespace quelt
