// SPDX-License-Identifier: Zlib
// Reader for TGA images: 32-bit and 24-bit true colour and 8-bit grey, plain
// or run-length encoded.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the TGA file held in `data` (cursor at its start) into RGBA pixels,
// top row first and left to right, whichever row and column order the file
// stores (descriptor bits 5 and 4); null when rejected. 24-bit and grey
// pixels get alpha 255.
//
// Accepted: depth 32 with image type 1, 2, 3, 9, 10 or 11 (all read as true
// colour), depth 24 with type 2 or 10, depth 8 with type 3 or 11 (grey).
// Rejected: fewer than 18 header bytes, any other type and depth, and an image
// far larger than the file could describe (see ImageFitsFile) or than
// ImageSizeProblem allows. Data that ends
// early is accepted: every complete pixel present is decoded and the rest of
// the image stays zero. A run-length packet reaching past the last pixel of
// the image is cut there.
std::unique_ptr<TTexture> LoadTga(TData& data);

} // namespace quelt
