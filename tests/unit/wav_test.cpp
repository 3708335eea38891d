// SPDX-License-Identifier: Zlib
// The WAV reader: header fields, the chunk walk, and files that lie about
// their sizes or end early.
#include <gtest/gtest.h>

#include <AL/al.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QUtils.h"
#include "TOggLoader.h"
#include "TSoundLib.h"
#include "TWavLoader.h"
#include "TestFiles.h"

namespace {

namespace test = quelt::test;
using test::Bytes;

void PutWord(Bytes& out, std::uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
}

void PutDWord(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}

void PutId(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

void PutChunk(Bytes& out, const char* id, const Bytes& body) {
    PutId(out, id);
    PutDWord(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

// RIFF header and a format chunk of `fmtSize` bytes (16 plus `fmtSize - 16`
// extra bytes filled with 0xEE, so reading from the wrong place shows).
Bytes Header(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t fmtSize = 16) {
    Bytes out;
    PutId(out, "RIFF");
    PutDWord(out, 0); // never checked
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    PutDWord(out, fmtSize);
    PutWord(out, 1);
    PutWord(out, channels);
    PutDWord(out, rate);
    PutDWord(out, rate * channels * bits / 8);
    PutWord(out, static_cast<std::uint16_t>(channels * bits / 8));
    PutWord(out, bits);
    for (std::uint32_t i = 16; i < fmtSize; ++i) out.push_back(0xEE);
    return out;
}

Bytes Samples(std::size_t count, std::uint8_t first) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + i * 7);
    return out;
}

quelt::SoundData Parse(const Bytes& bytes) { return quelt::ParseWav(bytes.data(), bytes.size()); }

TEST(WavReader, FormatTableAndExactDataFromTheDataChunk) {
    struct Row {
        std::uint16_t channels, bits;
        std::int32_t format;
    };
    const Row rows[] = {{1, 8, AL_FORMAT_MONO8},
                        {1, 16, AL_FORMAT_MONO16},
                        {2, 8, AL_FORMAT_STEREO8},
                        {2, 16, AL_FORMAT_STEREO16}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.channels << " channels, " << row.bits << " bits");
        Bytes file = Header(row.channels, 44100, row.bits);
        const Bytes samples = Samples(64, 3);
        PutChunk(file, "data", samples);
        const quelt::SoundData wav = Parse(file);
        EXPECT_EQ(wav.format, row.format);
        EXPECT_EQ(wav.frequency, 44100u);
        EXPECT_TRUE(wav.hasData);
        EXPECT_EQ(wav.data, samples);
    }
}

TEST(WavReader, EightBitDataIsExactlyTheChunkNotOneByteMore) {
    Bytes file = Header(1, 22050, 8);
    const Bytes samples = Samples(5, 0x80);
    PutChunk(file, "data", samples);
    file.push_back(0x99); // pad byte, then trailing garbage
    file.push_back(0x42);
    const quelt::SoundData wav = Parse(file);
    EXPECT_EQ(wav.format, AL_FORMAT_MONO8);
    EXPECT_EQ(wav.frequency, 22050u);
    EXPECT_EQ(wav.data, samples);
}

TEST(WavReader, ChunkWalkFollowsFormatSizeAndSkipsOtherChunks) {
    // An 18-byte format chunk: the chunks start two bytes later, at 38.
    {
        Bytes file = Header(2, 48000, 16, 18);
        ASSERT_EQ(file.size(), 38u);
        const Bytes samples = Samples(16, 1);
        PutChunk(file, "data", samples);
        const quelt::SoundData wav = Parse(file);
        EXPECT_EQ(wav.format, AL_FORMAT_STEREO16);
        EXPECT_EQ(wav.frequency, 48000u);
        EXPECT_EQ(wav.data, samples);
    }
    // A LIST chunk whose body spells "data" is skipped whole by its size.
    {
        Bytes file = Header(1, 8000, 16);
        Bytes list;
        PutId(list, "INFO");
        PutChunk(list, "data", Samples(6, 0xA0));
        PutChunk(file, "LIST", list);
        const Bytes samples = Samples(10, 9);
        PutChunk(file, "data", samples);
        EXPECT_EQ(Parse(file).data, samples);
    }
}

TEST(WavReader, OddChunkIsFollowedWithOrWithoutItsPadByte) {
    // After a 15-byte LIST: the zero pad RIFF asks for, none, a non-zero one.
    for (const Bytes& pad : {Bytes{0}, Bytes{}, Bytes{0x7F}}) {
        Bytes file = Header(1, 8000, 8), list;
        PutId(list, "INFO");
        PutChunk(list, "ICMT", Bytes{'a', 'b', 'c'});
        PutChunk(file, "LIST", list);
        file.insert(file.end(), pad.begin(), pad.end());
        const Bytes samples = Samples(9, 5);
        PutChunk(file, "data", samples);
        EXPECT_EQ(Parse(file).data, samples) << pad.size();
    }
}

TEST(WavReader, FloatSamplesClipAndNaNIsSilence) {
    Bytes file = Header(1, 8000, 32);
    file[20] = 3;
    Bytes samples;
    for (float v : {0.5f, -1.0f, 2.0f, -3.0f, std::nanf("")}) test::PutF32(samples, v);
    PutChunk(file, "data", samples);
    Bytes expected;
    for (std::int16_t v : {16384, -32768, 32767, -32768, 0}) PutWord(expected, static_cast<std::uint16_t>(v));
    EXPECT_EQ(Parse(file).data, expected);
}

TEST(WavReader, LastDataChunkWins) {
    Bytes file = Header(2, 44100, 16);
    PutChunk(file, "data", Samples(8, 1));
    PutChunk(file, "LIST", Samples(4, 2));
    const Bytes last = Samples(12, 77);
    PutChunk(file, "data", last);
    EXPECT_EQ(Parse(file).data, last);
}

TEST(WavReader, NoUsableDataGivesASoundWithoutData) {
    // Channel counts and depths outside the table.
    for (auto [channels, bits] : {std::pair<int, int>{1, 12}, {6, 16}, {0, 8}, {2, 64}}) {
        Bytes file = Header(static_cast<std::uint16_t>(channels), 44100, static_cast<std::uint16_t>(bits));
        PutChunk(file, "data", Samples(24, 0));
        const quelt::SoundData wav = Parse(file);
        EXPECT_EQ(wav.format, 0) << channels << "/" << bits;
        EXPECT_FALSE(wav.hasData);
        EXPECT_TRUE(wav.data.empty());
    }
    // A valid format but no "data" chunk at all.
    Bytes file = Header(2, 44100, 16);
    PutChunk(file, "LIST", Samples(20, 0));
    const quelt::SoundData wav = Parse(file);
    EXPECT_EQ(wav.format, AL_FORMAT_STEREO16);
    EXPECT_FALSE(wav.hasData);
}

TEST(WavReader, ShortFilesGiveNoData) {
    const Bytes full = [] {
        Bytes file = Header(1, 8000, 8);
        PutChunk(file, "data", Samples(4, 0));
        return file;
    }();
    EXPECT_FALSE(quelt::ParseWav(nullptr, 0).hasData);
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{35}, std::size_t{36}, std::size_t{43}}) {
        EXPECT_FALSE(quelt::ParseWav(full.data(), size).hasData) << size;
    }
    // The header alone is still read.
    EXPECT_EQ(quelt::ParseWav(full.data(), 36).format, AL_FORMAT_MONO8);
}

