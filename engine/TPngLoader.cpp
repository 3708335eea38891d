#include "TPngLoader.h"

#include <spng.h>

#include "QUtils.h"

namespace quelt {
namespace {

struct ContextFree {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

// Ancillary chunks (text, colour profiles) are kept by the library while it
// reads: bound them by the file rather than by the library's defaults.
constexpr std::size_t kChunkCacheSlack = std::size_t(1) << 20;

bool HasAlpha(spng_ctx* context, const spng_ihdr& header) {
    constexpr std::uint8_t kAlphaChannel = 4;
    spng_trns transparency;
    return (header.color_type & kAlphaChannel) != 0 || spng_get_trns(context, &transparency) == 0;
}

std::unique_ptr<TTexture> Refused(int error) {
    SetLastError(std::string("PNG: ") + spng_strerror(error));
    return nullptr;
}

} // namespace

std::unique_ptr<TTexture> LoadPng(TData& data) {
    if (data.AtEnd()) return nullptr;
    const std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(0));
    if (!context) return nullptr;
    const std::size_t size = data.Size();
    spng_set_chunk_limits(context.get(), size, 4 * size + kChunkCacheSlack);
    spng_ihdr header;
    int error = spng_set_png_buffer(context.get(), data.Data(), size);
    if (error == 0) error = spng_get_ihdr(context.get(), &header);
    if (error != 0) return Refused(error);

    const bool alpha = HasAlpha(context.get(), header);
    const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    std::size_t bytes = 0;
    if (spng_decoded_image_size(context.get(), format, &bytes) != 0 ||
        !ImageFitsFile(bytes, data.Size(), kMaxPixelBytesPerCompressedByte)) {
        SetLastError("PNG: the header claims an image far larger than the file");
        return nullptr;
    }
    // The library caps both dimensions at 2^31 - 1, which TTexture holds.
    auto texture = std::make_unique<TTexture>(static_cast<std::int32_t>(header.width),
                                              static_cast<std::int32_t>(header.height), alpha ? 4 : 3);
    if (texture->PixelBytes() != bytes) return nullptr;
    error = spng_decode_image(context.get(), texture->Pixels(), bytes, format, alpha ? SPNG_DECODE_TRNS : 0);
    if (error != 0) return Refused(error);
    data.Seek(data.Size());
    return texture;
}

} // namespace quelt
