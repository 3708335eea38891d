// SPDX-License-Identifier: Zlib
// What the sound readers hand OpenAL, and how a reader is picked: a whole
// file decoded into one buffer (SoundData), or a file read piece by piece
// for a stream (SoundReader). WAV and Ogg Vorbis, told apart by content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quelt {

// A RIFF file is its 8-byte header plus at most 2^32 - 1 bytes; the same
// bound refuses an Ogg file whose samples could never fit one buffer.
inline constexpr std::uint64_t kMaxSoundFileSize = 8 + std::uint64_t{0xFFFFFFFF};
// What one OpenAL buffer can take (its size is an ALsizei).
inline constexpr std::uint64_t kMaxSampleBytes = 0x7FFFFFFF;

// 8- or 16-bit samples, mono or stereo. `format` is 0 when the file's
// encoding, channel count or depth has no reading; `hasData` is false when
// there is nothing to hand over (no format, no samples, a file too short or
// too damaged).
struct SoundData {
    std::int32_t format = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t frequency = 0;
    bool hasData = false;
};

// The OpenAL format of mono or stereo 8- or 16-bit samples; 0 for anything else.
std::int32_t SoundFormat(std::uint16_t channels, std::uint16_t bits);
// Leaves `cause` for qGetLastError and hands back `sound` as it stands.
SoundData Refused(SoundData sound, const std::string& cause);
// Bytes of one frame (a sample of every channel) of an OpenAL format; 0 for 0.
std::uint32_t FrameBytes(std::int32_t format);

// A sound's samples handed over piece by piece, so that a long file is never
// held whole.
class SoundReader {
public:
    SoundReader() = default;
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;
    virtual ~SoundReader() = default;

    std::int32_t Format() const { return format_; }
    std::uint32_t Frequency() const { return frequency_; }
    // Up to `capacity` bytes of whole frames; 0 once the samples are over (or
    // the rest of the file cannot be read). Throws IoError when the file fails.
    virtual std::size_t Read(std::uint8_t* into, std::size_t capacity) = 0;
    // Back to the first sample: false, with a reason, when the file no longer reads.
    virtual bool Rewind() = 0;

protected:
    std::int32_t format_ = 0;
    std::uint32_t frequency_ = 0;
};

// Readers of a file image already in memory; none reads outside
// [bytes, bytes + size). An image starting "OggS" is read as Ogg Vorbis,
// anything else as WAV.
SoundData ParseSound(const std::uint8_t* bytes, std::size_t size);
// Reads a WAV or Ogg Vorbis file. Throws IoError "Cannot open file "<full
// path>". <reason>" when it cannot be opened or is not a regular file, and
// IoError when it is too large for a sound or reading it fails.
SoundData LoadWavFile(const std::string& fileName);
// Opens a WAV or Ogg Vorbis file to be read piece by piece. Throws IoError
// as LoadWavFile does; null, with a reason naming the file, when its content
// is refused.
std::unique_ptr<SoundReader> OpenSoundStream(const std::string& fileName);

} // namespace quelt
