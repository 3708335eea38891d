// Reader for PNG images through libspng.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the PNG file held in `data` into RGBA pixels when the image carries
// alpha (grey + alpha, RGBA, or a transparency chunk) and RGB otherwise, top
// row first. Every colour type, bit depth and interlacing is read; 16-bit
// channels keep their high byte, grey is repeated into red, green and blue,
// and no gamma is applied. Null for a damaged or truncated file (checksums
// included) and for one claiming more pixels than its size could hold (see
// kMaxPixelBytesPerCompressedByte).
std::unique_ptr<TTexture> LoadPng(TData& data);

} // namespace quelt
