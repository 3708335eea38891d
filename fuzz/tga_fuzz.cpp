// Arbitrary bytes through LoadTga.
#include "ImageFuzz.h"
#include "TTgaLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    return FuzzImageReader(bytes, size, [](quelt::TData& data) { return quelt::LoadTga(data); });
}
