// SPDX-License-Identifier: Zlib
#include "QOpenAL.h"

// Types and constants only: every entry point is bound at run time.
#define AL_NO_PROTOTYPES
#define ALC_NO_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <utility>

#include "QUtils.h"
#include "SData.h"
#include "platform/EntryPoint.h"
#include "platform/Platform.h"

namespace quelt {
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
    X(LPALLISTENERFV, alListenerfv)                                                                        \
    X(LPALLISTENERF, alListenerf)                                                                          \
    X(LPALGETSOURCEI, alGetSourcei)                                                                        \
    X(LPALGETSOURCEF, alGetSourcef)                                                                        \
    X(LPALSOURCEQUEUEBUFFERS, alSourceQueueBuffers)                                                        \
    X(LPALSOURCEUNQUEUEBUFFERS, alSourceUnqueueBuffers)                                                    \
    X(LPALGETBUFFERI, alGetBufferi)

// The rest of the core AL and ALC entry points: bound with the others so the
// binding is complete, though nothing here calls them.
constexpr const char* kOtherEntryPoints[] = {
    "alDopplerFactor", "alDopplerVelocity", "alSpeedOfSound", "alDistanceModel", "alEnable", "alDisable",
    "alIsEnabled", "alGetString", "alGetBooleanv", "alGetIntegerv", "alGetFloatv", "alGetDoublev",
    "alGetBoolean", "alGetInteger", "alGetFloat", "alGetDouble", "alIsExtensionPresent", "alGetEnumValue",
    "alListener3f", "alListeneri", "alListener3i", "alListeneriv", "alGetListenerf",
    "alGetListener3f", "alGetListenerfv", "alGetListeneri", "alGetListener3i", "alGetListeneriv",
    "alIsSource", "alSource3f", "alSource3i", "alSourceiv", "alGetSource3f",
    "alGetSourcefv", "alGetSource3i", "alGetSourceiv", "alSourcePlayv", "alSourceStopv",
    "alSourceRewindv", "alSourcePausev", "alSourceRewind", "alIsBuffer", "alBufferf", "alBuffer3f", "alBufferfv", "alBufferi", "alBuffer3i", "alBufferiv",
    "alGetBufferf", "alGetBuffer3f", "alGetBufferfv", "alGetBuffer3i", "alGetBufferiv",
    "alcProcessContext", "alcSuspendContext", "alcGetCurrentContext", "alcGetContextsDevice", "alcGetError",
    "alcIsExtensionPresent", "alcGetProcAddress", "alcGetEnumValue", "alcGetString", "alcGetIntegerv",
    "alcCaptureOpenDevice", "alcCaptureCloseDevice", "alcCaptureStart", "alcCaptureStop", "alcCaptureSamples",
};

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
    // Every stream alive on the current device, fed once a main-loop pass.
    std::vector<TStream*> streams;
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
    // Each stream stops and lets go of its file while the device is still open.
    for (TStream* stream : std::vector<TStream*>(state.streams)) stream->Shut();
    std::vector<TStream*>().swap(state.streams);
    EntryPoints& al = state.al;
    al.alcMakeContextCurrent(nullptr);
    if (state.context) al.alcDestroyContext(state.context);
    if (state.device) al.alcCloseDevice(state.device);
    state.context = nullptr;
    state.device = nullptr;
    ++state.generation;
}

} // namespace

// ---- Sounds and sources ----

TSound::TSound() : generation_(CurrentGeneration()) { AL().alGenBuffers(1, &buffer_); }

TSound::~TSound() {
    if (buffer_ != 0 && generation_ == CurrentGeneration()) AL().alDeleteBuffers(1, &buffer_);
}

namespace {

std::string Number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

// A setter's value: finite, and above 0 or at least 0. False, with the reason, otherwise.
bool Acceptable(const char* what, float value, bool zeroAllowed) {
    if (std::isfinite(value) && (zeroAllowed ? value >= 0 : value > 0)) return true;
    SetLastError(std::string(what) + " " + Number(value) + ": not a finite number " +
                 (zeroAllowed ? "of 0 or more" : "above 0"));
    return false;
}

bool Closed(const char* what) {
    SetLastError(std::string(what) + ": the sound device this source belongs to is closed");
    return false;
}

std::int32_t PublicState(ALint state) {
    if (state == AL_PLAYING) return QSOURCE_PLAYING;
    if (state == AL_PAUSED) return QSOURCE_PAUSED;
    return QSOURCE_STOPPED;
}

} // namespace

