// SPDX-License-Identifier: Zlib
#include "TPngLoader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <libdeflate.h>
#include <spng.h>

#include "TPixelOrder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
            const auto sum = libdeflate_crc32(0, file + at + 4, std::size_t(chunk.length) + 4);
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

// ---- The common files decoded without the library: 8-bit samples, not
// interlaced, the chunks in their usual order. The image data is inflated
// whole (its size is known from the header) and unfiltered a row at a time
// straight into the texture. Anything else, and any fault found on the way,
// is left to the library, so its results and its reasons stay those given.

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// The image data: every IDAT's bytes in one buffer, or empty when the chunks
// after the first IDAT are not just further IDATs, then an empty IEND
// (ancillary chunks other than tRNS may sit anywhere: they are dropped).
std::vector<std::uint8_t> ImageData(const std::uint8_t* file) {
    std::vector<std::uint8_t> data;
    std::size_t at = sizeof kSignature;
    Chunk chunk = ChunkAt(file + at);
    for (; chunk.type != "IDAT"; chunk = ChunkAt(file + at)) {
        if (chunk.type == "IEND") return {};
        at += chunk.Size();
    }
    for (;; chunk = ChunkAt(file + at)) {
        if (chunk.type == "IDAT")
            data.insert(data.end(), file + at + 8, file + at + 8 + chunk.length);
        else if (chunk.type == "IEND")
            return chunk.length == 0 && !data.empty() ? data : std::vector<std::uint8_t>{};
        else if (chunk.Kept())
            return {};
        at += chunk.Size();
    }
}

// Without branches: on noisy images each choice is a coin toss.
std::uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int bOrC = pb <= pc ? b : c;
    return static_cast<std::uint8_t>((pa <= pb) & (pa <= pc) ? a : bOrC);
}

#if defined(__SSE2__)
// One pixel of 3 or 4 bytes in the low lanes of a register, and back. Four
// bytes are always read (every buffer unfiltered from or into has a byte to
// spare past its rows' end, and each row is followed by the next), and four
// written but at a row's last pixel: a fourth byte written lands on the
// next pixel, which is written after it.
__m128i LoadPixel(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(static_cast<int>(v));
}
template <unsigned kBpp> void StorePixel(std::uint8_t* p, __m128i v, bool last) {
    const std::uint32_t bits = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
    if (kBpp == 4 || !last) {
        std::memcpy(p, &bits, 4);
    } else {
        const auto low = static_cast<std::uint16_t>(bits);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<std::uint8_t>(bits >> 16);
    }
}

// Sub, Average and Paeth for pixels of 3 or 4 bytes, a pixel a step: each
// byte depends on the one a pixel to its left, but the channels run side by side.
template <unsigned kBpp> void UnfilterSub(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i + kBpp <= bytes; i += kBpp) {
        left = _mm_add_epi8(LoadPixel(in + i), left);
        StorePixel<kBpp>(out + i, left, i + kBpp == bytes);
    }
}

template <unsigned kBpp>
void UnfilterAverage(const std::uint8_t* in, const std::uint8_t* prior, std::uint8_t* out, std::size_t bytes) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i + kBpp <= bytes; i += kBpp) {
        const __m128i up = LoadPixel(prior + i);
        // The rounded-up average less the bit it rounded up by.
        const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(left, up), _mm_and_si128(_mm_xor_si128(left, up), one));
        left = _mm_add_epi8(LoadPixel(in + i), mean);
        StorePixel<kBpp>(out + i, left, i + kBpp == bytes);
    }
}

template <unsigned kBpp>
void UnfilterPaeth(const std::uint8_t* in, const std::uint8_t* prior, std::uint8_t* out, std::size_t bytes) {
    const __m128i zero = _mm_setzero_si128();
    const auto abs16 = [zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    __m128i a = zero, c = zero;  // left and upper left, as 16-bit lanes
    for (std::size_t i = 0; i + kBpp <= bytes; i += kBpp) {
        const __m128i b = _mm_unpacklo_epi8(LoadPixel(prior + i), zero);
        const __m128i towardB = _mm_sub_epi16(b, c), towardA = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(towardB), pb = abs16(towardA), pc = abs16(_mm_add_epi16(towardB, towardA));
        const __m128i least = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
        const __m128i takeA = _mm_cmpeq_epi16(pa, least);
        const __m128i takeB = _mm_andnot_si128(takeA, _mm_cmpeq_epi16(pb, least));
        const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi16(-1));
        const __m128i predicted = _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                                               _mm_and_si128(takeC, c));
        const __m128i pixel = _mm_add_epi8(LoadPixel(in + i), _mm_packus_epi16(predicted, zero));
        StorePixel<kBpp>(out + i, pixel, i + kBpp == bytes);
        a = _mm_unpacklo_epi8(pixel, zero);
        c = b;
    }
}
#endif

