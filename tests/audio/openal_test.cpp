// SPDX-License-Identifier: Zlib
// Sound for real: OpenAL Soft renders into a WAV file (its "wave" driver),
// which is read back and analysed once the device is closed. The engine is
// used through libQuelt.so's exports; OpenAL's own state is read through the
// same OpenAL library the engine loaded.
#include <gtest/gtest.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <quelt/quelt.h>

#include "SoundExports.h"

namespace {

constexpr const char* kOpenAL = "libopenal.so.1";
constexpr int kRate = 44100;

// ---- Engine and OpenAL bindings ----

using Exports = quelt::test::SoundExports;

// What the tests read back from OpenAL itself.
struct Probe {
    ALboolean (*alIsBuffer)(ALuint) = nullptr;
    ALboolean (*alIsSource)(ALuint) = nullptr;
    void (*alGetBufferi)(ALuint, ALenum, ALint*) = nullptr;
    void (*alGetSourcei)(ALuint, ALenum, ALint*) = nullptr;
};

std::string OutputPath() { return (std::filesystem::current_path() / "rendered.wav").string(); }

// ---- Sound files ----

void PutLE(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back((value >> (8 * i)) & 0xFF);
}

// A 16-bit PCM WAV of a sine tone; returns the size of its "data" chunk.
std::uint32_t WriteTone(const std::string& name, double frequency, double seconds, int channels = 1) {
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < frames; ++i) {
        const double value = 0.5 * std::sin(2.0 * M_PI * frequency * i / kRate);
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
    PutLE(file, kRate, 4);
    PutLE(file, kRate * channels * 2, 4);
    PutLE(file, channels * 2, 2);
    PutLE(file, 16, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    PutLE(file, static_cast<std::uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    return static_cast<std::uint32_t>(data.size());
}

// The driver's output: 32-bit float stereo.
struct Recording {
    std::vector<float> left, right;
    double Seconds(std::size_t frames) const { return static_cast<double>(frames) / kRate; }
};

std::uint32_t ReadLE(const std::vector<char>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

Recording ReadRecording() {
    std::ifstream in(OutputPath(), std::ios::binary);
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

// First frame of audible sound, or the length when there is none.
std::size_t SoundStart(const Recording& r) {
    for (std::size_t i = 0; i < r.left.size(); ++i)
        if (std::fabs(r.left[i]) > 0.01f || std::fabs(r.right[i]) > 0.01f) return i;
    return r.left.size();
}

double GoertzelPower(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency) {
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / kRate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double DominantFrequency(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    double best = 0, bestPower = -1;
    for (double f = 50; f <= 4000; f += 1) {
        const double power = GoertzelPower(samples, from, count, f);
        if (power > bestPower) bestPower = power, best = f;
    }
    return best;
}

void Wait(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// ---- Fixture ----

class OpenALSound : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // OpenAL Soft reads these once, when it is first used in the process.
        const std::string conf = (std::filesystem::current_path() / "alsoft.conf").string();
        std::ofstream(conf) << "[wave]\nfile = " << OutputPath() << "\n";
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        setenv("ALSOFT_DRIVERS", "wave", 1);

        engine_ = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(engine_, nullptr) << dlerror();
        ASSERT_NO_FATAL_FAILURE(q.Bind(engine_));
        createdAtStart_ = q.isOpenALCreated();

        openal_ = dlopen(kOpenAL, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(openal_, nullptr) << dlerror();
        quelt::test::BindSymbol(openal_, al.alIsBuffer, "alIsBuffer");
        quelt::test::BindSymbol(openal_, al.alIsSource, "alIsSource");
        quelt::test::BindSymbol(openal_, al.alGetBufferi, "alGetBufferi");
        quelt::test::BindSymbol(openal_, al.alGetSourcei, "alGetSourcei");
    }

    void SetUp() override {
        ASSERT_NE(engine_, nullptr);
        ASSERT_NE(openal_, nullptr);
    }

    // Opens the device, lets `body` play, closes it and returns what was rendered.
    template <typename Body>
    Recording Render(Body&& body) {
        std::filesystem::remove(OutputPath());
        EXPECT_EQ(q.qInitOpenAL(kOpenAL), 1);
        body();
        q.qDoneOpenAL();
        return ReadRecording();
    }

    // Live buffers and sources among the names OpenAL hands out first.
    int LiveBuffers() {
        int live = 0;
        for (ALuint name = 1; name < 4096; ++name) live += al.alIsBuffer(name) ? 1 : 0;
        return live;
    }
    int LiveSources() {
        int live = 0;
        for (ALuint name = 1; name < 4096; ++name) live += al.alIsSource(name) ? 1 : 0;
        return live;
    }

    static inline Exports q;
    static inline Probe al;
    static inline void* engine_ = nullptr;
    static inline void* openal_ = nullptr;
    static inline qbool createdAtStart_ = 2;
};

struct Played {
    ISound* sound = nullptr;
    ISource* source = nullptr;
    ~Played() {
        if (source) source->Release();
        if (sound) sound->Release();
    }
};

// Creates a sound from `file` and a source playing it.
void Prepare(const Exports& q, Played& played, const std::string& file) {
    q.qCreateSound(&played.sound, file.c_str());
    q.qCreateSource(&played.source);
    ASSERT_NE(played.sound, nullptr);
    ASSERT_NE(played.source, nullptr);
    played.source->SetBuffer(static_cast<std::int32_t>(played.sound->GetBuffer()));
}

// ---- Tests ----

TEST_F(OpenALSound, CreatedFlagAndBufferContents) {
    // Read before any test opened the device: the flag is process-wide and nothing clears it.
    EXPECT_EQ(createdAtStart_, 0);
    ASSERT_EQ(q.qInitOpenAL(kOpenAL), 1);
    EXPECT_EQ(q.isOpenALCreated(), 1);

    const std::uint32_t size = WriteTone("stereo.wav", 440, 0.1, 2);
    ISound* sound = nullptr;
    q.qCreateSound(&sound, "stereo.wav");
    ASSERT_NE(sound, nullptr);
    const ALuint buffer = sound->GetBuffer();
    EXPECT_TRUE(al.alIsBuffer(buffer));
    ALint value = 0;
    al.alGetBufferi(buffer, AL_SIZE, &value);
    EXPECT_EQ(value, static_cast<ALint>(size));
    al.alGetBufferi(buffer, AL_FREQUENCY, &value);
    EXPECT_EQ(value, kRate);
    al.alGetBufferi(buffer, AL_CHANNELS, &value);
    EXPECT_EQ(value, 2);
    al.alGetBufferi(buffer, AL_BITS, &value);
    EXPECT_EQ(value, 16);
    EXPECT_EQ(sound->Release(), 0);
    EXPECT_FALSE(al.alIsBuffer(buffer)) << "the last reference deletes the buffer";

    q.qDoneOpenAL();
    EXPECT_EQ(q.isOpenALCreated(), 1);
    EXPECT_EQ(q.qInitOpenAL("libquelt-no-such-openal.so.1"), 0);
    EXPECT_EQ(q.isOpenALCreated(), 1);
}

TEST_F(OpenALSound, ObjectsLiveAsLongAsTheirReferences) {
    ASSERT_EQ(q.qInitOpenAL(kOpenAL), 1);
    WriteTone("short.wav", 440, 0.05);
    const int buffersBefore = LiveBuffers(), sourcesBefore = LiveSources();

    ISound* sound = nullptr;
    ISource* source = nullptr;
    q.qCreateSound(&sound, "short.wav");
    q.qCreateSource(&source);
    ASSERT_NE(sound, nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(LiveBuffers(), buffersBefore + 1);
    EXPECT_EQ(LiveSources(), sourcesBefore + 1);

    // A second reference keeps them alive after the first is released.
    EXPECT_EQ(sound->AddRef(), 2);
    EXPECT_EQ(source->AddRef(), 2);
    EXPECT_EQ(sound->Release(), 1);
    EXPECT_EQ(source->Release(), 1);
    EXPECT_EQ(LiveBuffers(), buffersBefore + 1);
    EXPECT_EQ(LiveSources(), sourcesBefore + 1);

    // Queried for the base interface, each answers with itself and a new reference.
    void* same = nullptr;
    const QGUID unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_EQ(sound->QueryInterface(&unknown, &same), 0);
    EXPECT_EQ(same, sound);
    EXPECT_EQ(sound->Release(), 1);

    EXPECT_EQ(sound->Release(), 0);
    EXPECT_EQ(source->Release(), 0);
    EXPECT_EQ(LiveBuffers(), buffersBefore);
    EXPECT_EQ(LiveSources(), sourcesBefore);

    // A file that cannot be opened: no sound, no leftover buffer, and the message.
    sound = reinterpret_cast<ISound*>(&q);
    q.qCreateSound(&sound, "no-such-sound.wav");
    EXPECT_EQ(sound, nullptr);
    EXPECT_EQ(LiveBuffers(), buffersBefore);
    char* message = nullptr;
    EXPECT_EQ(q.qGetLastError(&message), 1);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message), "Cannot open file \"" +
                                        (std::filesystem::current_path() / "no-such-sound.wav").string() +
                                        "\". No such file or directory");
    std::free(message);

    // References the application still holds when the device closes die quietly.
    q.qCreateSound(&sound, "short.wav");
    q.qCreateSource(&source);
    ASSERT_NE(sound, nullptr);
    ASSERT_NE(source, nullptr);
    q.qDoneOpenAL();
    source->Play();
    EXPECT_EQ(source->Release(), 0);
    EXPECT_EQ(sound->Release(), 0);
}

TEST_F(OpenALSound, PlaysA440HzTone) {
    WriteTone("tone.wav", 440, 2.0);
    const Recording r = Render([&] {
        Played played;
        ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "tone.wav"));
        played.source->Play();
        Wait(600);
    });
    const std::size_t start = SoundStart(r);
    const std::size_t window = kRate / 4;
    ASSERT_GE(r.left.size(), start + window) << "no sound long enough in the recording";
    EXPECT_NEAR(DominantFrequency(r.left, start, window), 440.0, 3.0);
    EXPECT_NEAR(DominantFrequency(r.right, start, window), 440.0, 3.0);
}

TEST_F(OpenALSound, PauseAndStopSilenceTheSource) {
    WriteTone("long.wav", 440, 3.0);
    for (const bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "Pause" : "Stop");
        ALint state = 0;
        const Recording r = Render([&] {
            Played played;
            ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "long.wav"));
            played.source->Play();
            Wait(400);
            pause ? played.source->Pause() : played.source->Stop();
            ALuint name = 0;
            for (ALuint n = 1; n < 4096 && !name; ++n)
                if (al.alIsSource(n)) name = n;
            al.alGetSourcei(name, AL_SOURCE_STATE, &state);
            Wait(700);
        });
        EXPECT_EQ(state, pause ? AL_PAUSED : AL_STOPPED);
        const std::size_t start = SoundStart(r);
        ASSERT_LT(start, r.left.size()) << "the tone never sounded";
        EXPECT_GT(Rms(r.left, start, start + kRate / 10), 0.05);
        // The tone would run three seconds; the last 300 ms must be silent.
        ASSERT_GT(r.left.size(), start + kRate / 2);
        const std::size_t tail = r.left.size() - kRate * 3 / 10;
        EXPECT_LT(Rms(r.left, tail, r.left.size()), 1e-4);
        EXPECT_LT(Rms(r.right, tail, r.right.size()), 1e-4);
    }
}

