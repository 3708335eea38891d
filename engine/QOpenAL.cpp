// SPDX-License-Identifier: Zlib
#include "QOpenAL.h"

// Types and constants only: every entry point is bound at run time.
#define AL_NO_PROTOTYPES
#define ALC_NO_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>

#include "QUtils.h"
#include "SData.h"
#include "platform/EntryPoint.h"
#include "platform/Platform.h"

namespace quelt {
namespace {

// ---- Sound files ----

constexpr std::size_t kHeaderSize = 36;
constexpr std::size_t kChunkHeaderSize = 8;
// A RIFF file is its 8-byte header plus at most 2^32 - 1 bytes; the same
// bound refuses an Ogg file whose samples could never fit one buffer.
constexpr std::uint64_t kMaxSoundFileSize = 8 + std::uint64_t{0xFFFFFFFF};
// What one OpenAL buffer can take (its size is an ALsizei).
constexpr std::uint64_t kMaxSampleBytes = 0x7FFFFFFF;
// A whole-file Ogg sound holds at most this many sample bytes (25 minutes of
// 44.1 kHz stereo): long music is for streaming. Decoded Ogg may also be at
// most this many times its file, and never less than the floor: oggenc's
// densest output, digital silence, stays near 150 times.
constexpr std::uint64_t kMaxOggSoundBytes = std::uint64_t{256} << 20;
constexpr std::uint64_t kMaxOggExpansion = 1024;
constexpr std::uint64_t kOggDecodedFloor = std::uint64_t{16} << 20;
constexpr std::uint64_t kTypicalOggExpansion = 16;

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagALaw = 6;
constexpr std::uint16_t kTagMuLaw = 7;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// The tail every sub-format GUID of the extensible header shares; its first
// two bytes are the classic format tag.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::int32_t FormatOf(std::uint16_t channels, std::uint16_t bits) {
    if (channels == 1 && bits == 8) return AL_FORMAT_MONO8;
    if (channels == 1 && bits == 16) return AL_FORMAT_MONO16;
    if (channels == 2 && bits == 8) return AL_FORMAT_STEREO8;
    if (channels == 2 && bits == 16) return AL_FORMAT_STEREO16;
    return 0;
}

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

// The samples of `count` stored bytes in the form OpenAL is given.
std::vector<std::uint8_t> Samples(const WavFormat& format, const std::uint8_t* at, std::size_t count) {
    if (format.encoding == Encoding::Copy) return std::vector<std::uint8_t>(at, at + count);
    const std::size_t samples = count / format.storedBytes;
    std::vector<std::uint8_t> out(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::int16_t value = Convert(format.encoding, at + i * format.storedBytes);
        std::memcpy(out.data() + 2 * i, &value, 2);
    }
    return out;
}

bool LooksLikeChunkId(const std::uint8_t* at) {
    if (at[0] == ' ') return false;
    return std::all_of(at, at + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// Where the chunk after one ending at `end` starts. RIFF pads an odd-sized
// chunk with a zero byte, but some writers leave it out: take whichever place
// holds a chunk identifier, the padded one first.
std::uint64_t NextChunk(const std::uint8_t* bytes, std::size_t size, std::uint64_t end, std::uint32_t chunkSize) {
    if (chunkSize % 2 == 0) return end;
    if (end + 1 + 4 <= size && bytes[end] == 0 && LooksLikeChunkId(bytes + end + 1)) return end + 1;
    if (end + 4 <= size && LooksLikeChunkId(bytes + end)) return end;
    return end + 1;
}

std::string FullPath(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(fileName, error);
    return error ? fileName : path.lexically_normal().string();
}

std::vector<std::uint8_t> ReadSoundFile(const std::string& fileName) {
    FileBytes file = ReadRegularFile(fileName, kMaxSoundFileSize);
    switch (file.outcome) {
    case FileBytes::Outcome::Read:
        return std::move(file.bytes);
    case FileBytes::Outcome::NotOpened:
        throw IoError("Cannot open file \"" + FullPath(fileName) + "\". " + std::strerror(file.openError));
    case FileBytes::Outcome::NotRegular:
        throw IoError("Cannot open file \"" + FullPath(fileName) + "\". Not a regular file");
    case FileBytes::Outcome::TooLarge:
        break;
    }
    throw IoError("File \"" + FullPath(fileName) + "\" is too large for a sound");
}

// ---- Ogg Vorbis ----

struct MemoryStream {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t position;
};

std::size_t ReadMemory(void* into, std::size_t size, std::size_t count, void* source) {
    auto* stream = static_cast<MemoryStream*>(source);
    if (size == 0) return 0;
    const std::size_t items = std::min(count, (stream->size - stream->position) / size);
    std::memcpy(into, stream->bytes + stream->position, items * size);
    stream->position += items * size;
    return items;
}

class VorbisFile {
public:
    explicit VorbisFile(MemoryStream& stream) {
        // Read as a stream: no seeking, so a hostile file cannot send the
        // library searching back and forth for its links.
        const ov_callbacks callbacks = {ReadMemory, nullptr, nullptr, nullptr};
        open_ = ov_open_callbacks(&stream, &file_, nullptr, 0, callbacks) == 0;
    }
    VorbisFile(const VorbisFile&) = delete;
    VorbisFile& operator=(const VorbisFile&) = delete;
    ~VorbisFile() {
        if (open_) ov_clear(&file_);
    }
    bool IsOpen() const { return open_; }
    OggVorbis_File* get() { return &file_; }

private:
    OggVorbis_File file_{};
    bool open_ = false;
};

SoundData Refused(const SoundData& sound, const std::string& cause) {
    SetLastError(cause);
    return sound;
}

// Why ParseWav found nothing to hand over.
std::string WavRefusal(const std::uint8_t* bytes, const WavFormat& format, std::uint16_t tag, std::uint16_t channels,
                       std::uint16_t bits, bool found) {
    if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return "WAV: not a WAV or Ogg Vorbis file";
    if (format.encoding == Encoding::None)
        return "WAV: format tag " + IntToStr(tag) + " with " + IntToStr(channels) + " channels of " + IntToStr(bits) +
               " bits is not read";
    if (!found) return "WAV: there is no data chunk";
    return "WAV: the samples are too large for one sound buffer";
}

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
    MemoryStream stream{bytes, bytes ? size : 0, 0};
    VorbisFile vorbis(stream);
    if (!vorbis.IsOpen()) return Refused(sound, "Ogg: not an Ogg Vorbis stream, or its headers are damaged");
    const vorbis_info* info = ov_info(vorbis.get(), -1);
    if (!info || info->rate <= 0 || info->rate > 0x7FFFFFFF)
        return Refused(sound, "Ogg: the sample rate is not usable");
    const int channels = info->channels;
    const long rate = info->rate;
    sound.format = FormatOf(static_cast<std::uint16_t>(channels), 16);
    sound.frequency = static_cast<std::uint32_t>(rate);
    if (sound.format == 0)
        return Refused(sound, "Ogg: " + IntToStr(channels) + " channels are not read (mono and stereo are)");

    const std::uint64_t limit = std::min(maxBytes, kMaxSampleBytes);
    const auto frameBytes = static_cast<std::uint64_t>(channels) * 2;
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const std::string most =
        " past the limit of " +
        (limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes") + " of samples";
    if (const std::int64_t stated = StatedLength(bytes, stream.size);
        stated >= 0 && static_cast<std::uint64_t>(stated) > limit / frameBytes) {
        SetLastError("Ogg: the stream says it holds " + std::to_string(stated) + " samples a channel," + most);
        return sound;
    }
    std::vector<std::uint8_t>& out = sound.data;
    // Typical Vorbis is a tenth or less of its samples: one allocation for most files.
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, std::uint64_t{size} * kTypicalOggExpansion)));
    char block[16384];
    bool tooLong = false;
    for (;;) {
        const long got = ov_read(vorbis.get(), block, sizeof block, 0, 2, 1, nullptr);
        if (got == OV_HOLE) continue; // damaged pages are skipped, as players do
        if (got <= 0) break;
        // A chained link in another layout cannot share the buffer: keep what came before it.
        const vorbis_info* now = ov_info(vorbis.get(), -1);
        if (!now || now->channels != channels || now->rate != rate) break;
        if (out.size() + static_cast<std::uint64_t>(got) > limit) {
            SetLastError("Ogg: decoding went" + most);
            out.clear();
            tooLong = true;
            break;
        }
        out.insert(out.end(), block, block + got);
    }
    const auto frame = static_cast<std::size_t>(frameBytes);
    out.resize(out.size() - out.size() % frame);
    out.shrink_to_fit();
    sound.hasData = !out.empty();
    if (!sound.hasData && !tooLong) Refuse("Ogg: no samples could be decoded");
    return sound;
}