TSourceControls::TSourceControls() : generation_(CurrentGeneration()) {
    EntryPoints& al = AL();
    al.alGenSources(1, &source_);
    const ALfloat zero[3] = {0.0f, 0.0f, 0.0f};
    al.alSourcef(source_, AL_PITCH, 1.0f);
    al.alSourcef(source_, AL_GAIN, 1.0f);
    al.alSourcefv(source_, AL_POSITION, zero);
    al.alSourcefv(source_, AL_VELOCITY, zero);
}

TSourceControls::~TSourceControls() {
    if (source_ != 0 && Live()) AL().alDeleteSources(1, &source_);
}

std::int32_t TSourceControls::QueryInterface(const QGUID* iid, void** object) {
    if (object && iid && SameGuid(*iid, IID_ISourceControl)) {
        *object = static_cast<ISourceControl*>(this);
        AddRef();
        return Q_OK;
    }
    return TInterfacedObject::QueryInterface(iid, object);
}

bool TSourceControls::Live() const { return generation_ == CurrentGeneration(); }

std::int32_t TSourceControls::SourceState() const {
    ALint state = AL_STOPPED;
    if (source_ != 0 && Live()) AL().alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state;
}

void TSourceControls::SetPosition(const TVec3D* position) {
    if (position && Live()) AL().alSourcefv(source_, AL_POSITION, &position->x);
}

void TSourceControls::SetVelocity(const TVec3D* velocity) {
    if (velocity && Live()) AL().alSourcefv(source_, AL_VELOCITY, &velocity->x);
}

#define QUELT_SOURCE_SETTER(Slot, what, parameter, zeroAllowed)                \
    qbool TSourceControls::Slot(float value) {                                  \
        if (!Acceptable("Source " what, value, zeroAllowed)) return 0;          \
        if (!Live()) return Closed("Source " what);                             \
        AL().alSourcef(source_, parameter, value);                        \
        return 1;                                                               \
    }
QUELT_SOURCE_SETTER(SetGain, "gain", AL_GAIN, true)
QUELT_SOURCE_SETTER(SetPitch, "pitch", AL_PITCH, false)
QUELT_SOURCE_SETTER(SetReferenceDistance, "reference distance", AL_REFERENCE_DISTANCE, true)
QUELT_SOURCE_SETTER(SetRolloff, "rolloff", AL_ROLLOFF_FACTOR, true)
#undef QUELT_SOURCE_SETTER

