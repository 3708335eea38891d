// SPDX-License-Identifier: Zlib
// Positional sound through OpenAL, bound at run time from the library file
// the application names: the device and context, sound buffers made from WAV
// and Ogg Vorbis files (the readers are TSoundLib's), sources, streams fed
// from the main loop, and the listener. One device per process.
#pragma once

#include <quelt/quelt.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "TInterfacedObject.h"
#include "TSoundLib.h"

namespace quelt {

class TSound final : public TInterfacedObject<ISound> {
public:
    TSound();
    std::uint32_t GetBuffer() override { return buffer_; }

private:
    ~TSound() override;
    std::uint32_t buffer_ = 0;
    std::uint32_t generation_; // of the device that made the buffer
};

// ISource's classic slots and the further controls, shared by sources and
// streams. An OpenAL source name belongs to the device generation that made it.
class TSourceControls : public TInterfacedObject<ISourceControl> {
public:
    std::int32_t QueryInterface(const QGUID* iid, void** object) override;
    void SetPosition(const TVec3D* position) override;
    void SetVelocity(const TVec3D* velocity) override;
    qbool SetGain(float gain) override;
    qbool SetPitch(float pitch) override;
    qbool SetReferenceDistance(float distance) override;
    qbool SetRolloff(float rolloff) override;
    void SetRelative(qbool relative) override;
    std::uint32_t Name() const { return source_; }

protected:
    TSourceControls();
    ~TSourceControls() override;
    // False once the device that made the source is closed: its name may
    // then belong to another device's source.
    bool Live() const;
    std::int32_t SourceState() const; // AL_PLAYING, ...; AL_STOPPED when not live
    std::uint32_t source_ = 0;
    std::uint32_t generation_;
};

class TSource final : public TSourceControls {
public:
    void SetLooping(qbool loop) override;
    void SetBuffer(std::int32_t buffer) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    std::int32_t GetState() override;
    qbool SetOffset(float seconds) override;
    float GetOffset() override;

private:
    ~TSource() override = default;
};

// A source fed from a SoundReader through a few queued buffers. Feed, called
// once a main-loop pass, refills the buffers OpenAL has finished with.
class TStream final : public TSourceControls {
public:
    // Eight buffers of a fifth of a second: after a refill at least 1.4 s
    // stay queued, more than a slow second of the main loop. Above 48 kHz
    // stereo a buffer stays at 48 KiB, 384 KiB in all.
    static constexpr std::size_t kBuffers = 8;
    static constexpr std::uint32_t kBuffersPerSecond = 5;
    static constexpr std::size_t kMaxBufferBytes = 48 << 10;

    explicit TStream(std::unique_ptr<SoundReader> reader);
    void SetLooping(qbool loop) override;
    void SetBuffer(std::int32_t) override {} // a stream's buffers are its own
    void Play() override;
    void Pause() override;
    void Stop() override;
    std::int32_t GetState() override;
    qbool SetOffset(float seconds) override;
    float GetOffset() override;

    void Feed();
    // Stops for good and lets go of the file and the buffers (qDoneOpenAL).
    void Shut();
    // Sample bytes the stream holds: those queued in OpenAL and its staging block.
    std::size_t SampleBytes() const;
    // Seconds queued ahead of what is playing.
    double QueuedSeconds() const;

private:
    ~TStream() override;
    bool Active() const;
    // Runs a step that reads the file: a failure stops the stream with its reason.
    template <typename Step>
    void Safely(Step&& step);
    void PlayNow();
    void StopNow();
    void FeedNow();
    bool Seek(float seconds);
    void Start();
    // Takes back the buffers that have played and queues them refilled.
    void Refill();
    // Fills `buffer` with the next piece and queues it; 0 frames when the sound is over.
    std::size_t FillBuffer(std::uint32_t buffer);
    void Rewind();
    void LoopToStart();
    // Stops the source and takes back every buffer.
    void Clear();
    // The frame playing now, counted as the buffers were queued.
    std::uint64_t PlayedFrame() const;

    struct Queued {
        std::uint32_t buffer;
        std::uint64_t startFrame;
        std::size_t frames;
    };
    std::unique_ptr<SoundReader> reader_;
    std::vector<std::uint32_t> buffers_;
    std::vector<std::uint32_t> free_;
    std::deque<Queued> queue_;
    std::vector<std::uint8_t> staging_;
    std::uint64_t nextFrame_ = 0;   // frames queued since the start (loops go on counting)
    std::uint64_t passFrames_ = 0;  // frames read in the reader's current pass
    std::uint64_t soundFrames_ = 0; // the sound's length, once a loop has found it
    bool looping_ = false;
    bool playing_ = false;
    bool paused_ = false;
    bool ended_ = false; // the reader has nothing more
};

// True when the library could be loaded; the device and context are opened
// (a device that cannot be opened leaves the module silent, not failed).
bool InitOpenAL(const std::string& libraryName);
void DoneOpenAL();
bool IsOpenALCreated();
// Leave the slot null before initialisation. CreateSound throws IoError when
// the file cannot be opened or read; the slot then stays null.
void CreateSound(ISound** slot, const std::string& fileName);
void CreateSource(ISource** slot);
// Throws IoError when the file cannot be opened or read; the slot then stays
// null. A content the readers refuse leaves the slot null and the reason.
void CreateStream(ISource** slot, const std::string& fileName);
// Keeps every stream's queue full; the main loop calls it once a pass.
void FeedStreams();
// False, with a reason, for a gain below 0 or not a number, or before initialisation.
bool SetListenerGain(float gain);
void ListenerPos(const TVec3D& position);
void ListenerVel(const TVec3D& velocity);
void ListenerOrientation(const TVec3D& at, const TVec3D& up);

} // namespace quelt
