#include "TTextureLib.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUELT_SSSE3_AT_RUN_TIME 1
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

namespace {

#if defined(QUELT_SSSE3_AT_RUN_TIME)
// Byte shuffles need SSSE3 (and AVX2 for 32 bytes), which baseline x86-64
// lacks: these run only after the processor said it has them.
bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Eight pixels a step; returns how many pixels were done.
__attribute__((target("avx2"))) std::size_t BgraToRgbaAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t pixels) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                           2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    std::size_t i = 0;
    for (; i + 8 <= pixels; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4), _mm256_shuffle_epi8(v, order));
    }
    return i;
}

// Four pixels a step, each 16-byte load and store covering 12 bytes of them;
// returns how many pixels were done. Stops while 16 bytes remain readable.
__attribute__((target("ssse3"))) std::size_t BgrToRgbSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::size_t i = 0;
    // The last store writes 4 bytes past its 4 pixels: they belong to the
    // next 2 pixels, rewritten by the tail.
    for (; i + 6 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 3), _mm_shuffle_epi8(v, order));
    }
    return i;
}

__attribute__((target("ssse3"))) std::size_t BgrToRgbaSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                            std::size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 6 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_or_si128(_mm_shuffle_epi8(v, order), alpha));
    }
    return i;
}
#endif

} // namespace

void BgraToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(QUELT_SSSE3_AT_RUN_TIME)
    if (pixels >= 8 && HasAvx2()) i = BgraToRgbaAvx2(src, dst, pixels);
#endif
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

void BgrToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(QUELT_SSSE3_AT_RUN_TIME)
    if (pixels >= 6 && HasSsse3()) i = BgrToRgbSsse3(src, dst, pixels);
#endif
    for (; i < pixels; ++i) {
        const std::uint8_t b = src[i * 3], g = src[i * 3 + 1], r = src[i * 3 + 2];
        dst[i * 3] = r;
        dst[i * 3 + 1] = g;
        dst[i * 3 + 2] = b;
    }
}

void BgrToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(QUELT_SSSE3_AT_RUN_TIME)
    if (pixels >= 6 && HasSsse3()) i = BgrToRgbaSsse3(src, dst, pixels);
#endif
    for (; i < pixels; ++i) {
        dst[i * 4] = src[i * 3 + 2];
        dst[i * 4 + 1] = src[i * 3 + 1];
        dst[i * 4 + 2] = src[i * 3];
        dst[i * 4 + 3] = 255;
    }
}

void GreyToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint32_t v = src[i] * 0x010101u | 0xFF000000u;
        std::memcpy(dst + i * 4, &v, 4);
    }
}

} // namespace quelt