void TSourceControls::SetRelative(qbool relative) {
    if (Live()) AL().alSourcei(source_, AL_SOURCE_RELATIVE, relative ? AL_TRUE : AL_FALSE);
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

std::int32_t TSource::GetState() { return PublicState(SourceState()); }

qbool TSource::SetOffset(float seconds) {
    if (!Acceptable("Source offset", seconds, true)) return 0;
    if (!Live()) return Closed("Source offset");
    EntryPoints& al = AL();
    ALint buffer = 0, size = 0, channels = 0, bits = 0, frequency = 0;
    al.alGetSourcei(source_, AL_BUFFER, &buffer);
    const auto id = static_cast<ALuint>(buffer);
    al.alGetBufferi(id, AL_SIZE, &size);
    al.alGetBufferi(id, AL_CHANNELS, &channels);
    al.alGetBufferi(id, AL_BITS, &bits);
    al.alGetBufferi(id, AL_FREQUENCY, &frequency);
    const std::int64_t frameBytes = std::int64_t{channels} * bits / 8;
    if (buffer == 0 || frameBytes <= 0 || frequency <= 0) {
        SetLastError("Source offset " + Number(seconds) + ": the source has no sound attached");
        return 0;
    }
    const double length = static_cast<double>(size / frameBytes) / frequency;
    if (seconds >= length) {
        SetLastError("Source offset " + Number(seconds) + ": past the end of the sound (" + Number(float(length)) +
                     " seconds)");
        return 0;
    }
    al.alSourcef(source_, AL_SEC_OFFSET, seconds);
    return 1;
}

float TSource::GetOffset() {
    ALfloat seconds = 0;
    if (Live() && SourceState() != AL_STOPPED) AL().alGetSourcef(source_, AL_SEC_OFFSET, &seconds);
    return seconds;
}

// ---- Streams ----

namespace {

std::vector<TStream*>& Streams() { return State().streams; }

void Forget(TStream* stream) {
    std::vector<TStream*>& streams = Streams();
    streams.erase(std::remove(streams.begin(), streams.end(), stream), streams.end());
    // No heap block outlives the last stream: the state itself is never destroyed.
    if (streams.empty()) std::vector<TStream*>().swap(streams);
}

} // namespace

TStream::TStream(std::unique_ptr<SoundReader> reader) : reader_(std::move(reader)) {
    const std::size_t frame = FrameBytes(reader_->Format());
    const std::size_t perBuffer = std::max<std::size_t>(reader_->Frequency() / kBuffersPerSecond, 1) * frame;
    staging_.resize(std::min(perBuffer, kMaxBufferBytes / frame * frame));
    EntryPoints& al = AL();
    if (source_ != 0 && Live() && IsBound(al.alGenBuffers)) {
        al.alGetError();
        buffers_.resize(kBuffers);
        al.alGenBuffers(static_cast<ALsizei>(kBuffers), buffers_.data());
        if (al.alGetError() != AL_NO_ERROR) buffers_.clear();
    }
    free_ = buffers_;
    Streams().push_back(this);
}

TStream::~TStream() {
    Forget(this);
    Shut();
}

bool TStream::Active() const { return Live() && !buffers_.empty() && reader_; }

void TStream::Shut() {
    if (Active()) {
        Clear();
        AL().alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
    }
    buffers_.clear();
    free_.clear();
    reader_.reset();
    std::vector<std::uint8_t>().swap(staging_);
    playing_ = paused_ = false;
}

void TStream::Clear() {
    EntryPoints& al = AL();
    al.alSourceStop(source_);
    // A stopped source lets go of its whole queue at once.
    al.alSourcei(source_, AL_BUFFER, 0);
    queue_.clear();
    free_ = buffers_;
}

void TStream::Rewind() {
    ended_ = !reader_->Rewind();
    nextFrame_ = 0;
    passFrames_ = 0;
}

std::size_t TStream::FillBuffer(std::uint32_t buffer) {
    const std::size_t frame = FrameBytes(reader_->Format());
    std::size_t filled = 0;
    while (!ended_ && filled < staging_.size()) {
        const std::size_t got = reader_->Read(staging_.data() + filled, staging_.size() - filled);
        filled += got;
        passFrames_ += got / frame;
        if (got != 0) continue;
        // The sound is over: a loop goes on with its start in the same
        // buffer, so that nothing separates the end from the beginning.
        if (!looping_ || passFrames_ == 0) {
            ended_ = true;
            break;
        }
        LoopToStart();
    }
    if (filled == 0) return 0;
    EntryPoints& al = AL();
    al.alBufferData(buffer, reader_->Format(), staging_.data(), static_cast<ALsizei>(filled),
         static_cast<ALsizei>(reader_->Frequency()));
    al.alSourceQueueBuffers(source_, 1, &buffer);
    queue_.push_back({buffer, nextFrame_, filled / frame});
    nextFrame_ += filled / frame;
    return filled / frame;
}

void TStream::LoopToStart() {
    soundFrames_ = passFrames_;
    ended_ = !reader_->Rewind();
    passFrames_ = 0;
}

void TStream::SetLooping(qbool loop) {
    looping_ = loop != 0;
    // Asked for once the reader has reached the end while the last buffers
    // still play: the sound goes on from its start after them.
    if (looping_ && ended_ && passFrames_ != 0 && Active() && (playing_ || paused_))
        Safely([this] { LoopToStart(); });
}

void TStream::Refill() {
    EntryPoints& al = AL();
    ALint processed = 0;
    al.alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0 && !queue_.empty(); --processed) {
        ALuint buffer = 0;
        al.alSourceUnqueueBuffers(source_, 1, &buffer);
        queue_.pop_front();
        free_.push_back(buffer);
    }
    while (!free_.empty() && FillBuffer(free_.back()) != 0) free_.pop_back();
}

template <typename Step>
void TStream::Safely(Step&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        // A file that fails while playing (a removed disk) ends the stream
        // with the reason; nothing is thrown at the program or the main loop.
        SetLastError(error.what());
        Clear();
        ended_ = true;
        playing_ = paused_ = false;
    }
}

void TStream::Start() {
    Refill();
    if (queue_.empty()) {
        Stop();
        return;
    }
    AL().alSourcePlay(source_);
    playing_ = true;
    paused_ = false;
}

void TStream::Play() {
    Safely([this] { PlayNow(); });
}

void TStream::PlayNow() {
    if (!Active()) return;
    if (paused_) {
        Refill();
        AL().alSourcePlay(source_);
        playing_ = true;
        paused_ = false;
        return;
    }
    if (playing_) Stop(); // restarts from the beginning, as a source does
    Start();
}

void TStream::Pause() {
    if (!Active() || !playing_) return;
    AL().alSourcePause(source_);
    playing_ = false;
    paused_ = true;
}

void TStream::Stop() {
    Safely([this] { StopNow(); });
}

void TStream::StopNow() {
    if (!Active()) return;
    Clear();
    Rewind();
    playing_ = paused_ = false;
}

