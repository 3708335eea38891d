// SPDX-License-Identifier: Zlib
#include "TPngLoader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <spng.h>
#include <zlib.h>

namespace quelt {
namespace {

struct ContextFree {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

struct Chunk {
    std::uint32_t length;
    std::string type;
    bool Kept() const { return (type[0] & 0x20) == 0 || type == "tRNS"; }
    std::size_t Size() const { return std::size_t(length) + 12; }
};

Chunk ChunkAt(const std::uint8_t* at) { return {LoadBE32(at), std::string(reinterpret_cast<const char*>(at + 4), 4)}; }

// Checks that the chunks run whole up to the end chunk, with good checksums
// on those kept: the critical ones (an unknown critical chunk is the
// library's to refuse) and the transparency chunk. Every other side chunk is
// dropped unread, whatever its size or state: nothing of it is used. Empty
// when the file is whole, else why not.
std::string CheckChunks(const std::uint8_t* file, std::size_t size) {
    if (size < sizeof kSignature || std::memcmp(file, kSignature, sizeof kSignature) != 0)
        return "PNG: not a PNG file (no signature)";
    for (std::size_t at = sizeof kSignature;;) {
        if (at == size) return "PNG: truncated file (no IEND chunk)";
        if (size - at < 8) return "PNG: truncated file (a chunk is cut short)";
        const Chunk chunk = ChunkAt(file + at);
        if (chunk.length > kMaxChunkLength) return "PNG: chunk length out of range in " + chunk.type;
        if (size - at < chunk.Size()) return "PNG: truncated file (" + chunk.type + " is cut short)";
        if (chunk.Kept()) {
            const auto sum = crc32(crc32(0, nullptr, 0), file + at + 4, chunk.length + 4);
            if (sum != LoadBE32(file + at + 8 + chunk.length)) return "PNG: bad checksum in " + chunk.type;
        }
        if (chunk.type == "IEND") return "";
        at += chunk.Size();
    }
}

// Gives the library the signature and the kept chunks of a checked file.
struct KeptChunks {
    const std::uint8_t* file;
    std::size_t at = 0;                  // the next byte to give
    std::size_t end = sizeof kSignature; // of the part being given
    bool done = false;                   // the end chunk was given
};

int ReadKept(spng_ctx*, void* user, void* into, std::size_t length) {
    auto& kept = *static_cast<KeptChunks*>(user);
    auto* out = static_cast<std::uint8_t*>(into);
    while (length > 0) {
        if (kept.at == kept.end) {
            if (kept.done) return SPNG_IO_EOF;
            Chunk chunk = ChunkAt(kept.file + kept.at);
            while (!chunk.Kept()) {
                kept.at += chunk.Size();
                chunk = ChunkAt(kept.file + kept.at);
            }
            kept.end = kept.at + chunk.Size();
            kept.done = chunk.type == "IEND";
        }
        const std::size_t take = std::min(length, kept.end - kept.at);
        std::memcpy(out, kept.file + kept.at, take);
        out += take;
        length -= take;
        kept.at += take;
    }
    return 0;
}

bool HasAlpha(spng_ctx* context, const spng_ihdr& header) {
    constexpr std::uint8_t kAlphaChannel = 4;
    spng_trns transparency;
    return (header.color_type & kAlphaChannel) != 0 || spng_get_trns(context, &transparency) == 0;
}

std::nullptr_t Refuse(const char* what, int error) {
    return RefuseImage(std::string("PNG: ") + what + ": " + spng_strerror(error));
}

} // namespace

std::unique_ptr<TTexture> LoadPng(TData& data) {
    if (data.AtEnd()) return nullptr;
    const std::string damage = CheckChunks(data.Data(), data.Size());
    if (!damage.empty()) return RefuseImage(damage);
    KeptChunks kept{data.Data()};
    const std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(0));
    if (!context) return nullptr;
    // Every checksum the library would see was checked above.
    spng_set_crc_action(context.get(), SPNG_CRC_USE, SPNG_CRC_USE);
    spng_ihdr header;
    if (int error = spng_set_png_stream(context.get(), ReadKept, &kept); error != 0)
        return Refuse("cannot read", error);
    if (int error = spng_get_ihdr(context.get(), &header); error != 0) return Refuse("bad header", error);

    const bool alpha = HasAlpha(context.get(), header);
    const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    const std::string tooLarge = ImageSizeProblem(header.width, header.height, alpha ? 4 : 3);
    if (!tooLarge.empty()) return RefuseImage("PNG: " + tooLarge);
    std::size_t bytes = 0;
    if (int error = spng_decoded_image_size(context.get(), format, &bytes); error != 0)
        return Refuse("bad header", error);
    auto texture = std::make_unique<TTexture>(static_cast<std::int32_t>(header.width),
                                              static_cast<std::int32_t>(header.height), alpha ? 4 : 3);
    if (texture->PixelBytes() != bytes) return nullptr;
    if (int error = spng_decode_image(context.get(), texture->Pixels(), bytes, format, alpha ? SPNG_DECODE_TRNS : 0);
        error != 0)
        return Refuse("bad image data", error);
    data.Seek(data.Size());
    return texture;
}

} // namespace quelt
