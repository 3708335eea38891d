#include "TTextureLib.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
      pixelBytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                  static_cast<std::size_t>(components)),
      pixels_(pixelBytes_ ? new std::uint8_t[pixelBytes_] : nullptr) {}

void BgraToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // The hot loop of both readers: four pixels per step.
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; i + 4 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), low);
        const __m128i blue = _mm_slli_epi32(_mm_and_si128(v, low), 16);
        const __m128i out = _mm_or_si128(_mm_and_si128(v, keep), _mm_or_si128(red, blue));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), out);
    }
#endif
    for (; i < pixels; ++i) {
        std::uint32_t v;
        std::memcpy(&v, src + i * 4, 4);
        v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
        std::memcpy(dst + i * 4, &v, 4);
    }
}

} // namespace quelt