TEST(WavReader, HostileChunkSizesNeverLoopOrOverread) {
    const Bytes samples = Samples(8, 40);
    // Sizes that, taken as signed, would step back onto the same chunk or
    // before it; a size that wraps a 32-bit position to the start.
    for (std::uint32_t size : {0xFFFFFFF8u, 0xFFFFFFF0u, 0xFFFFFFFFu, 0x80000000u}) {
        Bytes file = Header(1, 8000, 8);
        PutChunk(file, "data", samples);
        PutId(file, "LIST");
        PutDWord(file, size);
        file.insert(file.end(), 16, 0);
        const quelt::SoundData wav = Parse(file);
        EXPECT_EQ(wav.data, samples) << std::hex << size;
    }
    // A format size pointing past the end, and one smaller than the fields read.
    for (std::uint32_t fmtSize : {0xFFFFFFFFu, 0xFFFFFFECu, 0u}) {
        Bytes file = Header(1, 8000, 8);
        file[16] = fmtSize & 0xFF;
        file[17] = (fmtSize >> 8) & 0xFF;
        file[18] = (fmtSize >> 16) & 0xFF;
        file[19] = fmtSize >> 24;
        PutChunk(file, "data", samples);
        // With size 0 the walk starts inside the header and takes the sample
        // rate for a chunk size, which jumps past the end.
        EXPECT_FALSE(Parse(file).hasData) << std::hex << fmtSize;
    }
}