// Sub, Average and Paeth for one byte a pixel (grey, palette indices): the
// bytes to the left are carried in registers, not read back from `out`.
template <int kType>
void UnfilterBytes(const std::uint8_t* in, const std::uint8_t* prior, std::uint8_t* out, std::size_t bytes) {
    int left = 0, upperLeft = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        const int up = prior[i];
        const int predicted = kType == 1 ? left : kType == 3 ? (left + up) >> 1 : PaethPredictor(left, up, upperLeft);
        left = (in[i] + predicted) & 0xFF;
        out[i] = static_cast<std::uint8_t>(left);
        upperLeft = up;
    }
}

} // namespace

bool UnfilterPngRow(std::uint8_t type, const std::uint8_t* in, const std::uint8_t* prior, std::uint8_t* out,
                    std::size_t bytes, unsigned bpp) {
#if defined(__SSE2__)
    const bool sse2 = ChosenPixelPath() >= PixelPath::kSse2;
#endif
    switch (type) {
    case 0: std::memcpy(out, in, bytes); return true;
    case 1:
#if defined(__SSE2__)
        if (sse2 && bpp == 4) return UnfilterSub<4>(in, out, bytes), true;
        if (sse2 && bpp == 3) return UnfilterSub<3>(in, out, bytes), true;
#endif
        if (bpp == 1) return UnfilterBytes<1>(in, prior, out, bytes), true;
        std::memcpy(out, in, std::min<std::size_t>(bpp, bytes));
        for (std::size_t i = bpp; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(in[i] + out[i - bpp]);
        return true;
    case 2: {
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; sse2 && i + 16 <= bytes; i += 16) {
            const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), sum);
        }
#endif
        for (; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(in[i] + prior[i]);
        return true;
    }
    case 3:
#if defined(__SSE2__)
        if (sse2 && bpp == 4) return UnfilterAverage<4>(in, prior, out, bytes), true;
        if (sse2 && bpp == 3) return UnfilterAverage<3>(in, prior, out, bytes), true;
#endif
        if (bpp == 1) return UnfilterBytes<3>(in, prior, out, bytes), true;
        for (std::size_t i = 0; i < bytes; ++i) {
            const unsigned left = i >= bpp ? out[i - bpp] : 0;
            out[i] = static_cast<std::uint8_t>(in[i] + ((left + prior[i]) >> 1));
        }
        return true;
    case 4:
#if defined(__SSE2__)
        if (sse2 && bpp == 4) return UnfilterPaeth<4>(in, prior, out, bytes), true;
        if (sse2 && bpp == 3) return UnfilterPaeth<3>(in, prior, out, bytes), true;
#endif
        if (bpp == 1) return UnfilterBytes<4>(in, prior, out, bytes), true;
        for (std::size_t i = 0; i < std::min<std::size_t>(bpp, bytes); ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + prior[i]);
        for (std::size_t i = bpp; i < bytes; ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + PaethPredictor(out[i - bpp], prior[i], prior[i - bpp]));
        return true;
    default: return false;
    }
}

namespace {

// What turns an unfiltered row of stored samples into texture pixels.
struct RowFormat {
    std::uint8_t colourType;
    bool transparency;             // a tRNS chunk (of grey, RGB or a palette)
    std::uint8_t key[3];           // grey or RGB made transparent
    std::uint8_t palette[256][4];  // RGBA, alpha 255 past the tRNS entries
    std::uint32_t colours;
};

// One loop per output layout, so that every copy has a constant size.
template <unsigned kOut>
bool ExpandPalette(const RowFormat& f, const std::uint8_t* row, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, out += kOut) {
        if (row[x] >= f.colours) return false;
        std::memcpy(out, f.palette[row[x]], kOut);
    }
    return true;
}

void ExpandKeyedGrey(const RowFormat& f, const std::uint8_t* row, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, out += 4) {
        out[0] = out[1] = out[2] = row[x];
        out[3] = row[x] == f.key[0] ? 0 : 255;
    }
}

// Stored samples to RGB or RGBA; false for a palette index past the palette.
bool ConvertRow(const RowFormat& f, const std::uint8_t* row, std::uint8_t* out, std::size_t width) {
    switch (f.colourType) {
    case 0:
        if (f.transparency)
            ExpandKeyedGrey(f, row, out, width);
        else
            GreyToRgb(row, out, width);
        return true;
    case 2:  // RGB with a transparent colour; plain RGB never comes here
        for (std::size_t x = 0; x < width; ++x, row += 3, out += 4) {
            std::memcpy(out, row, 3);
            out[3] = row[0] == f.key[0] && row[1] == f.key[1] && row[2] == f.key[2] ? 0 : 255;
        }
        return true;
    case 3: return f.transparency ? ExpandPalette<4>(f, row, out, width) : ExpandPalette<3>(f, row, out, width);
    case 4:
        for (std::size_t x = 0; x < width; ++x, out += 4) {
            out[0] = out[1] = out[2] = row[x * 2];
            out[3] = row[x * 2 + 1];
        }
        return true;
    default: return false;
    }
}

