// The WAV reader: header fields, the chunk walk, and files that lie about
// their sizes or end early.
#include <gtest/gtest.h>

#include <AL/al.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "QOpenAL.h"
#include "QUtils.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

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

quelt::WavData Parse(const Bytes& bytes) { return quelt::ParseWav(bytes.data(), bytes.size()); }

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
        const quelt::WavData wav = Parse(file);
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
    const quelt::WavData wav = Parse(file);
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
        const quelt::WavData wav = Parse(file);
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
    // Odd sizes get no pad byte: the next chunk starts right after the body.
    {
        Bytes file = Header(1, 8000, 8);
        PutChunk(file, "junk", Bytes{1, 2, 3});
        const Bytes samples = Samples(4, 5);
        PutChunk(file, "data", samples);
        EXPECT_EQ(Parse(file).data, samples);
    }
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
    for (auto [channels, bits] : {std::pair<int, int>{1, 24}, {6, 16}, {0, 8}, {2, 32}}) {
        Bytes file = Header(static_cast<std::uint16_t>(channels), 44100, static_cast<std::uint16_t>(bits));
        PutChunk(file, "data", Samples(24, 0));
        const quelt::WavData wav = Parse(file);
        EXPECT_EQ(wav.format, 0) << channels << "/" << bits;
        EXPECT_FALSE(wav.hasData);
        EXPECT_TRUE(wav.data.empty());
    }
    // A valid format but no "data" chunk at all.
    Bytes file = Header(2, 44100, 16);
    PutChunk(file, "LIST", Samples(20, 0));
    const quelt::WavData wav = Parse(file);
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
        const quelt::WavData wav = Parse(file);
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
    const quelt::WavData wav = Parse(file);
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
    const quelt::WavData wav = quelt::LoadWavFile("tone.wav");
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
    // A folder opens but cannot be read: an error, not an empty sound.
    std::filesystem::create_directory("folder.wav");
    EXPECT_THROW(quelt::LoadWavFile("folder.wav"), quelt::IoError);
}

} // namespace
