// SPDX-License-Identifier: Zlib
#include "TTgaLoader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "QUtils.h"
#include "TPixelOrder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quelt {
namespace {

constexpr std::uint32_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopToBottom = 0x20;

using Converter = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels);

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
    if (listed && depth == 32)
        return {4, [](const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels) { BgraToRgba(src, dst, pixels); }};
    if (plainType == 2 && depth == 24) return {3, BgrToRgba};
    if (plainType == 3 && depth == 8) return {1, GreyToRgba};
    return {};
}

// Writes `pixels` copies of one RGBA value.
void Fill(std::uint8_t* dst, std::uint32_t value, std::uint32_t pixels) {
    std::uint32_t i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 4 <= pixels; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + std::size_t(i) * 4), four);
#endif
    for (; i < pixels; ++i) std::memcpy(dst + std::size_t(i) * 4, &value, 4);
}

// Places pixels in file order onto the image, whichever way its rows and
// columns run.
class PixelSink {
public:
    // Whole rows of a large plain image are written past the cache; the short
    // spans of run-length packets are not.
    PixelSink(TTexture& texture, StoredPixel stored, std::uint8_t descriptor, bool runLength)
        : texture_(texture), stored_(stored), width_(std::uint32_t(texture.Width())),
          total_(std::uint64_t(texture.Width()) * std::uint64_t(texture.Height())),
          topToBottom_((descriptor & kTopToBottom) != 0), rightToLeft_((descriptor & kRightToLeft) != 0),
          bypassCache_(!runLength && texture.PixelBytes() >= kBypassCacheBytes) {}

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
        const std::uint8_t zero[4] = {0, 0, 0, 0};
        RepeatRgba(zero, Left());
    }

    // Repeats one stored pixel `count` times; count must not exceed Left().
    void Repeat(const std::uint8_t* src, std::uint64_t count) {
        // Runs are short and many: one pixel is converted here, not by a call.
        std::uint8_t rgba[4] = {src[0], src[0], src[0], 255};
        if (stored_.bytes >= 3) {
            rgba[0] = src[2];
            rgba[2] = src[0];
            rgba[1] = src[1];
        }
        if (stored_.bytes == 4) rgba[3] = src[3];
        RepeatRgba(rgba, count);
    }

    std::uint32_t StoredBytes() const { return stored_.bytes; }

    // For the tight loop of run-length 32-bit data stored left to right:
    // where the next pixel goes, how many more the row takes, and moving on
    // past `count` pixels written there (at most RoomInRow()).
    bool LeftToRightBgra() const { return stored_.bytes == 4 && !rightToLeft_; }
    std::uint8_t* Cursor() { return Here(0); }
    std::uint32_t RoomInRow() const { return width_ - column_; }
    void Skip(std::uint64_t count) {
        while (count > 0) Advance(Span(count), count);
    }

private:
    void RepeatRgba(const std::uint8_t* rgba, std::uint64_t count) {
        std::uint32_t v;
        std::memcpy(&v, rgba, 4);
        while (count > 0) {
            const std::uint32_t take = Span(count);
            std::uint8_t* dst = Here(take);
            Fill(dst, v, take);
            Advance(take, count);
        }
    }

    void CopyAnyOrder(const std::uint8_t* src, std::uint64_t count) {
        while (count > 0) {
            const std::uint32_t take = Span(count);
            std::uint8_t* dst = Here(take);
            stored_.convert(src, dst, take);
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

// One packet through the general path; false where the data ends.
bool DecodePacket(const std::uint8_t*& p, const std::uint8_t* end, PixelSink& sink) {
    const std::uint32_t bytes = sink.StoredBytes();
    const std::uint8_t header = *p++;
    const std::uint64_t count = std::min<std::uint64_t>((header & 0x7Fu) + 1, sink.Left());
    if (header & 0x80u) {
        if (std::uint64_t(end - p) < bytes) return false;
        sink.Repeat(p, count);
        p += bytes;
        return true;
    }
    const std::uint64_t present = std::min<std::uint64_t>(count, std::uint64_t(end - p) / bytes);
    sink.Copy(p, present);
    p += present * bytes;
    return present == count;
}

#if defined(__SSE2__)
// Blue, green, red, alpha to red, green, blue, alpha, four pixels.
__m128i SwapRedBlue(__m128i v) {
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), low);
    const __m128i blue = _mm_slli_epi32(_mm_and_si128(v, low), 16);
    return _mm_or_si128(_mm_and_si128(v, _mm_set1_epi32(static_cast<int>(0xFF00FF00u))), _mm_or_si128(red, blue));
}

// Packets of 32-bit pixels wholly inside the current row, most of them a
// few pixels long: each is written with whole 16-byte stores, which may run
// past the packet but never past the row, whose rest comes later. Stops at
// a packet that does not fit so (the row's end, the data's end); returns
// how many pixels were written from `out` on.
std::uint32_t DecodeRowPackets(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* out,
                               std::uint32_t room) {
    std::uint32_t written = 0;
    while (end - p >= 129 * 4) {  // the longest packet, read whole even for a run
        const std::uint8_t header = *p;
        const std::uint32_t count = (header & 0x7Fu) + 1;
        // Two stores at least: packets of up to 8 pixels, most of them, then
        // take no branch on their length.
        const std::uint32_t stores = std::max<std::uint32_t>(2, (count + 3) / 4);
        if (stores * 4 > room - written) break;
        const __m128i run = _mm_sub_epi32(_mm_setzero_si128(), _mm_set1_epi32(header >> 7));  // all ones for a run
        std::uint32_t first;
        std::memcpy(&first, p + 1, 4);
        const __m128i repeated = _mm_and_si128(run, _mm_set1_epi32(static_cast<int>(first)));
        const auto store = [&](std::uint32_t k) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1 + 16 * k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k),
                             SwapRedBlue(_mm_or_si128(repeated, _mm_andnot_si128(run, raw))));
        };
        store(0);
        store(1);
        for (std::uint32_t k = 2; k < stores; ++k) store(k);
        p += 1 + ((header & 0x80u) ? 4 : count * 4);
        out += count * 4;
        written += count;
    }
    return written;
}
#endif

const std::uint8_t* DecodeRunLength(const std::uint8_t* p, const std::uint8_t* end, PixelSink& sink) {
    while (sink.Left() > 0 && p < end) {
#if defined(__SSE2__)
        if (sink.LeftToRightBgra()) {
            sink.Skip(DecodeRowPackets(p, end, sink.Cursor(), sink.RoomInRow()));
            if (sink.Left() == 0 || p == end) break;
        }
#endif
        if (!DecodePacket(p, end, sink)) break;
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
    const bool runLength = type >= 9;
    PixelSink sink(*texture, stored, file[17], runLength);
    const std::uint8_t* begin = file + data.Position();
    const std::uint8_t* end = file + data.Size();
    const std::uint8_t* stop = runLength ? DecodeRunLength(begin, end, sink) : DecodePlain(begin, end, sink);
    sink.ZeroRest();
    data.Seek(static_cast<std::uint32_t>(stop - file));
    return texture;
}

} // namespace quelt
