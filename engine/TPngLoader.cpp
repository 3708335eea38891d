#include "TPngLoader.h"

#include <cstring>
#include <string>
#include <vector>

#include <spng.h>
#include <zlib.h>

namespace quelt {
namespace {

struct ContextFree {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

std::uint32_t BigEndian(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The parts of the file the library is given, in order.
struct KeptChunks {
    std::vector<std::pair<const std::uint8_t*, std::size_t>> spans;
    std::size_t span = 0;    // the one being read
    std::size_t offset = 0;  // into it
};

// Walks the chunks up to the end chunk, checking each kept one's checksum,
// and keeps the signature, the critical chunks (an unknown critical chunk is
// the library's to refuse) and the transparency chunk. Every other side chunk
// is dropped unread, whatever its size or state: nothing of it is used.
// Empty when the file is whole, else why not.
std::string KeepChunks(const std::uint8_t* file, std::size_t size, KeptChunks& kept) {
    if (size < sizeof kSignature || std::memcmp(file, kSignature, sizeof kSignature) != 0)
        return "PNG: not a PNG file (no signature)";
    kept.spans.emplace_back(file, sizeof kSignature);
    for (std::size_t at = sizeof kSignature;;) {
        if (at == size) return "PNG: truncated file (no IEND chunk)";
        if (size - at < 8) return "PNG: truncated file (a chunk is cut short)";
        const std::uint32_t length = BigEndian(file + at);
        const std::uint8_t* type = file + at + 4;
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (length > kMaxChunkLength) return "PNG: chunk length out of range in " + name;
        if (size - at < 12 || size - at - 12 < length) return "PNG: truncated file (" + name + " is cut short)";
        const bool critical = (type[0] & 0x20) == 0;
        if (critical || name == "tRNS") {
            const auto sum = crc32(crc32(0, nullptr, 0), type, length + 4);
            if (sum != BigEndian(type + 4 + length)) return "PNG: bad checksum in " + name;
            kept.spans.emplace_back(file + at, std::size_t(length) + 12);
        }
        if (name == "IEND") return "";
        at += std::size_t(length) + 12;
    }
}

int ReadKept(spng_ctx*, void* user, void* into, std::size_t length) {
    auto& kept = *static_cast<KeptChunks*>(user);
    auto* out = static_cast<std::uint8_t*>(into);
    while (length > 0) {
        if (kept.span == kept.spans.size()) return SPNG_IO_EOF;
        const auto& [bytes, size] = kept.spans[kept.span];
        const std::size_t take = std::min(length, size - kept.offset);
        std::memcpy(out, bytes + kept.offset, take);
        out += take;
        length -= take;
        kept.offset += take;
        if (kept.offset == size) {
            ++kept.span;
            kept.offset = 0;
        }
    }
    return 0;
}

bool HasAlpha(spng_ctx* context, const spng_ihdr& header) {
    constexpr std::uint8_t kAlphaChannel = 4;
    spng_trns transparency;
    return (header.color_type & kAlphaChannel) != 0 || spng_get_trns(context, &transparency) == 0;
}

std::nullptr_t Refuse(const char* what, int error) { return RefuseImage(std::string("PNG: ") + what + ": " + spng_strerror(error)); }

} // namespace

std::unique_ptr<TTexture> LoadPng(TData& data) {
    if (data.AtEnd()) return nullptr;
    KeptChunks kept;
    const std::string damage = KeepChunks(data.Data(), data.Size(), kept);
    if (!damage.empty()) return RefuseImage(damage);
    const std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(0));
    if (!context) return nullptr;
    // Every checksum the library would see was checked above.
    spng_set_crc_action(context.get(), SPNG_CRC_USE, SPNG_CRC_USE);
    spng_ihdr header;
    if (int error = spng_set_png_stream(context.get(), ReadKept, &kept); error != 0) return Refuse("cannot read", error);
    if (int error = spng_get_ihdr(context.get(), &header); error != 0) return Refuse("bad header", error);

    const bool alpha = HasAlpha(context.get(), header);
    const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    const std::string tooLarge = ImageSizeProblem(header.width, header.height, alpha ? 4 : 3);
    if (!tooLarge.empty()) return RefuseImage("PNG: " + tooLarge);
    std::size_t bytes = 0;
    if (int error = spng_decoded_image_size(context.get(), format, &bytes); error != 0) return Refuse("bad header", error);
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
