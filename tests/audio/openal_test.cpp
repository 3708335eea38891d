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
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <quelt/quelt.h>

#include "SoundExports.h"
#include "c_interface.h"
#include "SoundRecording.h"

namespace {

using quelt::test::DominantFrequency;
using quelt::test::ReadRecording;
using quelt::test::Recording;
using quelt::test::Rms;
using quelt::test::WaitForRecorded;
using quelt::test::SoundStart;
using quelt::test::WriteTone;

constexpr const char* kOpenAL = "libopenal.so.1";
constexpr int kRate = quelt::test::kRecordingRate;

// ---- Engine and OpenAL bindings ----

using Exports = quelt::test::SoundExports;

// What the tests read back from OpenAL itself.
struct Probe {
    ALboolean (*alIsBuffer)(ALuint) = nullptr;
    ALboolean (*alIsSource)(ALuint) = nullptr;
    void (*alGetBufferi)(ALuint, ALenum, ALint*) = nullptr;
    void (*alGetSourcei)(ALuint, ALenum, ALint*) = nullptr;
};

void Wait(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// ---- Fixture ----

class OpenALSound : public testing::Test {
protected:
    static void SetUpTestSuite() {
        quelt::test::RecordThroughWaveDriver();

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
        std::filesystem::remove(quelt::test::RecordingPath());
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
        WaitForRecorded(0.6);
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
            WaitForRecorded(0.4);
            pause ? played.source->Pause() : played.source->Stop();
            ALuint name = 0;
            for (ALuint n = 1; n < 4096 && !name; ++n)
                if (al.alIsSource(n)) name = n;
            al.alGetSourcei(name, AL_SOURCE_STATE, &state);
            WaitForRecorded(0.7);
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
            WaitForRecorded(0.4);
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
            WaitForRecorded(0.8);
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

// ---- Beyond the classic interface ----

// The source's further controls, asked for as a program would.
ISourceControl* Control(ISource* source) {
    void* control = nullptr;
    EXPECT_EQ(source->QueryInterface(&IID_ISourceControl, &control), Q_OK);
    return static_cast<ISourceControl*>(control);
}

// Plays until the source is `seconds` into its sound.
void PlayUntil(ISourceControl* control, float seconds) {
    control->Play();
    while (control->GetState() == QSOURCE_PLAYING && control->GetOffset() < seconds) Wait(5);
}

TEST_F(OpenALSound, GainAndPitchAsRecorded) {
    WriteTone("gain.wav", 440, 3.0);
    struct Case {
        const char* name;
        float gain, pitch, listenerGain;
        double loudness, frequency; // loudness against the first row
    };
    const Case cases[] = {
        {"as recorded", 1, 1, 1, 1.0, 440},
        {"source gain 0.5", 0.5f, 1, 1, 0.5, 440},
        {"listener gain 0.5", 1, 1, 0.5f, 0.5, 440},
        {"pitch 2", 1, 2, 1, 1.0, 880},
        {"pitch 0.5", 1, 0.5f, 1, 1.0, 220},
    };
    double reference = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Recording r = Render([&] {
            Played played;
            ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "gain.wav"));
            ISourceControl* control = Control(played.source);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->SetGain(c.gain), 1);
            EXPECT_EQ(control->SetPitch(c.pitch), 1);
            EXPECT_EQ(q.qSetListenerGain(c.listenerGain), 1);
            PlayUntil(control, 0.6f * c.pitch);
            control->Release();
        });
        const std::size_t start = SoundStart(r);
        const std::size_t window = kRate / 4;
        ASSERT_GE(r.left.size(), start + window + kRate / 20) << "no sound long enough in the recording";
        // Past the first 50 ms, where the level may still be gliding.
        const double loudness = Rms(r.left, start + kRate / 20, start + kRate / 20 + window);
        if (reference == 0) reference = loudness;
        EXPECT_NEAR(loudness / reference, c.loudness, 0.05);
        EXPECT_NEAR(DominantFrequency(r.left, start + kRate / 20, window), c.frequency, 3.0);
    }
}

