// SPDX-License-Identifier: Zlib
// Reader for PNG images: libspng reads the headers and the rarer layouts;
// 8-bit files that are not interlaced are inflated whole with libdeflate and
// unfiltered here, giving the same pixels, and leave anything unusual (a
// damaged stream included) to libspng, so its reasons stay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the PNG file held in `data` into RGBA pixels when the image carries
// alpha (grey + alpha, RGBA, or a transparency chunk) and RGB otherwise, top
// row first. Every colour type, bit depth and interlacing is read; 16-bit
// channels keep their high byte, grey is repeated into red, green and blue,
// and no gamma is applied. Side chunks other than transparency are dropped
// unread, whatever their size or state. Null, with a reason for
// qGetLastError, for a damaged file (a bad checksum on any chunk it reads,
// the end chunk included, or on the image data's zlib stream), a truncated one (no whole end chunk), and one
// larger than ImageSizeProblem allows.
std::unique_ptr<TTexture> LoadPng(TData& data);

// Undoes one row's filter (`type` 0 to 4) into `out`: `bytes` bytes of
// pixels of `bpp` bytes each; `prior` is the row above, unfiltered (zeros
// above the first). `in` and `prior` must have a byte to spare past `bytes`,
// as whole pixels of 3 bytes are read 4 at a time. False for an unknown
// filter type. 3- and 4-byte pixels take SSE2 where ChosenPixelPath allows.
bool UnfilterPngRow(std::uint8_t type, const std::uint8_t* in, const std::uint8_t* prior, std::uint8_t* out,
                    std::size_t bytes, unsigned bpp);

} // namespace quelt
