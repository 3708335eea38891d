#include "QOpenAL.h"

// Types and constants only: every entry point is bound at run time.
#define AL_NO_PROTOTYPES
#define ALC_NO_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>

#include "QUtils.h"
#include "platform/Platform.h"

namespace quelt {
namespace {

// ---- WAV ----

constexpr std::size_t kHeaderSize = 36;
constexpr std::size_t kChunkHeaderSize = 8;

std::uint16_t Word(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

std::uint32_t DWord(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::int32_t FormatOf(std::uint16_t channels, std::uint16_t bits) {
    if (channels == 1 && bits == 8) return AL_FORMAT_MONO8;
    if (channels == 1 && bits == 16) return AL_FORMAT_MONO16;
    if (channels == 2 && bits == 8) return AL_FORMAT_STEREO8;
    if (channels == 2 && bits == 16) return AL_FORMAT_STEREO16;
    return 0;
}

std::string FullPath(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(fileName, error);
    return error ? fileName : path.lexically_normal().string();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        const int reason = errno; // before building the path can change it
        throw IoError("Cannot open file \"" + FullPath(fileName) + "\". " + std::strerror(reason));
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    std::size_t got;
    // Read to the end rather than trusting a size: pipes and growing files work too.
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) bytes.insert(bytes.end(), block, block + got);
    if (std::ferror(file.get()))
        throw IoError("Cannot read file \"" + FullPath(fileName) + "\". " + std::strerror(errno));
    return bytes;
}

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

struct EntryPoints {
#define QUELT_AL_FIELD(type, name) type name = nullptr;
    QUELT_AL_USED(QUELT_AL_FIELD)
#undef QUELT_AL_FIELD
    LPALGETPROCADDRESS alGetProcAddress = nullptr;
    std::vector<void*> others;
};

struct SoundState {
    void* library = nullptr;
    EntryPoints al;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool created = false;
};

SoundState& State() {
    // Never destroyed, so buffers released during process exit still find it;
    // kept in static storage so that unloading the library leaves no heap block.
    alignas(SoundState) static unsigned char storage[sizeof(SoundState)];
    static SoundState* state = new (storage) SoundState;
    return *state;
}

EntryPoints& AL() { return State().al; }

// Calls an entry point only when it is bound, so nothing made before a
// successful initialisation (or after a failed load) can jump through null.
template <typename Function, typename... Args>
void Call(Function function, Args... args) {
    if (function) function(args...);
}

void* Resolve(void* library, LPALGETPROCADDRESS getProcAddress, const char* name) {
    void* address = getProcAddress ? getProcAddress(name) : nullptr;
    return address ? address : CurrentPlatform().GetSymbol(library, name);
}

void Bind(SoundState& state) {
    EntryPoints& al = state.al;
#define QUELT_AL_BIND(type, name) al.name = reinterpret_cast<type>(Resolve(state.library, al.alGetProcAddress, #name));
    QUELT_AL_USED(QUELT_AL_BIND)
#undef QUELT_AL_BIND
    al.others.clear();
    for (const char* name : kOtherEntryPoints) al.others.push_back(Resolve(state.library, al.alGetProcAddress, name));
}

void CloseDevice(SoundState& state) {
    EntryPoints& al = state.al;
    Call(al.alcMakeContextCurrent, nullptr);
    if (state.context) Call(al.alcDestroyContext, state.context);
    if (state.device) Call(al.alcCloseDevice, state.device);
    state.context = nullptr;
    state.device = nullptr;
}

// Releases one reference when it goes out of scope, unless handed on.
template <typename Object>
class Held {
public:
    explicit Held(Object* object) : object_(object) { object_->AddRef(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (object_) object_->Release();
    }
    Object* get() const { return object_; }
    Object* Release() { return std::exchange(object_, nullptr); }

private:
    Object* object_;
};

} // namespace

// ---- WAV reader ----

WavData ParseWav(const std::uint8_t* bytes, std::size_t size) {
    WavData wav;
    if (!bytes || size < kHeaderSize) return wav;
    const std::uint32_t formatChunkSize = DWord(bytes + 16);
    const std::uint16_t channels = Word(bytes + 22);
    const std::uint16_t bits = Word(bytes + 34);
    wav.frequency = DWord(bytes + 24);
    wav.format = FormatOf(channels, bits);

    // 64-bit positions: a chunk size near 4 GiB cannot wrap the walk back to
    // an earlier chunk, and each step moves forward by at least a chunk header.
    std::uint64_t position = 20 + static_cast<std::uint64_t>(formatChunkSize);
    while (position + kChunkHeaderSize <= size) {
        const std::uint8_t* chunk = bytes + position;
        const std::uint32_t chunkSize = DWord(chunk + 4);
        position += kChunkHeaderSize;
        if (std::memcmp(chunk, "data", 4) == 0) {
            // A chunk cut short by the end of the file keeps what is there, in whole frames.
            std::uint64_t length = chunkSize;
            const std::uint64_t left = size - position;
            if (length > left) {
                const std::uint64_t frame = std::max<std::uint64_t>(1, channels * (bits / 8u));
                length = left - left % frame;
            }
            wav.data.assign(bytes + position, bytes + position + length);
            wav.hasData = true;
        }
        position += chunkSize;
    }
    if (wav.format == 0) {
        wav.data.clear();
        wav.hasData = false;
    }
    return wav;
}

WavData LoadWavFile(const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    return ParseWav(bytes.data(), bytes.size());
}

// ---- Sounds and sources ----

TSound::TSound() { Call(AL().alGenBuffers, 1, &buffer_); }

TSound::~TSound() {
    if (buffer_ != 0) Call(AL().alDeleteBuffers, 1, &buffer_);
}

TSource::TSource() {
    EntryPoints& al = AL();
    Call(al.alGenSources, 1, &source_);
    const ALfloat zero[3] = {0.0f, 0.0f, 0.0f};
    Call(al.alSourcef, source_, AL_PITCH, 1.0f);
    Call(al.alSourcef, source_, AL_GAIN, 1.0f);
    Call(al.alSourcefv, source_, AL_POSITION, zero);
    Call(al.alSourcefv, source_, AL_VELOCITY, zero);
}

TSource::~TSource() {
    if (source_ != 0) Call(AL().alDeleteSources, 1, &source_);
}

void TSource::SetPosition(const TVec3D* position) {
    if (position) Call(AL().alSourcefv, source_, AL_POSITION, &position->x);
}

void TSource::SetVelocity(const TVec3D* velocity) {
    if (velocity) Call(AL().alSourcefv, source_, AL_VELOCITY, &velocity->x);
}

void TSource::SetLooping(qbool loop) { Call(AL().alSourcei, source_, AL_LOOPING, loop ? 1 : 0); }

void TSource::SetBuffer(std::int32_t buffer) { Call(AL().alSourcei, source_, AL_BUFFER, buffer); }

void TSource::Play() { Call(AL().alSourcePlay, source_); }

void TSource::Pause() { Call(AL().alSourcePause, source_); }

void TSource::Stop() { Call(AL().alSourceStop, source_); }

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
    if (!state.library) return false;
    state.al.alGetProcAddress =
        reinterpret_cast<LPALGETPROCADDRESS>(platform.GetSymbol(state.library, "alGetProcAddress"));
    Bind(state);

    EntryPoints& al = state.al;
    state.device = al.alcOpenDevice ? al.alcOpenDevice(nullptr) : nullptr;
    // No device (no sound hardware, no driver): stay silent rather than fail.
    if (state.device && al.alcCreateContext) state.context = al.alcCreateContext(state.device, nullptr);
    if (state.context) Call(al.alcMakeContextCurrent, state.context);
    state.created = true;
    return true;
}

void DoneOpenAL() { CloseDevice(State()); }

bool IsOpenALCreated() { return State().created; }

void CreateSound(ISound** slot, const std::string& fileName) {
    if (!slot) return;
    *slot = nullptr;
    EntryPoints& al = AL();
    if (!al.alGenBuffers) return;
    // An error left behind by an earlier call must not be taken for a failed
    // buffer generation.
    Call(al.alGetError);
    Held<TSound> sound(new TSound);
    if (!al.alGetError || al.alGetError() == AL_NO_ERROR) {
        const WavData wav = LoadWavFile(fileName);
        if (wav.hasData && al.alBufferData)
            al.alBufferData(sound.get()->GetBuffer(), wav.format, wav.data.data(),
                            static_cast<ALsizei>(wav.data.size()), static_cast<ALsizei>(wav.frequency));
    }
    *slot = sound.Release();
}

void CreateSource(ISource** slot) {
    if (!slot) return;
    *slot = nullptr;
    if (!AL().alGenSources) return;
    Held<TSource> source(new TSource);
    *slot = source.Release();
}

void ListenerPos(const TVec3D& position) { Call(AL().alListenerfv, AL_POSITION, &position.x); }

void ListenerVel(const TVec3D& velocity) { Call(AL().alListenerfv, AL_VELOCITY, &velocity.x); }

void ListenerOrientation(const TVec3D& at, const TVec3D& up) {
    const ALfloat values[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
    Call(AL().alListenerfv, AL_ORIENTATION, values);
}

} // namespace quelt
