// SPDX-License-Identifier: Zlib
// The stored pixel conversions the image readers share, with their SIMD
// paths: the processor's best path is chosen at run time, so a build for
// baseline x86-64 still uses SSSE3 and AVX2 where they exist.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quelt {

// Images of this many pixel bytes or more are written past the cache.
constexpr std::size_t kBypassCacheBytes = std::size_t(8) << 20;

// `pixels` counts pixels. Blue, green, red, alpha to red, green, blue, alpha.
// With `bypassCache` (for large images) the pixels are written past the
// cache, as memcpy writes large copies: the upload reads them once, later.
// Such stores are weakly ordered: once the whole image is written, the
// reader calls FinishBypassingCache before handing it on.
void BgraToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache = false);
// Blue, green, red to red, green, blue; `bypassCache` as for BgraToRgba.
void BgrToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache = false);
// Blue, green, red to red, green, blue, alpha 255; `bypassCache` as for
// BgraToRgba.
void BgrToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache = false);
// Orders the stores written past the cache before any that follow. Once per
// image, not per row: it waits for them to reach memory, which, row by row,
// took a quarter of a large decode.
void FinishBypassingCache();
// One grey byte to red = green = blue = grey.
void GreyToRgb(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels);
// One grey byte to red = green = blue = grey, alpha 255.
void GreyToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels);

// The instruction sets the conversions are written for, each a superset of
// the one before; every path gives the same bytes.
enum class PixelPath { kScalar, kSse2, kSsse3, kAvx2 };

// The best path this processor runs.
PixelPath BestPixelPath();

// The path the conversions take now: the best, capped by LimitPixelPath.
// The PNG reader's unfilter asks it too.
PixelPath ChosenPixelPath();

// Caps the path the conversions take (never above BestPixelPath), for the
// process; kAvx2, the default, lets each take the best. For tests that run
// every path on the same images.
void LimitPixelPath(PixelPath highest);

} // namespace quelt
