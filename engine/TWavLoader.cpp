// SPDX-License-Identifier: Zlib
#include "TWavLoader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "QUtils.h"
#include "SData.h"

namespace quelt {
namespace {

constexpr std::size_t kHeaderSize = 36;
constexpr std::size_t kChunkHeaderSize = 8;
// The classic header, the extensible one's sub-format and a little more.
constexpr std::size_t kHeadSize = 64;

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagALaw = 6;
constexpr std::uint16_t kTagMuLaw = 7;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// The tail every sub-format GUID of the extensible header shares; its first
// two bytes are the classic format tag.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// How one stored sample becomes what OpenAL is given.
enum class Encoding { None, Copy, Signed24, Signed32, Float32, ALaw, MuLaw };

struct WavFormat {
    Encoding encoding = Encoding::None;
    std::uint16_t channels = 0;
    std::uint16_t storedBytes = 0; // per sample in the file
    std::uint16_t outputBits = 0;
};

std::uint16_t EffectiveTag(const std::uint8_t* bytes, std::size_t size, std::uint32_t formatChunkSize) {
    const std::uint16_t tag = LoadLE16(bytes + 20);
    if (tag != kTagExtensible) return tag;
    constexpr std::size_t kSubFormatAt = 20 + 24;
    if (formatChunkSize < 40 || size < kSubFormatAt + 16) return 0;
    if (std::memcmp(bytes + kSubFormatAt + 2, kSubFormatTail, sizeof kSubFormatTail) != 0) return 0;
    return LoadLE16(bytes + kSubFormatAt);
}

WavFormat FormatFromHeader(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits) {
    WavFormat format;
    if (channels != 1 && channels != 2) return format;
    Encoding encoding = Encoding::None;
    if (tag == kTagPcm && (bits == 8 || bits == 16)) encoding = Encoding::Copy;
    if (tag == kTagPcm && bits == 24) encoding = Encoding::Signed24;
    if (tag == kTagPcm && bits == 32) encoding = Encoding::Signed32;
    if (tag == kTagFloat && bits == 32) encoding = Encoding::Float32;
    if (tag == kTagALaw && bits == 8) encoding = Encoding::ALaw;
    if (tag == kTagMuLaw && bits == 8) encoding = Encoding::MuLaw;
    if (encoding == Encoding::None) return format;
    format.encoding = encoding;
    format.channels = channels;
    format.storedBytes = bits / 8;
    format.outputBits = encoding == Encoding::Copy ? bits : 16;
    return format;
}

// A 32-bit sample to 16 bits, rounded to nearest.
std::int16_t Round32To16(std::int32_t sample) {
    if (sample > 0x7FFF7FFF) return 0x7FFF;
    return static_cast<std::int16_t>((static_cast<std::int64_t>(sample) + 0x8000) >> 16);
}

std::int16_t FloatTo16(float value) {
    if (std::isnan(value)) return 0;
    const double scaled = static_cast<double>(value) * 2147483648.0;
    if (scaled <= -2147483648.0) return -0x8000;
    if (scaled >= 2147483647.0) return 0x7FFF;
    return Round32To16(static_cast<std::int32_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5));
}

// G.711 expansions.
std::int16_t MuLawTo16(std::uint8_t code) {
    code = static_cast<std::uint8_t>(~code);
    const int magnitude = (((code & 0x0F) << 3) + 0x84) << ((code & 0x70) >> 4);
    return static_cast<std::int16_t>(code & 0x80 ? 0x84 - magnitude : magnitude - 0x84);
}

std::int16_t ALawTo16(std::uint8_t code) {
    code ^= 0x55;
    int magnitude = (code & 0x0F) << 4;
    const int segment = (code & 0x70) >> 4;
    magnitude = segment == 0 ? magnitude + 8 : (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>(code & 0x80 ? magnitude : -magnitude);
}

std::int16_t Convert(Encoding encoding, const std::uint8_t* at) {
    switch (encoding) {
    case Encoding::Signed24:
        return Round32To16(static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) << 8 |
                                                     static_cast<std::uint32_t>(at[1]) << 16 |
                                                     static_cast<std::uint32_t>(at[2]) << 24));
    case Encoding::Signed32:
        return Round32To16(static_cast<std::int32_t>(LoadLE32(at)));
    case Encoding::Float32:
        return FloatTo16(LoadLEFloat(at));
    case Encoding::ALaw:
        return ALawTo16(*at);
    case Encoding::MuLaw:
        return MuLawTo16(*at);
    default:
        return 0;
    }
}

