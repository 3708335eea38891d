// SPDX-License-Identifier: Zlib
#include "TBmpLoader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "QUtils.h"
#include "TPixelOrder.h"

namespace quelt {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint16_t kSignature = 0x4D42;
constexpr std::uint32_t kPlain = 0;
constexpr std::uint32_t kBitFields = 3;

// Red, green, blue and alpha masks of a 32-bit pixel stored blue, green, red, alpha.
constexpr std::array<std::uint32_t, 4> kByteOrderMasks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};

// The information headers of the classic, V2, V3, V4 and V5 layouts, which
// share their first 40 bytes.
bool KnownInfoSize(std::uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool PaletteDepth(std::uint16_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

std::string CompressionName(std::uint32_t compression) {
    switch (compression) {
    case 1: return "RLE8";
    case 2: return "RLE4";
    case 4: return "JPEG";
    case 5: return "PNG";
    default: return "type " + IntToStr(static_cast<std::int32_t>(compression));
    }
}

struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive here
    bool topDown = false;
    std::uint16_t bits = 0;
    bool alphaFromFile = true;  // 32-bit: the fourth byte is alpha, else 255
    std::uint32_t colours = 0;  // palette entries
    std::uint32_t paletteStart = 0;
    std::uint32_t pixelStart = 0;
};

// Bit fields are decoded only when they name the plain byte order; without an
// alpha mask the fourth byte is padding.
bool ReadBitFields(const std::uint8_t* file, std::uint32_t size, std::uint32_t infoSize, BmpLayout& layout) {
    const std::uint32_t masksAt = kFileHeaderSize + 40;
    const std::uint32_t maskCount = infoSize >= 56 ? 4 : 3;
    if (layout.bits != 32) return Refuse("BMP: bit fields are read only with 32 bits per pixel");
    if (size < masksAt + 4 * maskCount) return Refuse("BMP: the file ends inside its colour masks");
    for (std::uint32_t i = 0; i < 3; ++i)
        if (LoadLE32(file + masksAt + 4 * i) != kByteOrderMasks[i])
            return Refuse("BMP: bit fields other than 8 bits each of blue, green, red are not read");
    const std::uint32_t alpha = maskCount == 4 ? LoadLE32(file + masksAt + 12) : 0;
    if (alpha != 0 && alpha != kByteOrderMasks[3])
        return Refuse("BMP: an alpha mask other than the top byte is not read");
    layout.alphaFromFile = alpha != 0;
    return true;
}

// Checks the headers; false for what the reader does not decode.
bool ReadLayout(const std::uint8_t* file, std::uint32_t size, BmpLayout& layout) {
    if (size < kFileHeaderSize + 40 || LoadLE16(file) != kSignature)
        return Refuse("BMP: not a BMP file (no \"BM\" header)");
    const std::uint32_t infoSize = LoadLE32(file + 14);
    if (!KnownInfoSize(infoSize))
        return Refuse("BMP: an information header of " + std::to_string(infoSize) + " bytes is not read");
    if (size < kFileHeaderSize + infoSize) return Refuse("BMP: the file ends inside its header");
    if (LoadLE16(file + 26) != 1) return Refuse("BMP: the header's plane count is not 1");
    layout.width = static_cast<std::int32_t>(LoadLE32(file + 18));
    const auto height = static_cast<std::int32_t>(LoadLE32(file + 22));
    layout.bits = LoadLE16(file + 28);
    const std::uint32_t compression = LoadLE32(file + 30);
    if (layout.width < 0 || height == INT32_MIN) return Refuse("BMP: the header gives an impossible size");
    layout.topDown = height < 0;
    layout.height = height < 0 ? -height : height;

    std::uint32_t headerEnd = kFileHeaderSize + infoSize;
    if (compression == kBitFields) {
        if (!ReadBitFields(file, size, infoSize, layout)) return false;
        if (infoSize == 40) headerEnd += 12;  // the masks follow the classic header
    } else if (compression != kPlain) {
        return Refuse("BMP: " + CompressionName(compression) + " compression is not read");
    }
    if (PaletteDepth(layout.bits)) {
        const std::uint32_t most = 1u << layout.bits;
        const std::uint32_t used = LoadLE32(file + 46);
        layout.colours = used == 0 ? most : used;
        if (layout.colours > most) return Refuse("BMP: the palette has more colours than the depth allows");
        if (std::uint64_t(size) < std::uint64_t(headerEnd) + 4 * layout.colours)
            return Refuse("BMP: the file ends inside its palette");
        layout.paletteStart = headerEnd;
        headerEnd += 4 * layout.colours;
    } else if (layout.bits != 24 && layout.bits != 32) {
        return Refuse("BMP: " + IntToStr(layout.bits) + " bits per pixel are not read");
    }
    // Writers that leave the offset 0 (or point it into the headers or the
    // palette, as some write 54 before a palette) get the pixels right after
    // the headers and palette.
    const std::uint32_t offset = LoadLE32(file + 10);
    const bool offsetUsable = offset >= headerEnd && offset < size;
    layout.pixelStart = offsetUsable ? offset : headerEnd;
    return true;
}

using Palette = std::array<std::array<std::uint8_t, 3>, 256>;

// Entries past the palette's end are black.
Palette ReadPalette(const std::uint8_t* file, const BmpLayout& layout) {
    Palette palette{};
    for (std::uint32_t i = 0; i < layout.colours; ++i) {
        const std::uint8_t* entry = file + layout.paletteStart + 4 * i;
        palette[i] = {entry[2], entry[1], entry[0]};
    }
    return palette;
}

// Expands the first `pixels` indices of a packed row, leftmost pixel in the
// high bits of each byte.
void ExpandIndices(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, std::uint16_t bits,
                   const Palette& palette) {
    const unsigned perByte = 8u / bits;
    const unsigned mask = (1u << bits) - 1;
    for (std::size_t x = 0; x < pixels; ++x) {
        const unsigned shift = 8u - bits * (1u + unsigned(x % perByte));
        const unsigned index = (src[x / perByte] >> shift) & mask;
        std::memcpy(dst + x * 3, palette[index].data(), 3);
    }
}

void SetOpaque(std::uint8_t* rgba, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i) rgba[i * 4 + 3] = 255;
}

} // namespace

