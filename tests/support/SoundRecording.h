// SPDX-License-Identifier: Zlib
// Sound tests record through OpenAL Soft's "wave" driver, which renders into
// a WAV file: the set-up that points it there, the recording read back, and
// the measures taken on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quelt::test {

inline constexpr int kRecordingRate = 44100;

// "rendered.wav" in the working folder.
std::string RecordingPath();
// Points OpenAL Soft at the wave driver and RecordingPath(); call before
// OpenAL is first used in the process.
void RecordThroughWaveDriver();

// Frames the driver has written to RecordingPath() so far (its header counted
// as a few; up to one stdio buffer lags behind).
std::size_t RecordedFrames();
// Returns once the recording holds `seconds` more than when called: a wait
// for rendered sound, which a loaded machine slows but cannot cut short.
void WaitForRecorded(double seconds);

// A 16-bit PCM WAV of a sine tone at 44.1 kHz, amplitude 0.5; returns the
// size of its "data" chunk.
std::uint32_t WriteTone(const std::string& name, double frequency, double seconds, int channels = 1);

// The driver's output: 32-bit float stereo.
struct Recording {
    std::vector<float> left, right;
};
Recording ReadRecording();

double Rms(const std::vector<float>& samples, std::size_t from, std::size_t to);
// First frame of audible sound, or the length when there is none.
std::size_t SoundStart(const Recording& recording);
// The strongest frequency from 50 to 4000 Hz, to 1 Hz.
double DominantFrequency(const std::vector<float>& samples, std::size_t from, std::size_t count);

} // namespace quelt::test
