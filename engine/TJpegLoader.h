// SPDX-License-Identifier: Zlib
// Reader for JPEG images through libjpeg-turbo (its libjpeg interface).
#pragma once

#include <memory>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// Decodes the JPEG file held in `data` (baseline, progressive or arithmetic
// coded; grey, colour, CMYK or YCCK; any sampling) into RGB pixels through
// libjpeg-turbo's libjpeg interface, top row first, turned as the EXIF
// orientation (1 to 8) of its first APP1 segment says, so the texture is
// upright (orientations 5 to 8 swap width and height). CMYK is taken as the
// inverted values Adobe's convention stores, and red is round(C * K / 255)
// of them (likewise green and blue). Null, with a reason for qGetLastError,
// for a file the library reports as damaged or truncated, even by a warning,
// and for one larger than ImageSizeProblem allows.
std::unique_ptr<TTexture> LoadJpeg(TData& data);

} // namespace quelt
