#include "TTextureLib.h"

#include <stdexcept>

namespace quelt {

namespace {
constexpr std::uint32_t kAlpha = 0x1906;
constexpr std::uint32_t kRgb = 0x1907;
constexpr std::uint32_t kRgba = 0x1908;
constexpr std::uint32_t kNoFormat = 0xFFFFFFFFu;

std::int32_t NonNegative(std::int32_t value) {
    if (value < 0) throw std::invalid_argument("negative texture dimension");
    return value;
}
} // namespace

std::uint32_t TTexture::FormatFor(std::int32_t components) {
    switch (components) {
    case 1: return kAlpha;
    case 3: return kRgb;
    case 4: return kRgba;
    default: return kNoFormat;
    }
}

TTexture::TTexture(std::int32_t width, std::int32_t height, std::int32_t components)
    : width_(NonNegative(width)),
      height_(NonNegative(height)),
      components_(NonNegative(components)),
      format_(FormatFor(components)),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
              static_cast<std::size_t>(components)) {}

} // namespace quelt