std::unique_ptr<TTexture> LoadBmp(TData& data) {
    const std::uint8_t* file = data.Data();
    const std::uint32_t size = data.Size();
    BmpLayout layout;
    if (size >= kFileHeaderSize) data.Seek(kFileHeaderSize);
    if (!ReadLayout(file, size, layout)) return nullptr;

    const std::int32_t components = layout.bits == 32 ? 4 : 3;
    const std::uint64_t width = std::uint64_t(layout.width);
    const std::string tooLarge = ImageSizeProblem(width, std::uint64_t(layout.height), components);
    if (!tooLarge.empty()) return RefuseImage("BMP: " + tooLarge);
    if (!ImageFitsFile(width * std::uint64_t(layout.height) * components, size))
        return RefuseImage("BMP: the header claims an image far larger than the file");
    auto texture = std::make_unique<TTexture>(layout.width, layout.height, components);
    const Palette palette = PaletteDepth(layout.bits) ? ReadPalette(file, layout) : Palette{};

    // Rows are stored in multiples of 4 bytes.
    const std::uint64_t stride = (width * layout.bits + 31) / 32 * 4;
    const std::size_t rowBytes = texture->RowBytes();
    const bool bypassCache = texture->PixelBytes() >= kBypassCacheBytes;
    std::uint64_t offset = layout.pixelStart;
    for (std::int32_t r = 0; r < layout.height && rowBytes > 0; ++r, offset += stride) {
        const std::uint64_t left = offset < size ? size - offset : 0;
        // Whole pixels present in this row; data that ends early leaves the rest black.
        const std::size_t pixels = static_cast<std::size_t>(std::min<std::uint64_t>(width, left * 8 / layout.bits));
        std::uint8_t* dst = texture->Row(layout.topDown ? r : layout.height - 1 - r);
        const std::uint8_t* src = file + std::min<std::uint64_t>(offset, size);
        if (layout.bits == 24) {
            BgrToRgb(src, dst, pixels, bypassCache);
        } else if (layout.bits == 32) {
            BgraToRgba(src, dst, pixels, bypassCache);
            if (!layout.alphaFromFile) SetOpaque(dst, pixels);
        } else {
            ExpandIndices(src, dst, pixels, layout.bits, palette);
        }
        // Only when something is missing: even an empty memset may touch
        // the next row, just written past the cache, and fetch it back.
        if (pixels < width) std::memset(dst + pixels * components, 0, rowBytes - pixels * components);
    }
    FinishBypassingCache();
    data.Seek(static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, size)));
    return texture;
}

} // namespace quelt
