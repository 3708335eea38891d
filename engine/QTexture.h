// SPDX-License-Identifier: Zlib
// Textures from image files and the normalisation cube map. Every GL call
// goes to the current context; the module keeps no state between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <quelt/quelt.h>

#include "SData.h"
#include "TTextureLib.h"

namespace quelt {

// The text after the first "." of the whole name, or the whole name when it
// has none ("textures.v2\land.bmp" gives "v2\land.bmp").
std::string ImageExtension(const std::string& fileName);

// Decodes `data` with the reader for "bmp", "tga", "png", "jpg" or "jpeg"
// (compared case-sensitively); null for another extension or a rejected image.
std::unique_ptr<TTexture> DecodeImage(const std::string& extension, TData& data);
// Reads the file and decodes it by its extension; null for a missing or empty
// file, an unknown extension or a rejected image, with the reason (naming the
// file) left for qGetLastError. Readers leave the cause of a refusal there.
std::unique_ptr<TTexture> LoadImage(const std::string& fileName);

// Uploads to `target` of the bound texture object, with GLU-built mipmaps when
// asked. A 1D target takes the first row only.
bool Upload(const TTexture& texture, std::uint32_t target, bool mipmaps);

// False, with no GL call made, when no image could be decoded.
bool LoadTexture(std::uint32_t target, bool mipmaps, const std::string& fileName);
// A new texture name, also when the file could not be loaded.
std::uint32_t CreateTexture2D(bool mipmaps, const std::string& fileName);
// Six face files in +X, -X, +Y, -Y, +Z, -Z order (more are ignored); 0 when
// fewer than six are given (nothing is touched) or a face fails to load.
std::uint32_t CreateCubeMap(bool mipmaps, const std::vector<std::string>& fileNames);
// Faces of size x size texels encoding directions; 0 (nothing touched) for a
// negative size.
std::uint32_t CreateNormCubeMap(std::int32_t size, bool mipmaps);

// Direction through the centre of texel (x, y) of a face; not normalised.
TVec3D CubeVector(std::int32_t face, std::int32_t size, std::int32_t x, std::int32_t y);
// round(127 * component + 128), halves to the even neighbour.
std::uint8_t DirectionByte(float component);

} // namespace quelt