// The palette and transparency as the library read them; false for what the
// direct route leaves to it (a key beyond 8 bits, a missing palette).
bool ReadRowFormat(spng_ctx* context, const spng_ihdr& header, RowFormat& f) {
    f.colourType = header.color_type;
    spng_trns trns{};
    const int trnsError = spng_get_trns(context, &trns);
    if (trnsError != 0 && trnsError != SPNG_ECHUNKAVAIL) return false;
    f.transparency = trnsError == 0;
    if (f.transparency && header.color_type == 0) {
        if (trns.gray > 255) return false;
        f.key[0] = static_cast<std::uint8_t>(trns.gray);
    }
    if (f.transparency && header.color_type == 2) {
        if (trns.red > 255 || trns.green > 255 || trns.blue > 255) return false;
        f.key[0] = static_cast<std::uint8_t>(trns.red);
        f.key[1] = static_cast<std::uint8_t>(trns.green);
        f.key[2] = static_cast<std::uint8_t>(trns.blue);
    }
    if (header.color_type == 3) {
        spng_plte plte{};
        if (spng_get_plte(context, &plte) != 0) return false;
        f.colours = plte.n_entries;
        for (std::uint32_t i = 0; i < 256; ++i) {
            const spng_plte_entry& e = plte.entries[i];
            const std::uint8_t alpha = f.transparency && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
            f.palette[i][0] = e.red, f.palette[i][1] = e.green, f.palette[i][2] = e.blue, f.palette[i][3] = alpha;
        }
    }
    return true;
}

// Decodes the image into `texture` without the library; false (the texture
// partly written) for any file it leaves to the library.
bool DecodeDirect(const std::uint8_t* file, spng_ctx* context, const spng_ihdr& header, TTexture& texture) {
    static constexpr std::uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    if (header.bit_depth != 8 || header.interlace_method != 0 || header.color_type > 6) return false;
    const unsigned bpp = kChannels[header.color_type];
    auto format = std::make_unique<RowFormat>();
    if (bpp == 0 || !ReadRowFormat(context, header, *format)) return false;
    const std::vector<std::uint8_t> compressed = ImageData(file);
    if (compressed.empty()) return false;

    const std::size_t width = header.width, height = header.height;
    const std::size_t rowBytes = width * bpp;
    const std::size_t filteredBytes = (rowBytes + 1) * height;
    constexpr std::size_t kSpare = 4;  // for the whole-pixel reads of the filters
    const std::unique_ptr<std::uint8_t[]> filtered(new std::uint8_t[filteredBytes + kSpare]);
    const std::unique_ptr<libdeflate_decompressor, DecompressorFree> inflater(libdeflate_alloc_decompressor());
    if (!inflater) return false;
    std::size_t used = 0;
    // The whole stream must fill the image exactly and end with the data.
    if (libdeflate_zlib_decompress_ex(inflater.get(), compressed.data(), compressed.size(), filtered.get(),
                                      filteredBytes, &used, nullptr) != LIBDEFLATE_SUCCESS ||
        used != compressed.size())
        return false;

    // Rows already in the texture's layout are unfiltered into it in place;
    // the others into a row of their own first.
    const bool sameLayout = header.color_type == 6 || (header.color_type == 2 && !format->transparency);
    std::vector<std::uint8_t> zeros(rowBytes + kSpare, 0), rows(sameLayout ? 0 : 2 * rowBytes + kSpare);
    const std::uint8_t* prior = zeros.data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = filtered.get() + y * (rowBytes + 1);
        std::uint8_t* out = sameLayout ? texture.Row(static_cast<std::int32_t>(y)) : rows.data() + (y % 2) * rowBytes;
        // An unfiltered row to convert is used where it lies.
        const std::uint8_t* row = !sameLayout && in[0] == 0 ? in + 1 : out;
        if (row == out && !UnfilterPngRow(in[0], in + 1, prior, out, rowBytes, bpp)) return false;
        if (!sameLayout && !ConvertRow(*format, row, texture.Row(static_cast<std::int32_t>(y)), width)) return false;
        prior = row;
    }
    return true;
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
    if (DecodeDirect(data.Data(), context.get(), header, *texture)) {
        data.Seek(data.Size());
        return texture;
    }
    if (int error = spng_decode_image(context.get(), texture->Pixels(), bytes, format, alpha ? SPNG_DECODE_TRNS : 0);
        error != 0)
        return Refuse("bad image data", error);
    data.Seek(data.Size());
    return texture;
}

} // namespace quelt
