// SPDX-License-Identifier: Zlib
#include "TPixelOrder.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUELT_X86 1
#endif

namespace quelt {

namespace {

std::atomic<PixelPath> g_highestPath{PixelPath::kAvx2};

PixelPath DetectBestPath() {
#if defined(QUELT_X86)
    if (__builtin_cpu_supports("avx2")) return PixelPath::kAvx2;
    if (__builtin_cpu_supports("ssse3")) return PixelPath::kSsse3;
    if (__builtin_cpu_supports("sse2")) return PixelPath::kSse2;
#endif
    return PixelPath::kScalar;
}

void BgraToRgbaScalar(const std::uint8_t* src, std::uint8_t* dst, std::size_t i, std::size_t pixels) {
    for (; i < pixels; ++i) {
        std::uint32_t v;
        std::memcpy(&v, src + i * 4, 4);
        v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
        std::memcpy(dst + i * 4, &v, 4);
    }
}

void BgrToRgbScalar(const std::uint8_t* src, std::uint8_t* dst, std::size_t i, std::size_t pixels) {
    for (; i < pixels; ++i) {
        const std::uint8_t b = src[i * 3], g = src[i * 3 + 1], r = src[i * 3 + 2];
        dst[i * 3] = r;
        dst[i * 3 + 1] = g;
        dst[i * 3 + 2] = b;
    }
}

void BgrToRgbaScalar(const std::uint8_t* src, std::uint8_t* dst, std::size_t i, std::size_t pixels) {
    for (; i < pixels; ++i) {
        dst[i * 4] = src[i * 3 + 2];
        dst[i * 4 + 1] = src[i * 3 + 1];
        dst[i * 4 + 2] = src[i * 3];
        dst[i * 4 + 3] = 255;
    }
}

#if defined(QUELT_X86)
// Baseline x86-64 has SSE2 but not the byte shuffles of SSSE3, nor AVX2:
// each function below runs only after the processor said it has its set.

__attribute__((target("sse2"))) void FenceStreamedStores() { _mm_sfence(); }

// Four pixels a step from pixel `i` on; returns how many pixels were done.
__attribute__((target("sse2"))) std::size_t BgraToRgbaSse2(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t i, std::size_t pixels) {
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; i + 4 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        const __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), low);
        const __m128i blue = _mm_slli_epi32(_mm_and_si128(v, low), 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4),
                         _mm_or_si128(_mm_and_si128(v, keep), _mm_or_si128(red, blue)));
    }
    return i;
}

__attribute__((target("ssse3"))) std::size_t BgraToRgbaSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                             std::size_t i, std::size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    for (; i + 4 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_shuffle_epi8(v, order));
    }
    return i;
}

// Eight pixels a step. Streaming stores need 32-byte aligned targets: the
// pixels before the first one are done one by one.
__attribute__((target("avx2"))) std::size_t BgraToRgbaAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t pixels, bool bypassCache) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                           2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    std::size_t i = 0;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(dst);
    const std::size_t head = (32 - address % 32) % 32 / 4;  // pixels before an aligned target
    if (bypassCache && address % 4 == 0 && head + 8 <= pixels) {
        BgraToRgbaScalar(src, dst, 0, head);
        for (i = head; i + 8 <= pixels; i += 8) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i * 4), _mm256_shuffle_epi8(v, order));
        }
        return i;
    }
    for (; i + 8 <= pixels; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4), _mm256_shuffle_epi8(v, order));
    }
    return i;
}

// Shuffle masks for 16 pixels (48 bytes) of blue, green, red to red, green,
// blue: output block k takes from input block b the bytes kBgrMasks[k][b]
// names (0x80: none).
struct BgrMasks {
    std::uint8_t bytes[3][3][16];
};
constexpr BgrMasks MakeBgrMasks() {
    BgrMasks masks{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 16; ++j) {
            const int target = 16 * k + j;
            const int source = target - target % 3 + 2 - target % 3;
            for (int b = 0; b < 3; ++b)
                masks.bytes[k][b][j] = source / 16 == b ? static_cast<std::uint8_t>(source % 16) : 0x80;
        }
    return masks;
}
constexpr BgrMasks kBgrMasks = MakeBgrMasks();

