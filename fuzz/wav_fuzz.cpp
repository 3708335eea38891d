// SPDX-License-Identifier: Zlib
// The sound reader on arbitrary bytes as qCreateSound hands it a file: no
// read outside the input, no hang, and a WAV never yields more samples than
// twice its bytes (8-bit companded samples widen to 16).
#include <cstddef>
#include <cstdint>

#include "SoundFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const quelt::SoundData sound = quelt::ParseSound(data, size);
    CheckSound(sound, size >= 4 && data[0] == 'O' && data[1] == 'g' && data[2] == 'g' && data[3] == 'S'
                          ? quelt::OggSampleLimit(size)
                          : 2 * std::uint64_t{size});
    return 0;
}
