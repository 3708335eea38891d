// SPDX-License-Identifier: Zlib
// The Ogg Vorbis reader on arbitrary bytes: no read outside the input, no
// hang, and never more samples than a file of that size may decode to.
#include <cstddef>
#include <cstdint>

#include "SoundFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckSound(quelt::DecodeOgg(data, size), quelt::OggSampleLimit(size));
    return 0;
}