// The samples of `count` stored bytes, written in the form OpenAL is given.
void ConvertSamples(const WavFormat& format, const std::uint8_t* at, std::size_t count, std::uint8_t* out) {
    if (count == 0) return; // an empty data chunk: there may be no buffer to write to
    if (format.encoding == Encoding::Copy) {
        std::memcpy(out, at, count);
        return;
    }
    const std::size_t samples = count / format.storedBytes;
    for (std::size_t i = 0; i < samples; ++i) {
        const std::int16_t value = Convert(format.encoding, at + i * format.storedBytes);
        std::memcpy(out + 2 * i, &value, 2);
    }
}

std::size_t OutputSize(const WavFormat& format, std::uint64_t storedBytes) {
    return static_cast<std::size_t>(storedBytes / format.storedBytes * (format.outputBits / 8));
}

bool LooksLikeChunkId(const std::uint8_t* at) {
    if (at[0] == ' ') return false;
    return std::all_of(at, at + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// Where the chunk after one ending at `end` starts. RIFF pads an odd-sized
// chunk with a zero byte, but some writers leave it out: take whichever place
// holds a chunk identifier, the padded one first. `peek(at, count, into)`
// says whether the file holds `count` bytes there.
template <typename Peek>
std::uint64_t NextChunk(Peek& peek, std::uint64_t end, std::uint32_t chunkSize) {
    if (chunkSize % 2 == 0) return end;
    std::uint8_t next[5];
    if (peek(end, 5, next) && next[0] == 0 && LooksLikeChunkId(next + 1)) return end + 1;
    if (peek(end, 4, next) && LooksLikeChunkId(next)) return end;
    return end + 1;
}

// Where a WAV file's samples are and how they are stored.
struct WavLayout {
    WavFormat format;
    std::uint16_t tag = 0, channels = 0, bits = 0;
    std::uint32_t frequency = 0;
    bool riff = false; // "RIFF" and "WAVE" where they belong
    bool found = false;
    std::uint64_t dataAt = 0, dataLength = 0; // whole frames only
};

// Walks a file of `size` bytes (at least a header) through `peek`.
template <typename Peek>
WavLayout Locate(std::uint64_t size, Peek&& peek) {
    std::uint8_t head[kHeadSize] = {};
    const std::size_t headSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadSize));
    peek(0, headSize, head);
    WavLayout layout;
    const std::uint32_t formatChunkSize = LoadLE32(head + 16);
    layout.channels = LoadLE16(head + 22);
    layout.bits = LoadLE16(head + 34);
    layout.tag = EffectiveTag(head, headSize, formatChunkSize);
    layout.format = FormatFromHeader(layout.tag, layout.channels, layout.bits);
    layout.frequency = LoadLE32(head + 24);
    layout.riff = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;

    // 64-bit positions: a chunk size near 4 GiB cannot wrap the walk back to
    // an earlier chunk, and each step moves forward by at least a chunk header.
    std::uint64_t position = 20 + static_cast<std::uint64_t>(formatChunkSize);
    std::uint8_t chunk[kChunkHeaderSize];
    while (position + kChunkHeaderSize <= size && peek(position, kChunkHeaderSize, chunk)) {
        const std::uint32_t chunkSize = LoadLE32(chunk + 4);
        position += kChunkHeaderSize;
        if (std::memcmp(chunk, "data", 4) == 0) {
            // A chunk cut short by the end of the file keeps what is there.
            layout.dataAt = position;
            layout.dataLength = std::min<std::uint64_t>(chunkSize, size - position);
            layout.found = true;
        }
        position = NextChunk(peek, position + chunkSize, chunkSize);
    }
    // Whole frames only: OpenAL refuses a partial one.
    const std::uint64_t frame = std::uint64_t{layout.format.channels} * layout.format.storedBytes;
    if (frame != 0) layout.dataLength -= layout.dataLength % frame;
    return layout;
}

