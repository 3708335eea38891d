// SPDX-License-Identifier: Zlib
// The WAV reader: PCM of 8, 16, 24 and 32 bits, 32-bit float, A-law and
// mu-law, mono or stereo; 8 and 16 bits are kept, the rest become 16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "TSoundLib.h"

namespace quelt {

class RegularFile;

// Reads nothing outside [bytes, bytes + size).
SoundData ParseWav(const std::uint8_t* bytes, std::size_t size);
// The same reading over an open file, a piece at a time: null, with the
// reason ParseWav would give, when its content is refused.
std::unique_ptr<SoundReader> OpenWavStream(std::unique_ptr<RegularFile> file);

} // namespace quelt
