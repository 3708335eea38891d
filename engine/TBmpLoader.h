// Reader for uncompressed 24- and 32-bit BMP images.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the BMP file held in `data` (cursor at its start) into RGB (24-bit)
// or RGBA (32-bit) pixels, top row first; null when the file is rejected.
//
// Rejected: fewer than 54 header bytes, a wrong signature, information header
// size other than 40 or planes other than 1, an unlisted depth or compression,
// palette depths and RLE (no conversion), a negative width or height, and an
// image far larger than the file could describe (see ImageFitsFile).
// Pixel data is always read from offset 54. Data that ends early is accepted:
// every complete pixel present is decoded and the rest of the image stays zero.
std::unique_ptr<TTexture> LoadBmp(TData& data);

} // namespace quelt
