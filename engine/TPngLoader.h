// SPDX-License-Identifier: Zlib
// Reader for PNG images: libspng reads the headers and the rarer layouts;
// 8-bit files that are not interlaced are inflated whole with libdeflate and
// unfiltered here, giving the same pixels, and leave anything unusual (a
// damaged stream included) to libspng, so its reasons stay.
#pragma once

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

} // namespace quelt
