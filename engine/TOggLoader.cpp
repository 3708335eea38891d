// SPDX-License-Identifier: Zlib
#include "TOggLoader.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "QUtils.h"
#include "SData.h"

namespace quelt {
namespace {

// A whole-file Ogg sound holds at most this many sample bytes (25 minutes of
// 44.1 kHz stereo): long music is for streaming. Decoded Ogg may also be at
// most this many times its file, and never less than the floor: oggenc's
// densest output, digital silence, stays near 150 times.
constexpr std::uint64_t kMaxOggSoundBytes = std::uint64_t{256} << 20;
constexpr std::uint64_t kMaxOggExpansion = 1024;
constexpr std::uint64_t kOggDecodedFloor = std::uint64_t{16} << 20;
constexpr std::uint64_t kTypicalOggExpansion = 16;

// The file's bytes, in memory or in an open file, read front to back.
struct ByteSource {
    const std::uint8_t* bytes = nullptr;
    std::unique_ptr<RegularFile> file;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    // A failure of the file, kept until the decoder has returned: it cannot
    // pass through the library's C frames.
    std::exception_ptr failure;
};

std::size_t ReadSource(void* into, std::size_t size, std::size_t count, void* opaque) {
    auto* source = static_cast<ByteSource*>(opaque);
    if (size == 0 || source->failure) return 0;
    const std::size_t items = static_cast<std::size_t>(std::min<std::uint64_t>(count, (source->size - source->position) / size));
    std::size_t got = items * size;
    if (source->bytes) {
        std::memcpy(into, source->bytes + source->position, got);
    } else {
        try {
            got = source->file->ReadAt(source->position, into, got);
        } catch (...) {
            source->failure = std::current_exception();
            return 0;
        }
    }
    source->position += got;
    return got / size;
}

// One decoder for both uses: DecodeOgg runs it to the end, a stream asks it
// for a buffer's worth at a time.
class OggReader final : public SoundReader {
public:
    OggReader(const std::uint8_t* bytes, std::size_t size) {
        source_.bytes = bytes;
        source_.size = bytes ? size : 0;
    }
    explicit OggReader(std::unique_ptr<RegularFile> file) {
        source_.size = file->Size();
        source_.file = std::move(file);
    }
    ~OggReader() override { Close(); }

    // Reads the headers: false, with the reason, when they or the layout are refused.
    bool Open() {
        // Read as a stream: no seeking, so a hostile file cannot send the
        // library searching back and forth for its links.
        const ov_callbacks callbacks = {ReadSource, nullptr, nullptr, nullptr};
        open_ = ov_open_callbacks(&source_, &file_, nullptr, 0, callbacks) == 0;
        RethrowFailure();
        if (!open_) return Refuse("Ogg: not an Ogg Vorbis stream, or its headers are damaged");
        const vorbis_info* info = ov_info(&file_, -1);
        if (!info || info->rate <= 0 || info->rate > 0x7FFFFFFF) return Refuse("Ogg: the sample rate is not usable");
        channels_ = info->channels;
        rate_ = info->rate;
        frequency_ = static_cast<std::uint32_t>(rate_);
        format_ = SoundFormat(static_cast<std::uint16_t>(channels_), 16);
        if (format_ == 0)
            return Refuse("Ogg: " + IntToStr(channels_) + " channels are not read (mono and stereo are)");
        ended_ = false;
        return true;
    }