namespace {

// ---- OpenAL binding ----

// type, name: the entry points the module calls.
#define QUELT_AL_USED(X)                                                                                   \
    X(LPALCOPENDEVICE, alcOpenDevice)                                                                      \
    X(LPALCCREATECONTEXT, alcCreateContext)                                                                \
    X(LPALCMAKECONTEXTCURRENT, alcMakeContextCurrent)                                                      \
    X(LPALCDESTROYCONTEXT, alcDestroyContext)                                                              \
    X(LPALCCLOSEDEVICE, alcCloseDevice)                                                                    \
    X(LPALGETERROR, alGetError)                                                                            \
    X(LPALGENBUFFERS, alGenBuffers)                                                                        \
    X(LPALDELETEBUFFERS, alDeleteBuffers)                                                                  \
    X(LPALBUFFERDATA, alBufferData)                                                                        \
    X(LPALGENSOURCES, alGenSources)                                                                        \
    X(LPALDELETESOURCES, alDeleteSources)                                                                  \
    X(LPALSOURCEF, alSourcef)                                                                              \
    X(LPALSOURCEFV, alSourcefv)                                                                            \
    X(LPALSOURCEI, alSourcei)                                                                              \
    X(LPALSOURCEPLAY, alSourcePlay)                                                                        \
    X(LPALSOURCEPAUSE, alSourcePause)                                                                      \
    X(LPALSOURCESTOP, alSourceStop)                                                                        \
    X(LPALLISTENERFV, alListenerfv)

// The rest of the core AL and ALC entry points: bound with the others so the
// binding is complete, though nothing here calls them.
constexpr const char* kOtherEntryPoints[] = {
    "alDopplerFactor", "alDopplerVelocity", "alSpeedOfSound", "alDistanceModel", "alEnable", "alDisable",
    "alIsEnabled", "alGetString", "alGetBooleanv", "alGetIntegerv", "alGetFloatv", "alGetDoublev",
    "alGetBoolean", "alGetInteger", "alGetFloat", "alGetDouble", "alIsExtensionPresent", "alGetEnumValue",
    "alListenerf", "alListener3f", "alListeneri", "alListener3i", "alListeneriv", "alGetListenerf",
    "alGetListener3f", "alGetListenerfv", "alGetListeneri", "alGetListener3i", "alGetListeneriv",
    "alIsSource", "alSource3f", "alSource3i", "alSourceiv", "alGetSourcef", "alGetSource3f",
    "alGetSourcefv", "alGetSourcei", "alGetSource3i", "alGetSourceiv", "alSourcePlayv", "alSourceStopv",
    "alSourceRewindv", "alSourcePausev", "alSourceRewind", "alSourceQueueBuffers", "alSourceUnqueueBuffers",
    "alIsBuffer", "alBufferf", "alBuffer3f", "alBufferfv", "alBufferi", "alBuffer3i", "alBufferiv",
    "alGetBufferf", "alGetBuffer3f", "alGetBufferfv", "alGetBufferi", "alGetBuffer3i", "alGetBufferiv",
    "alcProcessContext", "alcSuspendContext", "alcGetCurrentContext", "alcGetContextsDevice", "alcGetError",
    "alcIsExtensionPresent", "alcGetProcAddress", "alcGetEnumValue", "alcGetString", "alcGetIntegerv",
    "alcCaptureOpenDevice", "alcCaptureCloseDevice", "alcCaptureStart", "alcCaptureStop", "alcCaptureSamples",
};

// Stubs until a library is bound, and again once it is released or fails to
// load: sounds and sources made meanwhile call nothing.
struct EntryPoints {
#define QUELT_AL_FIELD(type, name) type name = StubFor<type>();
    QUELT_AL_USED(QUELT_AL_FIELD)
#undef QUELT_AL_FIELD
    LPALGETPROCADDRESS alGetProcAddress = StubFor<LPALGETPROCADDRESS>();
    std::vector<void*> others;
};

struct SoundState {
    void* library = nullptr;
    EntryPoints al;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool created = false;
    // Counts closed devices: a buffer or source name means something only to
    // the device of the generation that made it, since a new device hands
    // out the same names again.
    std::uint32_t generation = 0;
};

SoundState& State() {
    // Never destroyed, so buffers released during process exit still find it;
    // kept in static storage so that unloading the library leaves no heap block.
    alignas(SoundState) static unsigned char storage[sizeof(SoundState)];
    static SoundState* state = new (storage) SoundState;
    return *state;
}

EntryPoints& AL() { return State().al; }

std::uint32_t CurrentGeneration() { return State().generation; }

void* Resolve(void* library, LPALGETPROCADDRESS getProcAddress, const char* name) {
    void* address = getProcAddress(name);
    return address ? address : CurrentPlatform().GetSymbol(library, name);
}

void Bind(SoundState& state) {
    EntryPoints& al = state.al;
#define QUELT_AL_BIND(type, name) BindEntry(al.name, Resolve(state.library, al.alGetProcAddress, #name));
    QUELT_AL_USED(QUELT_AL_BIND)
#undef QUELT_AL_BIND
    al.others.clear();
    for (const char* name : kOtherEntryPoints) al.others.push_back(Resolve(state.library, al.alGetProcAddress, name));
}

void CloseDevice(SoundState& state) {
    EntryPoints& al = state.al;
    al.alcMakeContextCurrent(nullptr);
    if (state.context) al.alcDestroyContext(state.context);
    if (state.device) al.alcCloseDevice(state.device);
    state.context = nullptr;
    state.device = nullptr;
    ++state.generation;
}

} // namespace