void TStream::Feed() {
    Safely([this] { FeedNow(); });
}

void TStream::FeedNow() {
    if (!Active() || !playing_) return;
    Refill();
    if (queue_.empty()) {
        Stop(); // played to its end: the next Play starts from the beginning
        return;
    }
    if (SourceState() == AL_PLAYING) return;
    // Starved: the queue ran dry before this pass (or just now). A stopped
    // source counts every buffer as played: take them all back, so that none
    // is heard twice, and carry on with fresh ones.
    Refill();
    if (queue_.empty())
        Stop();
    else
        AL().alSourcePlay(source_);
}

std::int32_t TStream::GetState() {
    if (playing_) return QSOURCE_PLAYING;
    return paused_ ? QSOURCE_PAUSED : QSOURCE_STOPPED;
}

std::uint64_t TStream::PlayedFrame() const {
    ALint offset = 0;
    AL().alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
    // The offset counts from the first buffer still queued.
    std::uint64_t left = static_cast<std::uint64_t>(std::max<ALint>(offset, 0));
    for (const Queued& queued : queue_) {
        if (left < queued.frames) return queued.startFrame + left;
        left -= queued.frames;
    }
    return nextFrame_;
}

float TStream::GetOffset() {
    if (!Active() || (!playing_ && !paused_)) return 0.0f;
    std::uint64_t frame = PlayedFrame();
    if (soundFrames_ != 0) frame %= soundFrames_;
    return static_cast<float>(static_cast<double>(frame) / reader_->Frequency());
}

qbool TStream::SetOffset(float seconds) {
    if (!Acceptable("Stream offset", seconds, true)) return 0;
    if (!Active()) return Closed("Stream offset");
    bool moved = false;
    Safely([&] { moved = Seek(seconds); });
    return moved ? 1 : 0;
}

bool TStream::Seek(float seconds) {
    const bool wasPlaying = playing_, wasPaused = paused_;
    Clear();
    Rewind();
    playing_ = paused_ = false;
    const std::size_t frame = FrameBytes(reader_->Format());
    auto skip = static_cast<std::uint64_t>(static_cast<double>(seconds) * reader_->Frequency());
    while (skip > 0 && !ended_) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(skip * frame, staging_.size()));
        const std::size_t got = reader_->Read(staging_.data(), want);
        if (got == 0) break;
        skip -= got / frame;
        nextFrame_ += got / frame;
        passFrames_ += got / frame;
    }
    if (skip > 0) {
        Rewind();
        SetLastError("Stream offset " + Number(seconds) + ": past the end of the sound");
        return false;
    }
    if (wasPlaying) Start();
    if (wasPaused) {
        Refill();
        paused_ = !queue_.empty();
    }
    return true;
}

std::size_t TStream::SampleBytes() const {
    std::size_t bytes = staging_.capacity();
    for (const Queued& queued : queue_) bytes += queued.frames * FrameBytes(reader_ ? reader_->Format() : 0);
    return bytes;
}

double TStream::QueuedSeconds() const {
    if (!Active()) return 0.0;
    return static_cast<double>(nextFrame_ - PlayedFrame()) / reader_->Frequency();
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

void CreateStream(ISource** slot, const std::string& fileName) {
    if (!slot) return;
    *slot = nullptr;
    if (!IsBound(AL().alGenSources)) {
        SetLastError("No stream made from " + Quoted(fileName) + ": OpenAL is not loaded (call qInitOpenAL first)");
        return;
    }
    std::unique_ptr<SoundReader> reader = OpenSoundStream(fileName);
    if (!reader) return;
    FirstReference<TStream> stream(new TStream(std::move(reader)));
    if (!State().context)
        SetLastError(Quoted(fileName) + ": the stream stays silent: OpenAL has no sound device");
    *slot = stream.HandOver();
}

void FeedStreams() {
    for (TStream* stream : Streams()) stream->Feed();
}

bool SetListenerGain(float gain) {
    if (!IsBound(AL().alListenerf)) {
        SetLastError("Listener gain: OpenAL is not loaded (call qInitOpenAL first)");
        return false;
    }
    if (!Acceptable("Listener gain", gain, true)) return false;
    AL().alListenerf(AL_GAIN, gain);
    return true;
}

void ListenerPos(const TVec3D& position) { AL().alListenerfv(AL_POSITION, &position.x); }

void ListenerVel(const TVec3D& velocity) { AL().alListenerfv(AL_VELOCITY, &velocity.x); }

void ListenerOrientation(const TVec3D& at, const TVec3D& up) {
    const ALfloat values[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
    AL().alListenerfv(AL_ORIENTATION, values);
}

} // namespace quelt
