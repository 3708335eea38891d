// SPDX-License-Identifier: Zlib
// Positional sound through OpenAL, bound at run time from the library file
// the application names: the device and context, sound buffers made from WAV
// and Ogg Vorbis files, sources and the listener. One device per process.
#pragma once

#include <quelt/quelt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TInterfacedObject.h"

namespace quelt {

// What the sound readers hand OpenAL: 8- or 16-bit samples, mono or stereo.
// `format` is 0 when the file's encoding, channel count or depth has no
// reading; `hasData` is false when there is nothing to hand over (no format,
// no samples, a file too short or too damaged).
struct SoundData {
    std::int32_t format = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t frequency = 0;
    bool hasData = false;
};

// Readers of a file image already in memory; none reads outside
// [bytes, bytes + size). ParseSound takes an image starting "OggS" for Ogg
// Vorbis and anything else for WAV.
SoundData ParseSound(const std::uint8_t* bytes, std::size_t size);
SoundData ParseWav(const std::uint8_t* bytes, std::size_t size);
// Ogg Vorbis whose samples would take more than `maxBytes` is refused whole
// (no data, a reason for qGetLastError): before decoding when the length its
// stream states (its last page's position less its first audio page's) is
// larger, else as soon as decoding passes it. Without a limit, what
// OggSampleLimit allows.
SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size, std::uint64_t maxBytes);
SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size);
// The most sample bytes an Ogg file of `fileSize` bytes may decode to: 1024
// times its size (at least 16 MiB), and never more than 256 MiB, the cap for
// a whole-file sound (about 25 minutes of 44.1 kHz stereo; longer music is
// for streaming).
std::uint64_t OggSampleLimit(std::size_t fileSize);
// Reads a WAV or Ogg Vorbis file. Throws IoError "Cannot open file "<full
// path>". <reason>" when it cannot be opened or is not a regular file, and
// IoError when it is too large for a sound or reading it fails.
SoundData LoadWavFile(const std::string& fileName);

class TSound final : public TInterfacedObject<ISound> {
public:
    TSound();
    std::uint32_t GetBuffer() override { return buffer_; }

private:
    ~TSound() override;
    std::uint32_t buffer_ = 0;
    std::uint32_t generation_; // of the device that made the buffer
};

class TSource final : public TInterfacedObject<ISource> {
public:
    TSource();
    void SetPosition(const TVec3D* position) override;
    void SetVelocity(const TVec3D* velocity) override;
    void SetLooping(qbool loop) override;
    void SetBuffer(std::int32_t buffer) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    std::uint32_t Name() const { return source_; }

private:
    ~TSource() override;
    // False once the device that made the source is closed: its name may
    // then belong to another device's source.
    bool Live() const;
    std::uint32_t source_ = 0;
    std::uint32_t generation_;
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
void ListenerPos(const TVec3D& position);
void ListenerVel(const TVec3D& velocity);
void ListenerOrientation(const TVec3D& at, const TVec3D& up);

} // namespace quelt