TEST(WavReader, DataChunkCutShortKeepsTheWholeFramesPresent) {
    Bytes file = Header(2, 44100, 16);
    PutId(file, "data");
    PutDWord(file, 0xFFFFFFFFu); // as streaming writers leave it
    const Bytes present = Samples(4 * 10 + 3, 1);
    file.insert(file.end(), present.begin(), present.end());
    const quelt::SoundData wav = Parse(file);
    EXPECT_TRUE(wav.hasData);
    EXPECT_EQ(wav.data, Bytes(present.begin(), present.begin() + 40));
}

class WavFile : public testing::Test {
protected:
    void Write(const std::string& name, const Bytes& bytes) {
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
    }
};

TEST_F(WavFile, LoadsFromDisk) {
    Bytes file = Header(2, 44100, 16);
    const Bytes samples = Samples(400, 11);
    PutChunk(file, "data", samples);
    Write("tone.wav", file);
    const quelt::SoundData wav = quelt::LoadWavFile("tone.wav");
    EXPECT_EQ(wav.format, AL_FORMAT_STEREO16);
    EXPECT_EQ(wav.data, samples);
}

TEST_F(WavFile, UnopenableFileNamesItsFullPathAndTheReason) {
    const std::string expected =
        "Cannot open file \"" + (std::filesystem::current_path() / "missing.wav").string() + "\". No such file or directory";
    try {
        quelt::LoadWavFile("missing.wav");
        FAIL() << "no error";
    } catch (const quelt::IoError& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
}

TEST_F(WavFile, EndlessOrNonRegularFilesAreRefusedUnread) {
    std::filesystem::create_directory("folder.wav");
    for (const char* name : {"/dev/zero", "folder.wav"}) EXPECT_THROW(quelt::LoadWavFile(name), quelt::IoError) << name;
}

// ---- Files as other programs write them ----

// Runs a shell command; false when it fails.
bool Shell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// What sox itself decodes the file to (never dithered), in the layout the reader hands OpenAL.
Bytes SoxDecode(const std::string& file, bool eightBit) {
    const std::string raw = file + ".raw";
    if (!Shell("sox -D " + file + " -t raw " + (eightBit ? "-e unsigned -b 8 " : "-e signed -b 16 ") + raw))
        return {};
    return test::ReadFile(raw);
}

// Decoded copies of a damaged file must be a prefix of the whole file's samples
// when only the end is missing, and never hold samples without a format.
void ExpectDamageIsHarmless(const Bytes& file, const quelt::SoundData& whole) {
    for (std::size_t cut : {std::size_t{4}, std::size_t{44}, file.size() / 3, file.size() / 2, file.size() - 1}) {
        const quelt::SoundData part = quelt::ParseSound(file.data(), std::min(cut, file.size()));
        ASSERT_LE(part.data.size(), whole.data.size()) << "cut at " << cut;
        EXPECT_TRUE(std::equal(part.data.begin(), part.data.end(), whole.data.begin())) << "cut at " << cut;
    }
    for (std::size_t at = 0; at < file.size(); at += 1 + file.size() / 61) {
        Bytes damaged = file;
        damaged[at] ^= 0xA5;
        const quelt::SoundData sound = quelt::ParseSound(damaged.data(), damaged.size());
        EXPECT_TRUE(!sound.hasData || sound.format != 0) << "flipped at " << at;
    }
}

TEST(SoundFromOtherPrograms, SoxWavsMatchSoxsOwnDecode) {
    struct Row {
        const char* encoding;
        int channels;
        std::int32_t format; // 0: no data
    };
    const Row rows[] = {
        {"-e unsigned -b 8", 1, AL_FORMAT_MONO8},    {"-e unsigned -b 8", 2, AL_FORMAT_STEREO8},
        {"-e signed -b 16", 1, AL_FORMAT_MONO16},    {"-e signed -b 16", 2, AL_FORMAT_STEREO16},
        {"-e signed -b 24", 1, AL_FORMAT_MONO16},    {"-e signed -b 24", 2, AL_FORMAT_STEREO16},
        {"-e signed -b 32", 1, AL_FORMAT_MONO16},    {"-e signed -b 32", 2, AL_FORMAT_STEREO16},
        {"-e floating-point -b 32", 1, AL_FORMAT_MONO16}, {"-e floating-point -b 32", 2, AL_FORMAT_STEREO16},
        {"-e mu-law", 1, AL_FORMAT_MONO16},          {"-e mu-law", 2, AL_FORMAT_STEREO16},
        {"-e a-law", 1, AL_FORMAT_MONO16},           {"-e a-law", 2, AL_FORMAT_STEREO16},
        {"-e ms-adpcm", 1, 0},                       {"-e ima-adpcm", 2, 0},
        {"-e gsm-full-rate", 1, 0},
    };
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.encoding << ", " << row.channels << " channel(s)");
        const std::string name = "sox" + std::to_string(index++) + ".wav";
        // Two tones sweeping up to full scale, so clipping and both signs show.
        ASSERT_TRUE(Shell("sox -D -n -r 8000 -c " + std::to_string(row.channels) + " " + row.encoding + " " + name +
                        " synth 0.3 sine 200-3000 sine 900 gain -n 0"));
        const quelt::SoundData wav = quelt::LoadWavFile(name);
        EXPECT_EQ(wav.format, row.format);
        EXPECT_EQ(wav.frequency, 8000u);
        if (row.format == 0) {
            EXPECT_FALSE(wav.hasData);
            EXPECT_TRUE(wav.data.empty());
            continue;
        }
        const Bytes expected = SoxDecode(name, row.format == AL_FORMAT_MONO8 || row.format == AL_FORMAT_STEREO8);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(wav.data, expected);
        ExpectDamageIsHarmless(test::ReadFile(name), wav);
    }
}