// Sixteen pixels a step in three 16-byte blocks, from pixel `i` on; returns
// how many pixels were done.
template <bool kStream>
__attribute__((target("ssse3"))) std::size_t BgrBlocksSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                            std::size_t i, std::size_t pixels) {
    const auto mask = [](int k, int b) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrMasks.bytes[k][b]));
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2),
                  m21 = mask(2, 1), m22 = mask(2, 2);
    for (; i + 16 <= pixels; i += 16) {
        const auto* in = reinterpret_cast<const __m128i*>(src + i * 3);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), c = _mm_loadu_si128(in + 2);
        // Block 0 needs nothing of block 2, nor block 2 of block 0.
        const __m128i out[3] = {
            _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01)),
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)), _mm_shuffle_epi8(c, m12)),
            _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22))};
        auto* target = reinterpret_cast<__m128i*>(dst + i * 3);
        for (int k = 0; k < 3; ++k) {
            if (kStream)
                _mm_stream_si128(target + k, out[k]);
            else
                _mm_storeu_si128(target + k, out[k]);
        }
    }
    return i;
}

// With `bypassCache` the blocks are streamed past the cache from the first
// 16-byte aligned target on, the pixels before it done one by one.
__attribute__((target("ssse3"))) std::size_t BgrToRgbSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t pixels, bool bypassCache) {
    if (!bypassCache) return BgrBlocksSsse3<false>(src, dst, 0, pixels);
    // 3 * 11 is 1 modulo 16, so 11 * (16 - address) pixels reach alignment.
    const std::size_t head = (16 - reinterpret_cast<std::uintptr_t>(dst) % 16) * 11 % 16;
    if (head + 16 > pixels) return 0;
    BgrToRgbScalar(src, dst, 0, head);
    return BgrBlocksSsse3<true>(src, dst, head, pixels);
}

// Four pixels a step from pixel `i` on; a step reads 16 bytes, so it stops
// two pixels early. Returns how many pixels were done.
template <bool kStream>
__attribute__((target("ssse3"))) std::size_t BgrToRgbaSteps(const std::uint8_t* src, std::uint8_t* dst, std::size_t i,
                                                            std::size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 6 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 3));
        const __m128i rgba = _mm_or_si128(_mm_shuffle_epi8(v, order), alpha);
        if (kStream)
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i * 4), rgba);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), rgba);
    }
    return i;
}

// With `bypassCache` the steps are streamed past the cache from the first
// 16-byte aligned target on, the pixels before it done one by one.
__attribute__((target("ssse3"))) std::size_t BgrToRgbaSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                            std::size_t pixels, bool bypassCache) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(dst);
    const std::size_t head = (16 - address % 16) % 16 / 4;
    if (!bypassCache || address % 4 != 0 || head + 6 > pixels) return BgrToRgbaSteps<false>(src, dst, 0, pixels);
    BgrToRgbaScalar(src, dst, 0, head);
    return BgrToRgbaSteps<true>(src, dst, head, pixels);
}

// Eight pixels from `src`: four from each 16-byte half, of which 28 bytes are read.
__attribute__((target("avx2"))) __m256i BgrToRgbaEight(const std::uint8_t* src) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1,
                                           2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12));
    const __m256i bgr = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    return _mm256_or_si256(_mm256_shuffle_epi8(bgr, order), _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

// Eight pixels a step; a step reads 28 bytes, so it stops two pixels early.
// Streaming stores need 32-byte aligned targets: the pixels before the
// first one are done one by one.
__attribute__((target("avx2"))) std::size_t BgrToRgbaAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                                          std::size_t pixels, bool bypassCache) {
    std::size_t i = 0;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(dst);
    const std::size_t head = (32 - address % 32) % 32 / 4;
    if (bypassCache && address % 4 == 0 && head + 10 <= pixels) {
        BgrToRgbaScalar(src, dst, 0, head);
        for (i = head; i + 10 <= pixels; i += 8)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i * 4), BgrToRgbaEight(src + i * 3));
        return i;
    }
    for (; i + 10 <= pixels; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4), BgrToRgbaEight(src + i * 3));
    return i;
}

