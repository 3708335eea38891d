// Arbitrary bytes through LoadBmp.
#include "ImageFuzz.h"
#include "TBmpLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    return FuzzImageReader(bytes, size, [](quelt::TData& data) { return quelt::LoadBmp(data); });
}
