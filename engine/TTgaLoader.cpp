#include "TTgaLoader.h"

#include <algorithm>
#include <cstring>

namespace quelt {
namespace {

constexpr std::uint32_t kHeaderSize = 18;
constexpr std::uint8_t kTopToBottom = 0x20;

bool ListedType(std::uint8_t type) {
    return (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
}

std::uint32_t Swizzle(std::uint32_t bgra) {
    return (bgra & 0xFF00FF00u) | ((bgra >> 16) & 0xFFu) | ((bgra & 0xFFu) << 16);
}

// Places pixels in file order onto the image, whichever way its rows run.
class PixelSink {
public:
    PixelSink(TTexture& texture, bool topToBottom)
        : texture_(texture), width_(std::uint32_t(texture.Width())),
          total_(std::uint64_t(texture.Width()) * std::uint64_t(texture.Height())),
          topToBottom_(topToBottom) {}

    std::uint64_t Left() const { return total_ - next_; }

    // Converts `count` stored BGRA pixels; count must not exceed Left().
    void Copy(const std::uint8_t* src, std::uint64_t count) {
        while (count > 0) {
            const std::uint32_t take = Span(count);
            BgraToRgba(src, Here(), take);
            src += std::size_t(take) * 4;
            Advance(take, count);
        }
    }

    // Pixels the data did not reach are black.
    void ZeroRest() {
        const std::uint8_t zero[4] = {0, 0, 0, 0};
        Repeat(zero, Left());
    }

    // Repeats one stored BGRA pixel `count` times; count must not exceed Left().
    void Repeat(const std::uint8_t* src, std::uint64_t count) {
        std::uint32_t v;
        std::memcpy(&v, src, 4);
        v = Swizzle(v);
        while (count > 0) {
            const std::uint32_t take = Span(count);
            std::uint8_t* dst = Here();
            for (std::uint32_t i = 0; i < take; ++i) std::memcpy(dst + std::size_t(i) * 4, &v, 4);
            Advance(take, count);
        }
    }

private:
    // How many of `count` pixels fit in the current row.
    std::uint32_t Span(std::uint64_t count) const {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, width_ - column_));
    }
    std::uint8_t* Here() {
        const auto row = static_cast<std::int32_t>(topToBottom_ ? fileRow_ : texture_.Height() - 1 - fileRow_);
        return texture_.Row(row) + std::size_t(column_) * 4;
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
    std::uint32_t width_;
    std::uint64_t total_;
    bool topToBottom_;
    std::uint64_t next_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t fileRow_ = 0;
};

// Returns where the stored pixels ended.
const std::uint8_t* DecodePlain(const std::uint8_t* p, const std::uint8_t* end, PixelSink& sink) {
    const std::uint64_t count = std::min<std::uint64_t>(sink.Left(), std::uint64_t(end - p) / 4);
    sink.Copy(p, count);
    return p + count * 4;
}

const std::uint8_t* DecodeRunLength(const std::uint8_t* p, const std::uint8_t* end, PixelSink& sink) {
    while (sink.Left() > 0 && p < end) {
        const std::uint8_t header = *p++;
        const std::uint64_t count = std::min<std::uint64_t>((header & 0x7Fu) + 1, sink.Left());
        if (header & 0x80u) {
            if (end - p < 4) break;
            sink.Repeat(p, count);
            p += 4;
        } else {
            const std::uint64_t present = std::min<std::uint64_t>(count, std::uint64_t(end - p) / 4);
            sink.Copy(p, present);
            p += present * 4;
            if (present < count) break;
        }
    }
    return p;
}

} // namespace

std::unique_ptr<TTexture> LoadTga(TData& data) {
    if (data.Size() < kHeaderSize) return nullptr;
    const std::uint8_t* file = data.Data();
    const std::uint8_t idLength = file[0];
    const std::uint8_t type = file[2];
    const std::uint16_t width = static_cast<std::uint16_t>(file[12] | (file[13] << 8));
    const std::uint16_t height = static_cast<std::uint16_t>(file[14] | (file[15] << 8));
    const std::uint8_t depth = file[16];
    const bool topToBottom = (file[17] & kTopToBottom) != 0;
    if (!ListedType(type) || depth != 32) return nullptr;
    if (!ImageFitsFile(std::uint64_t(width) * height * 4, data.Size())) return nullptr;

    data.Seek(kHeaderSize + idLength);
    auto texture = std::make_unique<TTexture>(width, height, 4);
    PixelSink sink(*texture, topToBottom);
    const std::uint8_t* begin = file + data.Position();
    const std::uint8_t* end = file + data.Size();
    const std::uint8_t* stop = type >= 9 ? DecodeRunLength(begin, end, sink) : DecodePlain(begin, end, sink);
    sink.ZeroRest();
    data.Seek(static_cast<std::uint32_t>(stop - file));
    return texture;
}

} // namespace quelt