// Sixteen pixels (48 bytes) a step, each output block a shuffle of the greys.
__attribute__((target("ssse3"))) std::size_t GreyToRgbSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                            std::size_t pixels) {
    const __m128i first = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i second = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i third = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    std::size_t i = 0;
    for (; i + 16 <= pixels; i += 16) {
        const __m128i grey = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        auto* target = reinterpret_cast<__m128i*>(dst + i * 3);
        _mm_storeu_si128(target, _mm_shuffle_epi8(grey, first));
        _mm_storeu_si128(target + 1, _mm_shuffle_epi8(grey, second));
        _mm_storeu_si128(target + 2, _mm_shuffle_epi8(grey, third));
    }
    return i;
}

// Sixteen pixels a step: each grey byte doubled, then doubled again.
__attribute__((target("sse2"))) std::size_t GreyToRgbaSse2(const std::uint8_t* src, std::uint8_t* dst,
                                                           std::size_t pixels) {
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 16 <= pixels; i += 16) {
        const __m128i grey = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i low = _mm_unpacklo_epi8(grey, grey), high = _mm_unpackhi_epi8(grey, grey);
        auto* target = reinterpret_cast<__m128i*>(dst + i * 4);
        _mm_storeu_si128(target, _mm_or_si128(_mm_unpacklo_epi16(low, low), alpha));
        _mm_storeu_si128(target + 1, _mm_or_si128(_mm_unpackhi_epi16(low, low), alpha));
        _mm_storeu_si128(target + 2, _mm_or_si128(_mm_unpacklo_epi16(high, high), alpha));
        _mm_storeu_si128(target + 3, _mm_or_si128(_mm_unpackhi_epi16(high, high), alpha));
    }
    return i;
}
#endif

} // namespace

PixelPath BestPixelPath() {
    static const PixelPath best = DetectBestPath();
    return best;
}

PixelPath ChosenPixelPath() { return std::min(BestPixelPath(), g_highestPath.load(std::memory_order_relaxed)); }

void LimitPixelPath(PixelPath highest) { g_highestPath.store(highest, std::memory_order_relaxed); }

void FinishBypassingCache() {
#if defined(QUELT_X86)
    // Only the SSE2 paths and above stream; older processors lack the fence.
    if (ChosenPixelPath() >= PixelPath::kSse2) FenceStreamedStores();
#endif
}

void BgraToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache) {
    std::size_t i = 0;
#if defined(QUELT_X86)
    const PixelPath path = ChosenPixelPath();
    if (path == PixelPath::kAvx2) i = BgraToRgbaAvx2(src, dst, pixels, bypassCache);
    if (path >= PixelPath::kSsse3)
        i = BgraToRgbaSsse3(src, dst, i, pixels);
    else if (path == PixelPath::kSse2)
        i = BgraToRgbaSse2(src, dst, i, pixels);
#else
    (void)bypassCache;
#endif
    BgraToRgbaScalar(src, dst, i, pixels);
}

void BgrToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache) {
    std::size_t i = 0;
#if defined(QUELT_X86)
    if (pixels >= 16 && ChosenPixelPath() >= PixelPath::kSsse3) i = BgrToRgbSsse3(src, dst, pixels, bypassCache);
#else
    (void)bypassCache;
#endif
    BgrToRgbScalar(src, dst, i, pixels);
}

void BgrToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache) {
    std::size_t i = 0;
#if defined(QUELT_X86)
    const PixelPath path = ChosenPixelPath();
    if (path == PixelPath::kAvx2) i = BgrToRgbaAvx2(src, dst, pixels, bypassCache);
    // After AVX2 fewer than ten pixels are left, for the scalar loop.
    if (i == 0 && path >= PixelPath::kSsse3) i = BgrToRgbaSsse3(src, dst, pixels, bypassCache);
#else
    (void)bypassCache;
#endif
    BgrToRgbaScalar(src, dst, i, pixels);
}

void GreyToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(QUELT_X86)
    if (ChosenPixelPath() >= PixelPath::kSsse3) i = GreyToRgbSsse3(src, dst, pixels);
#endif
    for (; i < pixels; ++i) dst[i * 3] = dst[i * 3 + 1] = dst[i * 3 + 2] = src[i];
}

void GreyToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) {
    std::size_t i = 0;
#if defined(QUELT_X86)
    if (ChosenPixelPath() >= PixelPath::kSse2) i = GreyToRgbaSse2(src, dst, pixels);
#endif
    for (; i < pixels; ++i) {
        const std::uint32_t v = src[i] * 0x010101u | 0xFF000000u;
        std::memcpy(dst + i * 4, &v, 4);
    }
}

} // namespace quelt
