// Positional sound through OpenAL, bound at run time from the library file
// the application names: the device and context, sound buffers made from WAV
// files, sources and the listener. One device per process.
#pragma once

#include <quelt/quelt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TInterfacedObject.h"

namespace quelt {

// What the WAV reader hands OpenAL. `format` is 0 when the channel count and
// bit depth match no OpenAL format; `hasData` is false when there is nothing
// to hand over (no format, no "data" chunk, a file too short for its header).
struct WavData {
    std::int32_t format = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t frequency = 0;
    bool hasData = false;
};

// Reads a WAV image already in memory. Never reads outside [bytes, bytes + size).
WavData ParseWav(const std::uint8_t* bytes, std::size_t size);
// Reads a WAV file. Throws IoError "Cannot open file "<full path>". <reason>"
// when it cannot be opened, and IoError when reading it fails.
WavData LoadWavFile(const std::string& fileName);

class TSound final : public TInterfacedObject<ISound> {
public:
    TSound();
    std::uint32_t GetBuffer() override { return buffer_; }

private:
    ~TSound() override;
    std::uint32_t buffer_ = 0;
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
    std::uint32_t source_ = 0;
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
