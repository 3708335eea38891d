// SPDX-License-Identifier: Zlib
// Streams for real, through the core: OpenAL Soft renders into a WAV file
// (its "wave" driver) as the test feeds the streams by hand, as the main loop
// would once a pass. Waits are for rendered samples (the recording growing),
// never for a length of time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "QCore.h"
#include "QOpenAL.h"
#include "QUtils.h"
#include "SData.h"
#include "QWin.h"
#include "SoundRecording.h"

namespace {

namespace test = quelt::test;
using test::RecordedFrames;
constexpr int kRate = test::kRecordingRate;

void Sox(const std::string& arguments) {
    ASSERT_EQ(std::system(("sox -n " + arguments + " 2>/dev/null").c_str()), 0) << arguments;
}

// Calls `pass` until the recording holds `seconds` more than when called.
template <typename Pass>
void WhileRecording(double seconds, Pass&& pass) {
    const std::size_t until = RecordedFrames() + static_cast<std::size_t>(seconds * kRate);
    while (RecordedFrames() < until) {
        pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct Stream {
    ISource* source = nullptr;
    ~Stream() {
        if (source) source->Release();
    }
    quelt::TStream* operator->() const { return static_cast<quelt::TStream*>(source); }
};

class SoundStream : public testing::Test {
protected:
    static void SetUpTestSuite() {
        test::RecordThroughWaveDriver();
        Sox("-r 44100 -c 2 -b 16 music.wav synth 10 sine 440");
        Sox("-r 44100 -c 2 music.ogg synth 10 sine 440");
        // Ten minutes, kept small to encode quickly.
        Sox("-r 11025 -c 1 long.ogg synth 600 sine 440");
        // 100 whole periods of 441 Hz: a seamless loop sounds as one tone.
        test::WriteTone("loop.wav", 441, 10000.5 / kRate);
    }

    void SetUp() override {
        std::filesystem::remove(test::RecordingPath());
        ASSERT_TRUE(quelt::InitOpenAL("libopenal.so.1"));
    }
    void TearDown() override { quelt::DoneOpenAL(); }

    static void Open(Stream& stream, const std::string& file) {
        quelt::CreateStream(&stream.source, file);
        ASSERT_NE(stream.source, nullptr) << file;
    }
};

// Every 10 ms window from `from` to `to` seconds after the sound starts is
// as loud as the tone, and no sample jumps further than the tone's slope
// allows (a gap or a click would).
void ExpectUnbroken(const test::Recording& r, double from, double to, double frequency) {
    const std::size_t start = test::SoundStart(r);
    const auto at = [&](double seconds) { return start + static_cast<std::size_t>(seconds * kRate); };
    ASSERT_GT(r.left.size(), at(to)) << "the recording is too short";
    const double rms = test::Rms(r.left, at(from), at(to));
    ASSERT_GT(rms, 0.05);
    for (std::size_t w = at(from); w + kRate / 100 <= at(to); w += kRate / 100)
        ASSERT_GT(test::Rms(r.left, w, w + kRate / 100), 0.7 * rms) << "quiet at " << double(w - start) / kRate << " s";
    const double largestStep = rms * std::sqrt(2.0) * 2 * M_PI * frequency / kRate;
    for (std::size_t i = at(from); i + 1 < at(to); ++i)
        ASSERT_LT(std::fabs(r.left[i + 1] - r.left[i]), 1.3 * largestStep) << "a jump at " << double(i - start) / kRate << " s";
}

TEST_F(SoundStream, HoldsAFewBuffersWhateverItsLength) {
    struct Case {
        const char* file;
        float startAt; // seconds
        std::size_t wholeBytes; // the samples decoded whole
    };
    const Case cases[] = {
        {"music.wav", 0, 10 * kRate * 4},
        {"music.ogg", 0, 10 * kRate * 4},
        // From near its end, looping round to its start.
        {"long.ogg", 599.5f, 600 * 11025 * 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Stream stream;
        ASSERT_NO_FATAL_FAILURE(Open(stream, c.file));
        stream->SetLooping(1);
        ASSERT_TRUE(stream->SetOffset(c.startAt));
        stream->Play();
        std::size_t peak = 0;
        WhileRecording(1.0, [&] {
            quelt::FeedStreams();
            peak = std::max(peak, stream->SampleBytes());
        });
        EXPECT_EQ(stream->GetState(), QSOURCE_PLAYING);
        EXPECT_GT(peak, 0u);
        EXPECT_LE(peak, std::size_t{400} << 10);
        EXPECT_LT(peak, c.wholeBytes / 4);
        if (c.startAt > 0) {
            EXPECT_LT(stream->GetOffset(), 5.0f) << "looped round to the start";
        }
    }
}

TEST_F(SoundStream, LoopsWithoutAGapOrClick) {
    Stream stream;
    ASSERT_NO_FATAL_FAILURE(Open(stream, "loop.wav"));
    stream->SetLooping(1);
    stream->Play();
    // The sound is 0.23 s long: four times round.
    WhileRecording(1.0, [] { quelt::FeedStreams(); });
    quelt::DoneOpenAL();
    ExpectUnbroken(test::ReadRecording(), 0.05, 0.9, 441);
}

TEST_F(SoundStream, LoopingAskedForWhenTheWholeSoundIsQueuedStillLoops) {
    Stream stream;
    ASSERT_NO_FATAL_FAILURE(Open(stream, "loop.wav"));
    stream->Play(); // 0.23 s: read to its end by the first fill
    stream->SetLooping(1);
    WhileRecording(1.0, [] { quelt::FeedStreams(); });
    quelt::DoneOpenAL();
    ExpectUnbroken(test::ReadRecording(), 0.05, 0.9, 441);
}

TEST_F(SoundStream, ASecondWithoutFeedingLeavesNoGap) {
    Stream stream;
    ASSERT_NO_FATAL_FAILURE(Open(stream, "music.wav"));
    stream->Play();
    double leastQueued = 1e9;
    WhileRecording(0.3, [&] {
        quelt::FeedStreams();
        leastQueued = std::min(leastQueued, stream->QueuedSeconds());
    });
    EXPECT_GT(leastQueued, 1.0) << "seconds queued after a refill";
    WhileRecording(1.0, [] {}); // the main loop stalls
    WhileRecording(1.0, [] { quelt::FeedStreams(); });
    quelt::DoneOpenAL();
    ExpectUnbroken(test::ReadRecording(), 0.05, 2.0, 440);
}

TEST_F(SoundStream, EndsAndStopsCleanly) {
    // Cut inside its samples: plays what there is, then stops.
    const quelt::FileBytes whole = quelt::ReadRegularFile("music.ogg", 1 << 30);
    ASSERT_EQ(whole.outcome, quelt::FileBytes::Outcome::Read);
    std::ofstream("cut.ogg", std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.bytes.data()), static_cast<std::streamsize>(whole.bytes.size() * 3 / 10));
    Stream cut, music;
    ASSERT_NO_FATAL_FAILURE(Open(cut, "cut.ogg"));
    ASSERT_NO_FATAL_FAILURE(Open(music, "music.ogg"));
    cut->Play();
    music->Play();
    while (cut->GetState() == QSOURCE_PLAYING) WhileRecording(0.05, [] { quelt::FeedStreams(); });
    EXPECT_EQ(cut->GetOffset(), 0.0f);
    EXPECT_EQ(music->GetState(), QSOURCE_PLAYING);

    // Closing the device stops every stream and lets go of its file.
    quelt::DoneOpenAL();
    EXPECT_EQ(music->GetState(), QSOURCE_STOPPED);
    EXPECT_EQ(music->SampleBytes(), 0u);
    music->Play();
    quelt::FeedStreams();
    EXPECT_EQ(music->GetState(), QSOURCE_STOPPED);
    EXPECT_FALSE(music->SetGain(0.5f));
    std::string reason;
    EXPECT_TRUE(quelt::TakeLastError(reason));
    EXPECT_NE(reason.find("closed"), std::string::npos) << reason;
}

// The program never feeds: the main loop does, on every pass, through a
// render procedure that stalls for a whole second of sound once.
TEST_F(SoundStream, TheMainLoopFeedsStreamsThroughAStall) {
    ASSERT_TRUE(quelt::CreateWindow()) << "needs a display (run under xvfb-run)";
    Stream stream;
    ASSERT_NO_FATAL_FAILURE(Open(stream, "music.ogg"));
    stream->Play();
    static std::size_t passes, stallAt, endAt;
    passes = 0;
    stallAt = RecordedFrames() + kRate / 2;
    endAt = stallAt + 2 * kRate;
    quelt::SetProcAdress(PROC_RENDER, [] {
        ++passes;
        if (stallAt != 0 && RecordedFrames() >= stallAt) {
            stallAt = 0;
            WhileRecording(1.0, [] {});
        }
        if (RecordedFrames() >= endAt) quelt::StopMainLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    quelt::StartMainLoop();
    quelt::SetProcAdress(PROC_RENDER, nullptr);
    quelt::KillWindow();
    EXPECT_EQ(stallAt, 0u) << "the loop never stalled";
    EXPECT_EQ(stream->GetState(), QSOURCE_PLAYING);
    quelt::DoneOpenAL();
    ExpectUnbroken(test::ReadRecording(), 0.05, 2.2, 440);
}

} // namespace
