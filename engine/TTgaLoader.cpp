// SPDX-License-Identifier: Zlib
#include "TTgaLoader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "QUtils.h"
#include "TPixelOrder.h"

#if defined(__SSE2__)
#include <tmmintrin.h>
#endif

namespace quelt {
namespace {

constexpr std::uint32_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopToBottom = 0x20;

using Converter = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool bypassCache);

// How the file stores one pixel.
struct StoredPixel {
    std::uint32_t bytes = 0;
    Converter convert = nullptr;
};

// 32-bit data is read for all six types, as the classic reader did; 24-bit
// true colour and 8-bit grey only for their own types.
StoredPixel StoredPixelFor(std::uint8_t type, std::uint8_t depth) {
    const bool listed = (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
    const std::uint8_t plainType = type > 8 ? type - 8 : type;
    if (listed && depth == 32) return {4, BgraToRgba};
    if (plainType == 2 && depth == 24) return {3, BgrToRgba};
    if (plainType == 3 && depth == 8)
        return {1, [](const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, bool) {
                    GreyToRgba(src, dst, pixels);
                }};
    return {};
}

// Places pixels in file order onto the image, whichever way its rows and
// columns run.
class PixelSink {
public:
    // A large image's rows are written past the cache, but for mirroring,
    // which reads them back.
    PixelSink(TTexture& texture, StoredPixel stored, std::uint8_t descriptor)
        : texture_(texture), stored_(stored), width_(std::uint32_t(texture.Width())),
          total_(std::uint64_t(texture.Width()) * std::uint64_t(texture.Height())),
          topToBottom_((descriptor & kTopToBottom) != 0), rightToLeft_((descriptor & kRightToLeft) != 0),
          bypassCache_(!rightToLeft_ && texture.PixelBytes() >= kBypassCacheBytes) {}

    std::uint64_t Left() const { return total_ - next_; }

    // Converts `count` stored pixels; count must not exceed Left().
    void Copy(const std::uint8_t* src, std::uint64_t count) {
        if (rightToLeft_ || stored_.bytes != 4) return CopyAnyOrder(src, count);
        while (count > 0) {  // the common case, kept small enough to inline
            const std::uint32_t take = Span(count);
            BgraToRgba(src, Here(take), take, bypassCache_);
            src += std::size_t(take) * 4;
            Advance(take, count);
        }
    }

    // Pixels the data did not reach are black.
    void ZeroRest() {
        std::uint64_t count = Left();
        while (count > 0) {
            const std::uint32_t take = Span(count);
            std::memset(Here(take), 0, std::size_t(take) * 4);
            Advance(take, count);
        }
    }

    std::uint32_t StoredBytes() const { return stored_.bytes; }
    std::uint32_t Width() const { return width_; }

private:
    void CopyAnyOrder(const std::uint8_t* src, std::uint64_t count) {
        while (count > 0) {
            const std::uint32_t take = Span(count);
            std::uint8_t* dst = Here(take);
            stored_.convert(src, dst, take, bypassCache_);
            if (rightToLeft_) Mirror(dst, take);
            src += std::size_t(take) * stored_.bytes;
            Advance(take, count);
        }
    }

    // How many of `count` pixels fit in the current row.
    std::uint32_t Span(std::uint64_t count) const {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, width_ - column_));
    }
    // Where the next `take` pixels of the row go: from the current column on,
    // or, right to left, the span ending at its mirror.
    std::uint8_t* Here(std::uint32_t take) {
        const auto row = static_cast<std::int32_t>(topToBottom_ ? fileRow_ : texture_.Height() - 1 - fileRow_);
        const std::uint32_t first = rightToLeft_ ? width_ - column_ - take : column_;
        return texture_.Row(row) + std::size_t(first) * 4;
    }
    static void Mirror(std::uint8_t* rgba, std::uint32_t pixels) {
        auto* words = reinterpret_cast<std::uint8_t(*)[4]>(rgba);
        std::reverse(words, words + pixels);
    }
    void Advance(std::uint32_t taken, std::uint64_t& count) {
        count -= taken;
        next_ += taken;
        column_ += taken;
        if (column_ == width_) {
            column_ = 0;
            ++fileRow_;
        }
    }

    TTexture& texture_;
    StoredPixel stored_;
    std::uint32_t width_;
    std::uint64_t total_;
    bool topToBottom_;
    bool rightToLeft_;
    bool bypassCache_;
    std::uint64_t next_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t fileRow_ = 0;
};

// Returns where the stored pixels ended.
const std::uint8_t* DecodePlain(const std::uint8_t* p, const std::uint8_t* end, PixelSink& sink) {
    const std::uint32_t bytes = sink.StoredBytes();
    const std::uint64_t count = std::min<std::uint64_t>(sink.Left(), std::uint64_t(end - p) / bytes);
    sink.Copy(p, count);
    return p + count * bytes;
}

