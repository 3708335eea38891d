// SPDX-License-Identifier: Zlib
// Reader for uncompressed BMP images: 1-, 2-, 4- and 8-bit palettes, 24-bit,
// and 32-bit plain or with byte-order bit fields.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the BMP file held in `data` (cursor at its start) into RGB (palette
// and 24-bit) or RGBA (32-bit) pixels, top row first; null when rejected.
//
// Information headers of 40, 52, 56, 108 and 124 bytes are read; rows run
// bottom to top, or top to bottom for a negative height. Pixels start at the
// file header's offset when it lies at or after the end of the headers and
// palette and inside the file, else right after them.
// Rejected: a file shorter than its headers, a wrong signature, another header
// size, planes other than 1, other depths, run-length and other compressions,
// bit fields other than the byte order (red 0xFF0000, green 0xFF00, blue 0xFF,
// alpha 0xFF000000 or none, which makes the image opaque), a palette larger
// than the depth allows or running past the file, a negative width, and an
// image far larger than the file could describe (see ImageFitsFile) or than
// ImageSizeProblem allows. Data that ends early is accepted: every complete
// pixel present is decoded and the rest of the image stays zero; palette
// indices past the palette give black.
std::unique_ptr<TTexture> LoadBmp(TData& data);

} // namespace quelt
