// The WAV reader on arbitrary bytes: no read outside the input, no hang, and
// a result that never claims more samples than the input holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "QOpenAL.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const quelt::WavData wav = quelt::ParseWav(data, size);
    if (wav.data.size() > size) std::abort();
    if (wav.hasData && wav.format == 0) std::abort();
    if (!wav.hasData && !wav.data.empty()) std::abort();
    return 0;
}