    std::size_t Read(std::uint8_t* into, std::size_t capacity) override {
        const std::size_t frame = FrameBytes(format_);
        std::size_t done = 0;
        while (open_ && !ended_ && frame != 0 && capacity - done >= frame) {
            const int want = static_cast<int>(std::min<std::size_t>(capacity - done, INT_MAX));
            const long got = ov_read(&file_, reinterpret_cast<char*>(into + done), want, 0, 2, 1, nullptr);
            RethrowFailure();
            if (got == OV_HOLE) continue; // damaged pages are skipped, as players do
            // A chained link in another layout cannot share the buffer: the
            // samples end before it.
            const vorbis_info* now = got > 0 ? ov_info(&file_, -1) : nullptr;
            if (!now || now->channels != channels_ || now->rate != rate_) {
                ended_ = true;
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done - done % std::max<std::size_t>(frame, 1);
    }

    bool Rewind() override {
        Close();
        source_.position = 0;
        return Open();
    }

    std::uint64_t Size() const { return source_.size; }

private:
    void Close() {
        if (open_) ov_clear(&file_);
        open_ = false;
    }
    void RethrowFailure() {
        if (source_.failure) std::rethrow_exception(std::exchange(source_.failure, nullptr));
    }

    ByteSource source_;
    OggVorbis_File file_{};
    bool open_ = false;
    bool ended_ = false;
    int channels_ = 0;
    long rate_ = 0;
};

// Calls visit(page) for each whole page in `bytes` until it returns false.
template <typename Visit>
void ForEachPage(const std::uint8_t* bytes, std::size_t size, Visit&& visit) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(size));
    if (buffer) {
        std::memcpy(buffer, bytes, size);
        ogg_sync_wrote(&sync, static_cast<long>(size));
        ogg_page page;
        for (int got; (got = ogg_sync_pageout(&sync, &page)) != 0;)
            if (got > 0 && !visit(page)) break;
    }
    ogg_sync_clear(&sync);
}

// Samples per channel a single-stream file says it holds: the granule
// position of its last page less that of its first audio page. -1 when it
// does not say (a chain of streams, no such pages), so that decoding alone
// judges it.
std::int64_t StatedLength(const std::uint8_t* bytes, std::size_t size) {
    constexpr std::size_t kHead = std::size_t{256} << 10; // headers and the first audio page
    constexpr std::size_t kTail = 65307;                  // the largest page
    long serial = -1;
    std::int64_t first = -1, last = -1;
    ForEachPage(bytes, std::min(size, kHead), [&](ogg_page& page) {
        if (serial < 0) serial = ogg_page_serialno(&page);
        if (ogg_page_serialno(&page) == serial && ogg_page_granulepos(&page) > 0) first = ogg_page_granulepos(&page);
        return first < 0;
    });
    const std::size_t tail = std::min(size, kTail);
    bool chained = false;
    ForEachPage(bytes + size - tail, tail, [&](ogg_page& page) {
        chained = chained || ogg_page_serialno(&page) != serial;
        if (ogg_page_granulepos(&page) >= 0) last = ogg_page_granulepos(&page);
        return true;
    });
    return chained || first < 0 || last < first ? -1 : last - first;
}

} // namespace

std::uint64_t OggSampleLimit(std::size_t fileSize) {
    return std::min(kMaxOggSoundBytes, std::max(kOggDecodedFloor, std::uint64_t{fileSize} * kMaxOggExpansion));
}

SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size) {
    return DecodeOgg(bytes, size, OggSampleLimit(size));
}

SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size, std::uint64_t maxBytes) {
    SoundData sound;
    OggReader reader(bytes, size);
    const bool opened = reader.Open();
    sound.frequency = reader.Frequency();
    if (!opened) return sound;
    sound.format = reader.Format();

    const std::uint64_t limit = std::min(maxBytes, kMaxSampleBytes);
    const std::uint64_t frameBytes = FrameBytes(sound.format);
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const std::string most =
        " past the limit of " +
        (limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes") + " of samples";
    if (const std::int64_t stated = StatedLength(bytes, static_cast<std::size_t>(reader.Size()));
        stated >= 0 && static_cast<std::uint64_t>(stated) > limit / frameBytes) {
        SetLastError("Ogg: the stream says it holds " + std::to_string(stated) + " samples a channel," + most);
        return sound;
    }
    std::vector<std::uint8_t>& out = sound.data;
    // Typical Vorbis is a tenth or less of its samples: one allocation for most files.
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, std::uint64_t{size} * kTypicalOggExpansion)));
    std::uint8_t block[16384];
    for (std::size_t got; (got = reader.Read(block, sizeof block)) != 0;) {
        if (out.size() + static_cast<std::uint64_t>(got) > limit) {
            out.clear();
            out.shrink_to_fit();
            return Refused(sound, "Ogg: decoding went" + most);
        }
        out.insert(out.end(), block, block + got);
    }
    out.shrink_to_fit();
    sound.hasData = !out.empty();
    if (!sound.hasData) return Refused(sound, "Ogg: no samples could be decoded");
    return sound;
}

std::unique_ptr<SoundReader> OpenOggStream(std::unique_ptr<RegularFile> file) {
    auto reader = std::make_unique<OggReader>(std::move(file));
    if (!reader->Open()) return nullptr;
    return reader;
}

} // namespace quelt