TEST_F(OpenALSound, SourcesToTheRightAreLouderOnTheRight) {
    WriteTone("mono.wav", 440, 2.0);
    struct Case {
        const char* name;
        TVec3D at, up, position;
        bool rightLouder;
    };
    const Case cases[] = {
        {"facing -z, source at +x", {0, 0, -1}, {0, 1, 0}, {2, 0, 0}, true},
        {"facing -z, source at -x", {0, 0, -1}, {0, 1, 0}, {-2, 0, 0}, false},
        // Turned round, +x is on the left.
        {"facing +z, source at +x", {0, 0, 1}, {0, 1, 0}, {2, 0, 0}, false},
        // Upside down, +x is on the left again: the up vector is read too.
        {"facing -z upside down, source at +x", {0, 0, -1}, {0, -1, 0}, {2, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Recording r = Render([&] {
            const TVec3D origin{0, 0, 0};
            q.qListenerPos(&origin);
            q.qListenerOrientation(&c.at, &c.up);
            Played played;
            ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "mono.wav"));
            played.source->SetPosition(&c.position);
            played.source->Play();
            Wait(400);
        });
        const std::size_t start = SoundStart(r);
        ASSERT_LT(start + kRate / 5, r.left.size()) << "the tone never sounded";
        const double left = Rms(r.left, start, start + kRate / 5);
        const double right = Rms(r.right, start, start + kRate / 5);
        if (c.rightLouder)
            EXPECT_GT(right, 2 * left) << left << " / " << right;
        else
            EXPECT_GT(left, 2 * right) << left << " / " << right;
    }
}

TEST_F(OpenALSound, LoopingKeepsSoundingPastTheSampleLength) {
    WriteTone("blip.wav", 440, 0.15);
    for (const bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        const Recording r = Render([&] {
            Played played;
            ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "blip.wav"));
            played.source->SetLooping(loop);
            played.source->Play();
            Wait(800);
        });
        const std::size_t start = SoundStart(r);
        ASSERT_LT(start, r.left.size()) << "the tone never sounded";
        ASSERT_GT(r.left.size(), start + kRate * 6 / 10);
        // Well past the 150 ms sample: 400 to 550 ms after the start.
        const double late = Rms(r.left, start + kRate * 4 / 10, start + kRate * 55 / 100);
        if (loop)
            EXPECT_GT(late, 0.05);
        else
            EXPECT_LT(late, 1e-4);
    }
}

} // namespace