// Why a WAV file has nothing to hand over; empty when it has.
std::string Refusal(const WavLayout& layout, bool fitsOneBuffer) {
    if (!layout.riff) return "WAV: not a WAV or Ogg Vorbis file";
    if (layout.format.encoding == Encoding::None)
        return "WAV: format tag " + IntToStr(layout.tag) + " with " + IntToStr(layout.channels) + " channels of " +
               IntToStr(layout.bits) + " bits is not read";
    if (!layout.found) return "WAV: there is no data chunk";
    if (!fitsOneBuffer) return "WAV: the samples are too large for one sound buffer";
    return {};
}

bool Usable(const WavLayout& layout) { return layout.format.encoding != Encoding::None && layout.found; }

// Reads through a window of the file, so that walking many small chunks
// costs few system calls.
class FileWindow {
public:
    explicit FileWindow(const RegularFile& file) : file_(file) {}
    bool operator()(std::uint64_t at, std::size_t count, std::uint8_t* into) {
        if (at < start_ || at + count > start_ + window_.size()) {
            window_.resize(kWindow);
            window_.resize(file_.ReadAt(at, window_.data(), kWindow));
            start_ = at;
        }
        if (at + count > start_ + window_.size()) return false;
        std::memcpy(into, window_.data() + (at - start_), count);
        return true;
    }

private:
    static constexpr std::size_t kWindow = 4096;
    const RegularFile& file_;
    std::vector<std::uint8_t> window_;
    std::uint64_t start_ = 0;
};

class WavStream final : public SoundReader {
public:
    WavStream(std::unique_ptr<RegularFile> file, const WavLayout& layout) : file_(std::move(file)), layout_(layout) {
        format_ = SoundFormat(layout.format.channels, layout.format.outputBits);
        frequency_ = layout.frequency;
    }

    std::size_t Read(std::uint8_t* into, std::size_t capacity) override {
        const WavFormat& format = layout_.format;
        const std::size_t storedFrame = std::size_t{format.channels} * format.storedBytes;
        const std::size_t outputFrame = std::size_t{format.channels} * (format.outputBits / 8);
        const std::uint64_t left = (layout_.dataLength - read_) / storedFrame;
        const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(capacity / outputFrame, left));
        stored_.resize(frames * storedFrame);
        const std::size_t got = file_->ReadAt(layout_.dataAt + read_, stored_.data(), stored_.size());
        const std::size_t whole = got - got % storedFrame;
        read_ += whole;
        ConvertSamples(format, stored_.data(), whole, into);
        return whole / storedFrame * outputFrame;
    }

    bool Rewind() override {
        read_ = 0;
        return true;
    }

private:
    std::unique_ptr<RegularFile> file_;
    WavLayout layout_;
    std::uint64_t read_ = 0; // stored bytes of the data chunk
    std::vector<std::uint8_t> stored_;
};

} // namespace

SoundData ParseWav(const std::uint8_t* bytes, std::size_t size) {
    SoundData wav;
    if (!bytes || size < kHeaderSize) return Refused(wav, "WAV: the file is shorter than a WAV header");
    const WavLayout layout = Locate(size, [&](std::uint64_t at, std::size_t count, std::uint8_t* into) {
        if (at + count > size) return false;
        std::memcpy(into, bytes + at, count);
        return true;
    });
    wav.frequency = layout.frequency;
    wav.format = SoundFormat(layout.format.channels, layout.format.outputBits);
    const bool fits = Usable(layout) && OutputSize(layout.format, layout.dataLength) <= kMaxSampleBytes;
    if (!Usable(layout) || !fits) return Refused(wav, Refusal(layout, fits));
    wav.data.resize(OutputSize(layout.format, layout.dataLength));
    ConvertSamples(layout.format, bytes + layout.dataAt, static_cast<std::size_t>(layout.dataLength), wav.data.data());
    wav.hasData = true;
    return wav;
}

std::unique_ptr<SoundReader> OpenWavStream(std::unique_ptr<RegularFile> file) {
    if (file->Size() < kHeaderSize) {
        SetLastError("WAV: the file is shorter than a WAV header");
        return nullptr;
    }
    const WavLayout layout = Locate(file->Size(), FileWindow(*file));
    if (!Usable(layout)) {
        SetLastError(Refusal(layout, true));
        return nullptr;
    }
    // A whole-file sound with no rate stays silent; a stream has nothing to pace it by.
    if (layout.frequency == 0) {
        SetLastError("WAV: a sample rate of 0 cannot be played");
        return nullptr;
    }
    return std::make_unique<WavStream>(std::move(file), layout);
}

} // namespace quelt