// How a packet's pixel lands in the row: as stored, or, for 24-bit data,
// widened to 32 bits with alpha 255.
struct RowPixel {
    std::uint32_t stored = 0;
    std::uint32_t row = 0;

    void Place(const std::uint8_t* from, std::uint8_t* to) const {
        std::memcpy(to, from, stored);
        if (row > stored) to[3] = 0xFF;
    }
};

// The part of a packet not yet placed: `left` copies of the pixel at
// `pixels` (a run) or `left` pixels from there on (raw).
struct PendingPacket {
    bool run = false;
    std::uint32_t left = 0;
    const std::uint8_t* pixels = nullptr;

    // Writes up to `room` of its pixels at `out`; returns how many.
    std::uint32_t WriteInto(std::uint8_t* out, std::uint32_t room, RowPixel pixel) {
        const std::uint32_t take = std::min(left, room);
        if (take == 0) return 0; // nothing pending: `pixels` may be null
        if (!run && pixel.row == pixel.stored) {
            std::memcpy(out, pixels, std::size_t(take) * pixel.stored);
        } else {
            const std::size_t step = run ? 0 : pixel.stored;
            for (std::uint32_t i = 0; i < take; ++i) pixel.Place(pixels + i * step, out + std::size_t(i) * pixel.row);
        }
        if (!run) pixels += std::size_t(take) * pixel.stored;
        left -= take;
        return take;
    }
};

// Bytes past a row, so that the whole 16-byte stores below may run past its
// end.
constexpr std::size_t kRowSlack = 64;

#if defined(__SSE2__)
// Byte shuffles need SSSE3, which baseline x86-64 lacks: the loop below runs
// only after the processor said it has it.
#define QUELT_SSSE3 __attribute__((target("ssse3")))

QUELT_SSSE3 __m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
QUELT_SSSE3 void Store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// A run's pixel repeated across 16 bytes as the row holds it.
template <unsigned kBytes>
QUELT_SSSE3 __m128i RepeatedPixel(const std::uint8_t* p) {
    if (kBytes == 1) return _mm_set1_epi8(static_cast<char>(*p));
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_set1_epi32(static_cast<int>(kBytes == 3 ? v | 0xFF000000u : v));
}

// Sixteen bytes of raw pixels from `p` on as the row holds them: 24-bit ones
// are widened, four at a time, with alpha 255.
template <unsigned kBytes>
QUELT_SSSE3 __m128i RawPixels(const std::uint8_t* p) {
    if (kBytes != 3) return Load(p);
    const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm_or_si128(_mm_shuffle_epi8(Load(p), widen), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
}

// Packets wholly inside the row, most of them a few pixels long, placed with
// whole 16-byte stores of whole pixels, two at least, so that short packets
// take no branch on their length; the stores may run past the packet, by
// less than kRowSlack past the row. 24-bit pixels are widened to 32 bits, so
// that a run fills whole words. Stops at a packet that does not fit the row,
// or near the data's end; returns how many pixels were written from `out` on.
template <unsigned kBytes>
QUELT_SSSE3 std::uint32_t CopyRowPackets(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* out,
                                         std::uint32_t room) {
    constexpr std::size_t kRowBytes = kBytes == 3 ? 4 : kBytes;
    constexpr std::size_t kPerStore = 16 / kRowBytes;
    // A packet takes at most 1 + kBytes bytes of data a pixel, and its loads
    // (two at least, of 16 bytes) reach less than this past it. With the row
    // cut to the pixels the data surely holds, no packet need be checked
    // against the data's end.
    constexpr std::ptrdiff_t kOverreach = 32;
    if (end - p <= kOverreach) return 0;
    const std::size_t holds = std::size_t(end - p - kOverreach) / (1 + kBytes);
    std::uint8_t* const rowEnd = out + std::min<std::size_t>(room, holds) * kRowBytes;
    const std::uint8_t* q = p;
    std::uint8_t* o = out;
    for (;;) {
        const std::size_t header = *q;
        std::uint8_t* const next = o + kRowBytes + (header & 0x7Fu) * kRowBytes;
        if (next > rowEnd) break;
        // A branch on the kind, not a select: guessed right, a run's next
        // header is read before this one's length is known.
        if (header & 0x80u) {
            const __m128i repeated = RepeatedPixel<kBytes>(q + 1);
            for (std::size_t k = 0; k < 2; ++k) Store(o + 16 * k, repeated);
            for (std::size_t k = 2; o + 16 * k < next; ++k) Store(o + 16 * k, repeated);
            q += 1 + kBytes;
        } else {
            const std::uint8_t* const pixels = q + 1;
            for (std::size_t k = 0; k < 2; ++k) Store(o + 16 * k, RawPixels<kBytes>(pixels + kPerStore * kBytes * k));
            for (std::size_t k = 2; o + 16 * k < next; ++k)
                Store(o + 16 * k, RawPixels<kBytes>(pixels + kPerStore * kBytes * k));
            // A raw header is its count less one: the next header's address
            // waits only for this one's load, not for the masking as well.
            q += 1 + kBytes + header * kBytes;
        }
        o = next;
    }
    p = q;
    return static_cast<std::uint32_t>(std::size_t(o - out) / kRowBytes);
}
#endif

std::uint32_t CopyRowPackets(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* out, std::uint32_t room,
                             std::uint32_t bytes) {
#if defined(__SSE2__)
    if (ChosenPixelPath() < PixelPath::kSsse3) return 0;
    switch (bytes) {
    case 4: return CopyRowPackets<4>(p, end, out, room);
    case 3: return CopyRowPackets<3>(p, end, out, room);
    case 1: return CopyRowPackets<1>(p, end, out, room);
    }
#else
    (void)p, (void)end, (void)out, (void)room, (void)bytes;
#endif
    return 0;
}

// Starts the packet at `p` (before `end`), its pixel count cut at `most`
// and, for stored pixels, at those the data holds; false where the data ends
// before a run's pixel. `ended` tells that the data ends with this packet.
bool StartPacket(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t most, std::uint32_t bytes,
                 PendingPacket& packet, bool& ended) {
    const std::uint8_t header = *p++;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>((header & 0x7Fu) + 1, most));
    packet.run = (header & 0x80u) != 0;
    packet.pixels = p;
    if (packet.run) {
        if (std::uint64_t(end - p) < bytes) return ended = true, false;
        packet.left = count;
        p += bytes;
        return true;
    }
    packet.left = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, std::uint64_t(end - p) / bytes));
    p += std::size_t(packet.left) * bytes;
    ended = packet.left < count;
    return true;
}