TEST_F(OpenALSound, ControlStatesOffsetsAndRefusals) {
    WriteTone("three.wav", 440, 3.0);
    ASSERT_EQ(q.qInitOpenAL(kOpenAL), 1);
    Played played;
    ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "three.wav"));
    ISourceControl* control = Control(played.source);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(static_cast<void*>(control), static_cast<void*>(played.source));
    struct Step {
        const char* name;
        std::function<qbool()> act; // its result, 1 for a slot with none
        qbool result;
        std::int32_t state;
        float lowest, highest; // offset
    };
    const auto done = [](auto&& slot) {
        return [slot] {
            slot();
            return qbool(1);
        };
    };
    const Step steps[] = {
        {"fresh", [] { return qbool(1); }, 1, QSOURCE_STOPPED, 0, 0},
        {"play", done([&] { control->Play(); }), 1, QSOURCE_PLAYING, 0, 0.5f},
        {"pause", done([&] { control->Pause(); }), 1, QSOURCE_PAUSED, 0, 0.5f},
        {"move while paused", [&] { return control->SetOffset(2.0f); }, 1, QSOURCE_PAUSED, 1.99f, 2.01f},
        {"resume", done([&] { control->Play(); }), 1, QSOURCE_PLAYING, 1.99f, 2.5f},
        {"stop", done([&] { control->Stop(); }), 1, QSOURCE_STOPPED, 0, 0},
        {"past the end", [&] { return control->SetOffset(3.5f); }, 0, QSOURCE_STOPPED, 0, 0},
        {"negative gain", [&] { return control->SetGain(-0.5f); }, 0, QSOURCE_STOPPED, 0, 0},
        {"gain not a number", [&] { return control->SetGain(std::nanf("")); }, 0, QSOURCE_STOPPED, 0, 0},
        {"pitch 0", [&] { return control->SetPitch(0.0f); }, 0, QSOURCE_STOPPED, 0, 0},
        {"negative rolloff", [&] { return control->SetRolloff(-1.0f); }, 0, QSOURCE_STOPPED, 0, 0},
        {"infinite distance", [&] { return control->SetReferenceDistance(INFINITY); }, 0, QSOURCE_STOPPED, 0, 0},
        {"listener gain -1", [&] { return q.qSetListenerGain(-1.0f); }, 0, QSOURCE_STOPPED, 0, 0},
        {"start at 2.9 s", [&] { return control->SetOffset(2.9f); }, 1, QSOURCE_STOPPED, 0, 0},
        {"play to the end", done([&] { PlayUntil(control, 10.0f); }), 1, QSOURCE_STOPPED, 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(step.act(), step.result);
        char* message = nullptr;
        EXPECT_EQ(q.qGetLastError(&message), step.result ? 0 : 1) << (message ? message : "");
        std::free(message);
        EXPECT_EQ(control->GetState(), step.state);
        EXPECT_GE(control->GetOffset(), step.lowest);
        EXPECT_LE(control->GetOffset(), step.highest);
    }
    control->Release();

    // A C caller reaches the same slots through the longer table.
    EXPECT_EQ(CheckSourceControlFromC(played.source), 0);
    q.qDoneOpenAL();
}

TEST_F(OpenALSound, RelativeSourcesFollowTheListener) {
    WriteTone("near.wav", 440, 2.0);
    for (const bool relative : {true, false}) {
        SCOPED_TRACE(relative ? "relative" : "in the scene");
        const Recording r = Render([&] {
            // Far off to the right of a source in the scene, which then sounds on the left.
            const TVec3D listener{50, 0, 0}, beside{2, 0, 0};
            q.qListenerPos(&listener);
            Played played;
            ASSERT_NO_FATAL_FAILURE(Prepare(q, played, "near.wav"));
            ISourceControl* control = Control(played.source);
            control->SetRelative(relative);
            control->SetPosition(&beside);
            PlayUntil(control, 0.4f);
            control->Release();
        });
        const std::size_t start = SoundStart(r);
        ASSERT_LT(start + kRate / 5, r.left.size()) << "the tone never sounded";
        const double left = Rms(r.left, start, start + kRate / 5), right = Rms(r.right, start, start + kRate / 5);
        if (relative)
            EXPECT_GT(right, 2 * left) << left << " / " << right;
        else
            EXPECT_GT(left, 2 * right) << left << " / " << right;
    }
}

TEST_F(OpenALSound, StreamsAnswerToBothInterfacesAndRefuseBadFiles) {
    ASSERT_EQ(q.qInitOpenAL(kOpenAL), 1);
    q.qGetLastError(nullptr);
    WriteTone("stream.wav", 440, 1.0);
    std::ofstream("text.wav") << "not a sound at all, only some text that is long enough";
    std::ofstream("short.ogg") << "OggS";
    struct Case {
        const char* file;
        const char* reason; // empty: a stream is made
    };
    const Case cases[] = {
        {"stream.wav", ""},
        {"missing.ogg", "No such file or directory"},
        {"text.wav", "\"text.wav\": WAV: not a WAV or Ogg Vorbis file"},
        {"short.ogg", "\"short.ogg\": Ogg: not an Ogg Vorbis stream, or its headers are damaged"},
        {".", "Not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ISource* stream = reinterpret_cast<ISource*>(&q);
        q.qCreateStream(&stream, c.file);
        char* message = nullptr;
        const bool failed = q.qGetLastError(&message);
        const std::string reason = message ? message : "";
        std::free(message);
        if (*c.reason) {
            EXPECT_EQ(stream, nullptr);
            EXPECT_TRUE(failed);
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
            continue;
        }
        ASSERT_NE(stream, nullptr) << reason;
        EXPECT_FALSE(failed) << reason;
        ISourceControl* control = Control(stream);
        ASSERT_NE(control, nullptr);
        stream->SetBuffer(1); // nothing: a stream's buffers are its own
        stream->Play();
        EXPECT_EQ(control->GetState(), QSOURCE_PLAYING);
        stream->Stop();
        EXPECT_EQ(control->GetState(), QSOURCE_STOPPED);
        EXPECT_EQ(control->Release(), 1);
        EXPECT_EQ(stream->Release(), 0);
    }
    q.qDoneOpenAL();
}

} // namespace