// ---- Sound readers ----

SoundData ParseWav(const std::uint8_t* bytes, std::size_t size) {
    SoundData wav;
    if (!bytes || size < kHeaderSize) return Refused(wav, "WAV: the file is shorter than a WAV header");
    const std::uint32_t formatChunkSize = LoadLE32(bytes + 16);
    const std::uint16_t channels = LoadLE16(bytes + 22);
    const std::uint16_t bits = LoadLE16(bytes + 34);
    const std::uint16_t tag = EffectiveTag(bytes, size, formatChunkSize);
    const WavFormat format = FormatFromHeader(tag, channels, bits);
    wav.frequency = LoadLE32(bytes + 24);
    wav.format = FormatOf(format.channels, format.outputBits);

    // 64-bit positions: a chunk size near 4 GiB cannot wrap the walk back to
    // an earlier chunk, and each step moves forward by at least a chunk header.
    std::uint64_t position = 20 + static_cast<std::uint64_t>(formatChunkSize);
    std::uint64_t dataAt = 0, dataLength = 0;
    bool found = false;
    while (position + kChunkHeaderSize <= size) {
        const std::uint8_t* chunk = bytes + position;
        const std::uint32_t chunkSize = LoadLE32(chunk + 4);
        position += kChunkHeaderSize;
        if (std::memcmp(chunk, "data", 4) == 0) {
            // A chunk cut short by the end of the file keeps what is there.
            dataAt = position;
            dataLength = std::min<std::uint64_t>(chunkSize, size - position);
            found = true;
        }
        position = NextChunk(bytes, size, position + chunkSize, chunkSize);
    }
    const auto refused = [&] { return Refused(wav, WavRefusal(bytes, format, tag, channels, bits, found)); };
    if (wav.format == 0 || !found) return refused();
    // Whole frames only: OpenAL refuses a partial one.
    const std::uint64_t frame = std::uint64_t{format.channels} * format.storedBytes;
    dataLength -= dataLength % frame;
    if (dataLength / format.storedBytes * (format.outputBits / 8) > kMaxSampleBytes) return refused();
    wav.data = Samples(format, bytes + dataAt, static_cast<std::size_t>(dataLength));
    wav.hasData = true;
    return wav;
}

