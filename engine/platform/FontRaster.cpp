// SPDX-License-Identifier: Zlib
#include "platform/FontRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "QUtils.h"
#include "platform/FontFind.h"

namespace quelt {
namespace {

// What a height of 0 asks for: the usual default cell of a GUI font.
constexpr int kDefaultCellHeight = 16;

struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;

FT_Library FreeType() {
    struct Holder {
        FT_Library library = nullptr;
        Holder() {
            if (FT_Init_FreeType(&library) != 0) library = nullptr;
        }
        ~Holder() {
            if (library) FT_Done_FreeType(library);
        }
    };
    static Holder holder;
    return holder.library;
}

// Pixel sizes (em) for the request, following the classic sign convention.
void EmSizes(FT_Face face, const FontRequest& request, double& emX, double& emY) {
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048.0;
    const long height = request.height;
    if (height < 0) {
        emY = static_cast<double>(-height);
    } else {
        const double cell = height > 0 ? static_cast<double>(height) : kDefaultCellHeight;
        double cellUnits = os2 ? double(os2->usWinAscent) + double(os2->usWinDescent) : 0.0;
        if (cellUnits <= 0) cellUnits = double(face->ascender) - double(face->descender);
        emY = cellUnits > 0 ? cell * unitsPerEm / cellUnits : cell;
    }
    emX = emY;
    const long width = std::labs(static_cast<long>(request.width));
    if (width > 0) {
        const double average = os2 && os2->xAvgCharWidth > 0 ? double(os2->xAvgCharWidth) : unitsPerEm / 2;
        emX = static_cast<double>(width) * unitsPerEm / average;
    }
}

bool SetSize(FT_Face face, const FontRequest& request) {
    double emX = 0, emY = 0;
    EmSizes(face, request, emX, emY);
    if (!(emX >= 1 && emY >= 1) || emX > 4 * kMaxFontPixels || emY > 4 * kMaxFontPixels) return false;
    if (FT_IS_SCALABLE(face)) {
        const auto toFixed = [](double pixels) { return static_cast<FT_F26Dot6>(std::lround(pixels * 64)); };
        return FT_Set_Char_Size(face, toFixed(emX), toFixed(emY), 72, 72) == 0;
    }
    if (face->num_fixed_sizes <= 0) return false;
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
        if (std::fabs(face->available_sizes[i].y_ppem / 64.0 - emY) <
            std::fabs(face->available_sizes[best].y_ppem / 64.0 - emY))
            best = i;
    }
    return FT_Select_Size(face, best) == 0;
}

// Copies a mono bitmap (top row first, padded pitch) into glBitmap's layout.
void Repack(const FT_Bitmap& source, GlyphBitmap& glyph) {
    glyph.width = static_cast<int>(source.width);
    glyph.height = static_cast<int>(source.rows);
    const std::size_t rowBytes = (source.width + 7) / 8;
    glyph.bits.assign(rowBytes * source.rows, 0);
    const int pitch = source.pitch;
    const std::size_t stride = static_cast<std::size_t>(std::abs(pitch));
    for (unsigned row = 0; row < source.rows; ++row) {
        // Row `row` counted from the top, wherever the buffer starts.
        const std::size_t memoryRow = pitch >= 0 ? row : source.rows - 1 - row;
        const unsigned char* from = source.buffer + memoryRow * stride;
        unsigned char* to = glyph.bits.data() + (source.rows - 1 - row) * rowBytes;
        if (source.pixel_mode == FT_PIXEL_MODE_MONO) {
            std::copy(from, from + rowBytes, to);
        } else if (source.pixel_mode == FT_PIXEL_MODE_GRAY) {
            for (unsigned x = 0; x < source.width; ++x)
                if (from[x] >= 128) to[x / 8] |= static_cast<unsigned char>(0x80u >> (x % 8));
        }
    }
    // Bits past the width in the last byte must stay clear.
    if (source.width % 8 != 0) {
        const unsigned char keep = static_cast<unsigned char>(0xFFu << (8 - source.width % 8));
        for (unsigned row = 0; row < source.rows; ++row) glyph.bits[row * rowBytes + rowBytes - 1] &= keep;
    }
}

GlyphBitmap RenderGlyph(FT_Face face, char32_t codePoint, bool embolden) {
    GlyphBitmap glyph;
    if (codePoint == 0) return glyph;
    const FT_UInt index = FT_Get_Char_Index(face, codePoint); // 0: the face's missing-glyph box
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) != 0) return glyph;
    FT_GlyphSlot slot = face->glyph;
    if (embolden) FT_GlyphSlot_Embolden(slot);
    glyph.advance = static_cast<float>(std::lround(slot->advance.x / 64.0));
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return glyph;
    Repack(slot->bitmap, glyph);
    glyph.xorig = static_cast<float>(-slot->bitmap_left);
    glyph.yorig = static_cast<float>(glyph.height - slot->bitmap_top);
    return glyph;
}

} // namespace

bool RasterizeFont(const FontRequest& request, const std::vector<char32_t>& codePoints, RasterFont& font) {
    const std::string name =
        "Font " + Quoted(request.faceName) + " (" + IntToStr(request.width) + " x " + IntToStr(request.height) + "): ";
    if (std::labs(static_cast<long>(request.width)) > kMaxFontPixels ||
        std::labs(static_cast<long>(request.height)) > kMaxFontPixels)
        return Refuse(name + "larger than " + IntToStr(kMaxFontPixels) + " pixels");
    FT_Library library = FreeType();
    if (!library) return Refuse(name + "FreeType cannot start");
    FaceMatch match;
    if (!FindFace(request, match))
        return Refuse(name + "no face of that name, nor the fallback " + Quoted(kFallbackFamily) + ", is installed");
    FT_Face rawFace = nullptr;
    // A face found as bytes (Windows hands over the font's data, not its file)
    // is read from them; they outlive the face.
    const FT_Error loaded =
        match.bytes.empty()
            ? FT_New_Face(library, match.file.c_str(), match.index, &rawFace)
            : FT_New_Memory_Face(library, match.bytes.data(), static_cast<FT_Long>(match.bytes.size()), match.index,
                                 &rawFace);
    if (loaded != 0)
        return Refuse(name + "FreeType cannot load " + Quoted(match.file));
    FacePtr face(rawFace);
    FT_Select_Charmap(face.get(), FT_ENCODING_UNICODE);
    if (!SetSize(face.get(), request)) return Refuse(name + "the face has no usable size for the request");

    // A family without a bold face is thickened by hand, as bold was asked for.
    const bool embolden = request.bold && !match.bold && FT_IS_SCALABLE(face.get());
    RasterFont result;
    result.family = match.family;
    result.file = match.file;
    result.glyphs.reserve(codePoints.size());
    for (char32_t codePoint : codePoints) result.glyphs.push_back(RenderGlyph(face.get(), codePoint, embolden));
    font = std::move(result);
    return true;
}

} // namespace quelt
