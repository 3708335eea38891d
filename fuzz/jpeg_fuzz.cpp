// SPDX-License-Identifier: Zlib
// Arbitrary bytes through the reader texture creation uses for ".jpeg" files.
#include "ImageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    return FuzzImageReader(bytes, size, "jpeg");
}