SoundData ParseSound(const std::uint8_t* bytes, std::size_t size) {
    if (bytes && size >= 4 && std::memcmp(bytes, "OggS", 4) == 0) return DecodeOgg(bytes, size);
    return ParseWav(bytes, size);
}

SoundData LoadWavFile(const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = ReadSoundFile(fileName);
    const FileReasons reasons(fileName);
    return ParseSound(bytes.data(), bytes.size());
}

// ---- Sounds and sources ----

TSound::TSound() : generation_(CurrentGeneration()) { AL().alGenBuffers(1, &buffer_); }

TSound::~TSound() {
    if (buffer_ != 0 && generation_ == CurrentGeneration()) AL().alDeleteBuffers(1, &buffer_);
}

TSource::TSource() : generation_(CurrentGeneration()) {
    EntryPoints& al = AL();
    al.alGenSources(1, &source_);
    const ALfloat zero[3] = {0.0f, 0.0f, 0.0f};
    al.alSourcef(source_, AL_PITCH, 1.0f);
    al.alSourcef(source_, AL_GAIN, 1.0f);
    al.alSourcefv(source_, AL_POSITION, zero);
    al.alSourcefv(source_, AL_VELOCITY, zero);
}

TSource::~TSource() {
    if (source_ != 0 && Live()) AL().alDeleteSources(1, &source_);
}

