// Reader for 32-bit TGA images, plain or run-length encoded.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the TGA file held in `data` (cursor at its start) into RGBA pixels,
// top row first, whichever row order the file stores; null when rejected.
//
// Rejected: fewer than 18 header bytes, an image type other than 1, 2, 3, 9,
// 10 or 11, a depth other than 32, and an image far larger than the file could
// describe (see ImageFitsFile). Data that ends early is accepted: every
// complete pixel present is decoded and the rest of the image stays zero. A
// run-length packet reaching past the last pixel of the image is cut there.
std::unique_ptr<TTexture> LoadTga(TData& data);

} // namespace quelt