// Packets are decoded a row at a time into a row buffer, which is then
// placed on the image whole by the shared conversions: the packets' many
// small writes stay in the cache, and a large image's rows are written past
// it, as the plain ones are. The sink takes the row as `pixel.row` bytes a
// pixel.
const std::uint8_t* DecodeRunLength(const std::uint8_t* p, const std::uint8_t* end, RowPixel pixel, PixelSink& sink) {
    std::vector<std::uint8_t> row(std::size_t(sink.Width()) * pixel.row + kRowSlack);
    PendingPacket packet;
    bool ended = false;
    while (sink.Left() > 0 && (packet.left > 0 || (!ended && p < end))) {
        const auto room = static_cast<std::uint32_t>(std::min<std::uint64_t>(sink.Width(), sink.Left()));
        std::uint32_t filled = packet.WriteInto(row.data(), room, pixel);
        while (filled < room && !ended && p < end) {
            std::uint8_t* const at = row.data() + std::size_t(filled) * pixel.row;
            filled += CopyRowPackets(p, end, at, room - filled, pixel.stored);
            if (filled == room || p == end) break;
            if (StartPacket(p, end, sink.Left() - filled, pixel.stored, packet, ended))
                filled += packet.WriteInto(row.data() + std::size_t(filled) * pixel.row, room - filled, pixel);
        }
        sink.Copy(row.data(), filled);
    }
    return p;
}

} // namespace

std::unique_ptr<TTexture> LoadTga(TData& data) {
    if (data.Size() < kHeaderSize) return RefuseImage("TGA: the file is shorter than a TGA header");
    const std::uint8_t* file = data.Data();
    const std::uint8_t idLength = file[0];
    const std::uint8_t type = file[2];
    const std::uint16_t width = LoadLE16(file + 12);
    const std::uint16_t height = LoadLE16(file + 14);
    const StoredPixel stored = StoredPixelFor(type, file[16]);
    if (!stored.convert)
        return RefuseImage(type == 1 || type == 9 ? "TGA: colour-mapped images are not read"
                                                  : "TGA: image type " + IntToStr(type) + " with " +
                                                        IntToStr(file[16]) + " bits per pixel is not read");
    const std::string tooLarge = ImageSizeProblem(width, height, 4);
    if (!tooLarge.empty()) return RefuseImage("TGA: " + tooLarge);
    if (!ImageFitsFile(std::uint64_t(width) * height * 4, data.Size()))
        return RefuseImage("TGA: the header claims an image far larger than the file");

    data.Seek(kHeaderSize + idLength);
    auto texture = std::make_unique<TTexture>(width, height, 4);
    const std::uint8_t* begin = file + data.Position();
    const std::uint8_t* end = file + data.Size();
    const bool runLength = type >= 9;
    // Run-length 24-bit rows are widened to 32 bits as they are decoded: a
    // run then fills whole words, and the row is placed as 32-bit data.
    const RowPixel pixel{stored.bytes, runLength && stored.bytes == 3 ? 4 : stored.bytes};
    PixelSink sink(*texture, pixel.row == pixel.stored ? stored : StoredPixelFor(type, 32), file[17]);
    const std::uint8_t* stop = runLength ? DecodeRunLength(begin, end, pixel, sink) : DecodePlain(begin, end, sink);
    sink.ZeroRest();
    FinishBypassingCache();
    data.Seek(static_cast<std::uint32_t>(stop - file));
    return texture;
}

} // namespace quelt
