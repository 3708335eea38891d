// SPDX-License-Identifier: Zlib
#include "SoundRecording.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace quelt::test {
namespace {

void PutLE(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back((value >> (8 * i)) & 0xFF);
}

std::uint32_t ReadLE(const std::vector<char>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

double GoertzelPower(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency) {
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / kRecordingRate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

} // namespace

std::string RecordingPath() { return (std::filesystem::current_path() / "rendered.wav").string(); }

std::size_t RecordedFrames() {
    std::error_code error;
    const auto size = std::filesystem::file_size(RecordingPath(), error);
    return error ? 0 : static_cast<std::size_t>(size / 8); // 32-bit float stereo
}

void WaitForRecorded(double seconds) {
    // One stdio buffer (4 KiB, 512 frames) may not have reached the file yet.
    const std::size_t until = RecordedFrames() + 512 + static_cast<std::size_t>(seconds * kRecordingRate);
    while (RecordedFrames() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void RecordThroughWaveDriver() {
    // OpenAL Soft reads these once, when it is first used in the process.
    const std::string conf = (std::filesystem::current_path() / "alsoft.conf").string();
    std::ofstream(conf) << "[wave]\nfile = " << RecordingPath() << "\n";
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
}

std::uint32_t WriteTone(const std::string& name, double frequency, double seconds, int channels) {
    const int frames = static_cast<int>(seconds * kRecordingRate);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < frames; ++i) {
        const double value = 0.5 * std::sin(2.0 * M_PI * frequency * i / kRecordingRate);
        for (int c = 0; c < channels; ++c)
            PutLE(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)), 2);
    }
    std::vector<std::uint8_t> file;
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    PutLE(file, static_cast<std::uint32_t>(36 + data.size()), 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(file, 16, 4);
    PutLE(file, 1, 2);
    PutLE(file, channels, 2);
    PutLE(file, kRecordingRate, 4);
    PutLE(file, kRecordingRate * channels * 2, 4);
    PutLE(file, channels * 2, 2);
    PutLE(file, 16, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    PutLE(file, static_cast<std::uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    return static_cast<std::uint32_t>(data.size());
}

Recording ReadRecording() {
    std::ifstream in(RecordingPath(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Recording recording;
    std::uint16_t channels = 0, bits = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = ReadLE(bytes, at + 4);
        const std::size_t body = at + 8;
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && body + 16 <= bytes.size()) {
            channels = static_cast<std::uint16_t>(ReadLE(bytes, body + 2));
            bits = static_cast<std::uint16_t>(ReadLE(bytes, body + 14));
        } else if (std::memcmp(&bytes[at], "data", 4) == 0 && channels == 2 && bits == 32) {
            const std::size_t end = std::min<std::size_t>(bytes.size(), body + size);
            for (std::size_t p = body; p + 8 <= end; p += 8) {
                float frame[2];
                std::memcpy(frame, &bytes[p], 8);
                recording.left.push_back(frame[0]);
                recording.right.push_back(frame[1]);
            }
        }
        at = body + size + (size & 1);
    }
    return recording;
}

double Rms(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size());
    if (from >= to) return 0.0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

std::size_t SoundStart(const Recording& r) {
    for (std::size_t i = 0; i < r.left.size(); ++i)
        if (std::fabs(r.left[i]) > 0.01f || std::fabs(r.right[i]) > 0.01f) return i;
    return r.left.size();
}

double DominantFrequency(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    double best = 0, bestPower = -1;
    for (double f = 50; f <= 4000; f += 1) {
        const double power = GoertzelPower(samples, from, count, f);
        if (power > bestPower) bestPower = power, best = f;
    }
    return best;
}

} // namespace quelt::test
