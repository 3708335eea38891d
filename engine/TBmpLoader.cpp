#include "TBmpLoader.h"

#include <algorithm>
#include <cstring>

namespace quelt {
namespace {

constexpr std::uint32_t kHeadersSize = 54;
constexpr std::uint16_t kSignature = 0x4D42;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t DWord(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ListedDepth(std::uint16_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

void BgrToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, src += 3, dst += 3) {
        const std::uint8_t b = src[0], g = src[1], r = src[2];
        dst[0] = r;
        dst[1] = g;
        dst[2] = b;
    }
}

} // namespace

std::unique_ptr<TTexture> LoadBmp(TData& data) {
    if (data.Size() < kHeadersSize) return nullptr;
    const std::uint8_t* file = data.Data();
    const auto width = static_cast<std::int32_t>(DWord(file + 18));
    const auto height = static_cast<std::int32_t>(DWord(file + 22));
    const std::uint16_t bits = Word(file + 28);
    const std::uint32_t compression = DWord(file + 30);
    data.Seek(14);
    if (Word(file) != kSignature || DWord(file + 14) != kInfoHeaderSize || Word(file + 26) != 1 ||
        !ListedDepth(bits) || compression > 2)
        return nullptr;
    // Palette depths and RLE pass the header check but have no conversion.
    if (compression != 0 || (bits != 24 && bits != 32)) return nullptr;
    // Top-down files (negative height) are not read.
    if (width < 0 || height < 0) return nullptr;

    const std::uint32_t components = bits == 32 ? 4 : 3;
    const std::uint64_t pixelBytes = std::uint64_t(width) * std::uint64_t(height) * components;
    if (!ImageFitsFile(pixelBytes, data.Size())) return nullptr;

    data.Seek(kHeadersSize);
    auto texture = std::make_unique<TTexture>(width, height, static_cast<std::int32_t>(components));
    const std::uint64_t rowBytes = std::uint64_t(width) * components;
    const std::uint64_t stride = components == 3 ? (rowBytes + 3) & ~std::uint64_t(3) : rowBytes;
    const std::uint64_t size = data.Size();
    std::uint64_t offset = kHeadersSize;
    const auto rowSize = static_cast<std::size_t>(rowBytes);
    for (std::int32_t r = 0; r < height && rowSize > 0; ++r, offset += stride) {
        const std::uint64_t left = offset < size ? size - offset : 0;
        const auto pixels = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t(width), left / components));
        std::uint8_t* dst = texture->Row(height - 1 - r);
        if (components == 3)
            BgrToRgb(file + offset, dst, pixels);
        else
            BgraToRgba(file + offset, dst, pixels);
        // Data that ends early leaves the rest of the image black.
        std::memset(dst + pixels * components, 0, rowSize - pixels * components);
    }
    data.Seek(static_cast<std::uint32_t>(std::min(offset, size)));
    return texture;
}

} // namespace quelt