TEST(SoundFromOtherPrograms, OggencFilesMatchOggdecsDecode) {
    struct Row {
        int channels, rate;
        const char* length;
        std::int32_t format;
    };
    // Both sides decode through libvorbisfile, so the samples must agree exactly.
    const Row rows[] = {{1, 22050, "0.7", AL_FORMAT_MONO16}, {2, 44100, "1.3", AL_FORMAT_STEREO16}, {4, 8000, "0.2", 0}};
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.channels << " channel(s) at " << row.rate);
        const std::string stem = "vorbis" + std::to_string(index++);
        ASSERT_TRUE(Shell("sox -D -n -r " + std::to_string(row.rate) + " -c " + std::to_string(row.channels) +
                        " -b 16 " + stem + ".wav synth " + row.length + " sine 300-2000 sine 500 gain -n -1"));
        ASSERT_TRUE(Shell("oggenc -Q -q 2 -o " + stem + ".ogg " + stem + ".wav"));
        // A name without a telling extension: the content decides.
        std::filesystem::rename(stem + ".ogg", stem + ".snd");
        const quelt::SoundData ogg = quelt::LoadWavFile(stem + ".snd");
        EXPECT_EQ(ogg.format, row.format);
        EXPECT_EQ(ogg.frequency, static_cast<std::uint32_t>(row.rate));
        if (row.format == 0) {
            EXPECT_FALSE(ogg.hasData);
            continue;
        }
        ASSERT_TRUE(Shell("oggdec -Q -R -b 16 -e 0 -s 1 -o " + stem + ".raw " + stem + ".snd"));
        EXPECT_EQ(ogg.data, test::ReadFile(stem + ".raw"));
        const Bytes file = test::ReadFile(stem + ".snd");
        ExpectDamageIsHarmless(file, ogg);
        // The decoded size is bounded: a limit below the file's samples refuses it whole.
        EXPECT_FALSE(quelt::DecodeOgg(file.data(), file.size(), ogg.data.size() - 1).hasData);
        EXPECT_EQ(quelt::DecodeOgg(file.data(), file.size(), ogg.data.size()).data, ogg.data);
    }
}

// Real Vorbis headers from oggenc, then 16 pages of 255 one-byte packets
// (128 silent samples each), whose positions either count them ("told") or
// stay tiny ("hidden").
const char* kOggBombScript = R"(
import struct
def crc(data):
    c = 0
    for b in data:
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7 if c & 0x80000000 else c << 1) & 0xFFFFFFFF
    return c
def page(flags, granule, serial, sequence, lacing, body):
    head = b"OggS\0" + bytes([flags]) + struct.pack("<qII", granule, serial, sequence) + b"\0\0\0\0"
    head += bytes([len(lacing)]) + bytes(lacing)
    return head[:22] + struct.pack("<I", crc(head + body)) + head[26:] + body
ogg = open("bomb.ogg", "rb").read()
pages, at = [], 0
while at < len(ogg):
    n = ogg[at + 26]
    size = 27 + n + sum(ogg[at + 27:at + 27 + n])
    pages.append(ogg[at:at + size])
    at += size
