// Reader for JPEG images through libjpeg-turbo.
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the JPEG file held in `data` (baseline or progressive;
// grey, colour, CMYK or YCCK) into RGB pixels, top row first. CMYK is taken
// as the inverted values Adobe's convention stores, and red is
// round(C * K / 255) of them (likewise green and blue). Null for a file the
// library reports as damaged or truncated, even by a warning, and for one
// claiming more pixels than its size could hold (see
// kMaxPixelBytesPerCompressedByte).
std::unique_ptr<TTexture> LoadJpeg(TData& data);

} // namespace quelt
