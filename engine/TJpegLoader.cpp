#include "TJpegLoader.h"

#include <vector>

#include <turbojpeg.h>

#include "QUtils.h"

namespace quelt {
namespace {

struct HandleFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// Damaged data is a warning to the library, which would fill what is missing
// with grey; the engine refuses the file instead.
constexpr int kFlags = TJFLAG_STOPONWARNING;

void InvertedCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        const unsigned k = cmyk[3];
        for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::uint8_t>((cmyk[c] * k + 127) / 255);
    }
}

// The library's own words for what it refused.
std::unique_ptr<TTexture> Refused(void* handle) {
    SetLastError(std::string("JPEG: ") + tjGetErrorStr2(handle));
    return nullptr;
}

} // namespace

std::unique_ptr<TTexture> LoadJpeg(TData& data) {
    if (data.AtEnd()) return nullptr;
    const std::unique_ptr<void, HandleFree> handle(tjInitDecompress());
    if (!handle) return nullptr;
    const unsigned long size = data.Size();
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(handle.get(), data.Data(), size, &width, &height, &subsampling, &colourSpace) != 0 ||
        width <= 0 || height <= 0)
        return Refused(handle.get());
    const bool cmyk = colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK;
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    if (!ImageFitsFile(pixels * (cmyk ? 4 : 3), data.Size(), kMaxPixelBytesPerCompressedByte)) {
        SetLastError("JPEG: the header claims an image far larger than the file");
        return nullptr;
    }

    auto texture = std::make_unique<TTexture>(width, height, 3);
    if (cmyk) {
        std::vector<std::uint8_t> stored(pixels * 4);
        if (tjDecompress2(handle.get(), data.Data(), size, stored.data(), width, 0, height, TJPF_CMYK, kFlags) != 0)
            return Refused(handle.get());
        InvertedCmykToRgb(stored.data(), texture->Pixels(), pixels);
    } else if (tjDecompress2(handle.get(), data.Data(), size, texture->Pixels(), width, 0, height, TJPF_RGB,
                             kFlags) != 0) {
        return Refused(handle.get());
    }
    data.Seek(data.Size());
    return texture;
}

} // namespace quelt