bool TSource::Live() const { return generation_ == CurrentGeneration(); }

void TSource::SetPosition(const TVec3D* position) {
    if (position && Live()) AL().alSourcefv(source_, AL_POSITION, &position->x);
}

void TSource::SetVelocity(const TVec3D* velocity) {
    if (velocity && Live()) AL().alSourcefv(source_, AL_VELOCITY, &velocity->x);
}

void TSource::SetLooping(qbool loop) {
    if (Live()) AL().alSourcei(source_, AL_LOOPING, loop ? 1 : 0);
}

void TSource::SetBuffer(std::int32_t buffer) {
    if (Live()) AL().alSourcei(source_, AL_BUFFER, buffer);
}

void TSource::Play() {
    if (Live()) AL().alSourcePlay(source_);
}

void TSource::Pause() {
    if (Live()) AL().alSourcePause(source_);
}

void TSource::Stop() {
    if (Live()) AL().alSourceStop(source_);
}

// ---- Module ----

bool InitOpenAL(const std::string& libraryName) {
    SoundState& state = State();
    Platform& platform = CurrentPlatform();
    // A device left open by an earlier initialisation would never be closed otherwise.
    CloseDevice(state);
    if (state.library) platform.FreeLibrary(std::exchange(state.library, nullptr));
    // Entry points into a released library must never be called again.
    state.al = EntryPoints();
    // An empty name would open the program itself rather than a library.
    if (!libraryName.empty()) state.library = platform.LoadLibrary(libraryName.c_str());
    if (!state.library) {
        SetLastError("Cannot load the OpenAL library " + Quoted(libraryName) + ": " +
                     (libraryName.empty() ? std::string("no name given") : platform.LibraryError()));
        return false;
    }
    BindEntry(state.al.alGetProcAddress, platform.GetSymbol(state.library, "alGetProcAddress"));
    Bind(state);

    EntryPoints& al = state.al;
    state.device = al.alcOpenDevice(nullptr);
    // No device (no sound hardware, no driver): stay silent rather than fail.
    if (state.device) state.context = al.alcCreateContext(state.device, nullptr);
    if (state.context) al.alcMakeContextCurrent(state.context);
    if (!state.device)
        SetLastError("OpenAL library " + Quoted(libraryName) +
                     " loaded, but no sound device opened: sounds stay silent");
    state.created = true;
    return true;
}

void DoneOpenAL() { CloseDevice(State()); }

bool IsOpenALCreated() { return State().created; }

void CreateSound(ISound** slot, const std::string& fileName) {
    if (!slot) return;
    *slot = nullptr;
    EntryPoints& al = AL();
    if (!IsBound(al.alGenBuffers)) {
        SetLastError("No sound made from " + Quoted(fileName) + ": OpenAL is not loaded (call qInitOpenAL first)");
        return;
    }
    // An error left behind by an earlier call must not be taken for a failed
    // buffer generation.
    al.alGetError();
    FirstReference<TSound> sound(new TSound);
    const bool generated = al.alGetError() == AL_NO_ERROR;
    // Read whatever the device: a file that cannot be opened fails the call
    // (the slot stays null) with a device or without one. A refused content
    // leaves its reason, naming the file.
    const SoundData wav = LoadWavFile(fileName);
    if (wav.hasData && (!generated || !State().context))
        SetLastError(Quoted(fileName) + ": the sound stays silent: OpenAL has no sound device or gave no buffer");
    else if (wav.hasData)
        al.alBufferData(sound.get()->GetBuffer(), wav.format, wav.data.data(), static_cast<ALsizei>(wav.data.size()),
                        static_cast<ALsizei>(wav.frequency));
    *slot = sound.HandOver();
}

void CreateSource(ISource** slot) {
    if (!slot) return;
    *slot = nullptr;
    if (!IsBound(AL().alGenSources)) return;
    HandOut(slot, new TSource);
}

void ListenerPos(const TVec3D& position) { AL().alListenerfv(AL_POSITION, &position.x); }

void ListenerVel(const TVec3D& velocity) { AL().alListenerfv(AL_VELOCITY, &velocity.x); }

void ListenerOrientation(const TVec3D& at, const TVec3D& up) {
    const ALfloat values[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
    AL().alListenerfv(AL_ORIENTATION, values);
}

} // namespace quelt