headers = [p for p in pages if struct.unpack("<q", p[6:14])[0] == 0]
serial, sequence = struct.unpack("<II", headers[-1][14:22])
for name, told in (("told.ogg", True), ("hidden.ogg", False)):
    out = b"".join(headers)
    for i in range(1, 17):
        out += page(0, i * 255 * 128 if told else i, serial, sequence + i, [1] * 255, b"\0" * 255)
    open(name, "wb").write(out)
)";

// A whole-file sound is bounded before decoding by the length its stream
// states, and while decoding as soon as the bound is passed.
TEST(SoundFromOtherPrograms, OggBombsAreRefusedEarly) {
    ASSERT_TRUE(Shell("sox -D -n -r 44100 -c 2 -b 16 bomb.wav synth 1 sine 440 && oggenc -Q -o bomb.ogg bomb.wav"));
    ASSERT_TRUE(Shell("/usr/bin/python3 -c '" + std::string(kOggBombScript) + "'"));
    // {file, reason} under a limit of 1 MiB.
    const std::pair<const char*, const char*> rows[] = {
        {"told.ogg", "Ogg: the stream says it holds 489600 samples a channel, past the limit of 1 MiB"},
        {"hidden.ogg", "Ogg: decoding went past the limit of 1 MiB of samples"},
    };
    for (const auto& [name, why] : rows) {
        const Bytes file = test::ReadFile(name);
        ASSERT_LT(file.size(), 20000u) << name;
        std::string reason;
        quelt::TakeLastError(reason);
        EXPECT_FALSE(quelt::DecodeOgg(file.data(), file.size(), 1 << 20).hasData) << name;
        quelt::TakeLastError(reason);
        EXPECT_EQ(reason.substr(0, std::strlen(why)), why);
    }
    // The cap itself: no file, however large, decodes to more.
    EXPECT_EQ(quelt::OggSampleLimit(std::size_t(1) << 31), std::uint64_t(256) << 20);
}

// A stream reads the same samples as the whole-file reader, piece by piece
// and again after a rewind; what that reader refuses, it refuses too.
TEST(SoundFromOtherPrograms, StreamsReadWhatTheWholeFileReaderReads) {
    struct Row {
        const char* name;
        const char* make;
    };
    const Row rows[] = {
        {"s16.wav", "sox -D -n -r 22050 -c 2 -b 16 s16.wav synth 0.4 sine 300-2000"},
        {"s24.wav", "sox -D -n -r 8000 -c 1 -b 24 s24.wav synth 0.3 sine 300-2000"},
        {"ulaw.wav", "sox -D -n -r 8000 -c 2 -e mu-law ulaw.wav synth 0.3 sine 300-2000"},
        {"u8.wav", "sox -D -n -r 8000 -c 1 -e unsigned -b 8 u8.wav synth 0.3 sine 300-2000"},
        {"adpcm.wav", "sox -D -n -r 8000 -c 1 -e ms-adpcm adpcm.wav synth 0.3 sine 300"},
        {"stereo.ogg", "sox -D -n -r 44100 -c 2 -b 16 o.wav synth 1.1 sine 300-2000 && oggenc -Q -o stereo.ogg o.wav"},
        {"quad.ogg", "sox -D -n -r 8000 -c 4 -b 16 q.wav synth 0.2 sine 300 && oggenc -Q -o quad.ogg q.wav"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(Shell(row.make));
        const quelt::SoundData whole = quelt::LoadWavFile(row.name);
        std::string reason;
        quelt::TakeLastError(reason); // the whole-file reader's
        const std::unique_ptr<quelt::SoundReader> stream = quelt::OpenSoundStream(row.name);
        EXPECT_EQ(quelt::TakeLastError(reason), !whole.hasData) << reason;
        if (!whole.hasData) {
            EXPECT_EQ(stream, nullptr);
            EXPECT_NE(reason.find(row.name), std::string::npos) << reason;
            continue;
        }
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->Format(), whole.format);
        EXPECT_EQ(stream->Frequency(), whole.frequency);
        for (const std::size_t piece : {std::size_t{4096}, std::size_t{1001 * 4}}) {
            Bytes read(piece);
            Bytes all;
            for (std::size_t got; (got = stream->Read(read.data(), read.size())) != 0;)
                all.insert(all.end(), read.begin(), read.begin() + static_cast<std::ptrdiff_t>(got));
            EXPECT_EQ(all, whole.data) << piece;
            ASSERT_TRUE(stream->Rewind());
        }
    }
}

} // namespace
