// SPDX-License-Identifier: Zlib
// Decoding a 60 s stereo Ogg Vorbis file (written by sox and oggenc when the
// benchmark starts): the engine's reader beside stb_vorbis on the same bytes,
// both to interleaved 16-bit samples in memory. Before timing, both decodes
// are compared, so the two sides are known to do the same work.
// Streamed: the same file read from disk a stream buffer (0.2 s) at a time,
// as a playing stream decodes it, beside stb_vorbis pulling the same pieces
// from the same file; "decode_per_music_second" is the cost of one second of
// music.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "TOggLoader.h"
#include "TSoundLib.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes& File() {
    static Bytes file;
    return file;
}

const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quelt-bench-sound";
    return folder;
}

std::string OggPath() { return (Folder() / "music.ogg").string(); }

constexpr double kMusicSeconds = 60;
// A stream buffer: a fifth of a second of 44.1 kHz stereo.
constexpr int kPieceFrames = 44100 / 5;

// Decodes the whole file a piece at a time, as a stream does; returns the samples.
std::size_t StreamQuelt(std::vector<short>& piece, Bytes* all = nullptr) {
    const std::unique_ptr<quelt::SoundReader> reader = quelt::OpenSoundStream(OggPath());
    std::size_t samples = 0;
    auto* into = reinterpret_cast<std::uint8_t*>(piece.data());
    for (std::size_t got; reader && (got = reader->Read(into, piece.size() * 2)) != 0;) {
        samples += got / 2;
        if (all) all->insert(all->end(), into, into + got);
    }
    return samples;
}

std::size_t StreamStb(std::vector<short>& piece) {
    stb_vorbis* vorbis = stb_vorbis_open_filename(OggPath().c_str(), nullptr, nullptr);
    std::size_t samples = 0;
    for (int got; vorbis && (got = stb_vorbis_get_samples_short_interleaved(vorbis, 2, piece.data(),
                                                                            static_cast<int>(piece.size()))) != 0;)
        samples += static_cast<std::size_t>(got) * 2;
    if (vorbis) stb_vorbis_close(vorbis);
    return samples;
}

bool MakeFile() {
    std::filesystem::create_directories(Folder());
    const std::string wav = (Folder() / "music.wav").string(), ogg = OggPath();
    // A sweep on the left and pink noise on the right: wide-band, like music.
    const std::string command = "sox -n -r 44100 -c 2 -b 16 " + wav + " synth 60 sine 110-3520 pinknoise gain -4"
                                " && oggenc -Q -o " + ogg + " " + wav;
    if (std::system(command.c_str()) != 0) return false;
    std::ifstream in(ogg, std::ios::binary);
    File().assign(std::istreambuf_iterator<char>(in), {});
    std::filesystem::remove(wav);
    return !File().empty();
}

bool CheckAgreement() {
    const quelt::SoundData ours = quelt::DecodeOgg(File().data(), File().size());
    int channels = 0, rate = 0;
    short* theirs = nullptr;
    const int frames =
        stb_vorbis_decode_memory(File().data(), static_cast<int>(File().size()), &channels, &rate, &theirs);
    const std::size_t samples = ours.data.size() / 2;
    bool same = frames > 0 && channels == 2 && rate == 44100 && samples == std::size_t(frames) * 2;
    int largest = 0;
    for (std::size_t i = 0; same && i < samples; ++i) {
        const std::int16_t mine = static_cast<std::int16_t>(ours.data[2 * i] | ours.data[2 * i + 1] << 8);
        largest = std::max(largest, std::abs(mine - theirs[i]));
    }
    std::free(theirs);
    // The streamed decodes give the same samples as the whole ones.
    std::vector<short> piece(kPieceFrames * 2);
    Bytes streamed;
    same = same && StreamQuelt(piece, &streamed) == samples && streamed == ours.data && StreamStb(piece) == samples;
    std::printf("file %zu bytes, %zu frames each; largest sample difference %d (the decoders round differently)\n",
                File().size(), samples / 2, largest);
    return same && largest <= 64;
}

void Quelt(benchmark::State& state) {
    for (auto _ : state) {
        const quelt::SoundData sound = quelt::DecodeOgg(File().data(), File().size());
        benchmark::DoNotOptimize(sound.data.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(File().size()));
}

void StbVorbis(benchmark::State& state) {
    for (auto _ : state) {
        int channels = 0, rate = 0;
        short* samples = nullptr;
        stb_vorbis_decode_memory(File().data(), static_cast<int>(File().size()), &channels, &rate, &samples);
        benchmark::DoNotOptimize(samples);
        std::free(samples);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(File().size()));
}

void MusicSeconds(benchmark::State& state) {
    state.counters["decode_per_music_second"] = benchmark::Counter(
        kMusicSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void StreamedQuelt(benchmark::State& state) {
    std::vector<short> piece(kPieceFrames * 2);
    for (auto _ : state) benchmark::DoNotOptimize(StreamQuelt(piece));
    MusicSeconds(state);
}

void StreamedStbVorbis(benchmark::State& state) {
    std::vector<short> piece(kPieceFrames * 2);
    for (auto _ : state) benchmark::DoNotOptimize(StreamStb(piece));
    MusicSeconds(state);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeFile() || !CheckAgreement()) {
        std::fprintf(stderr, "cannot make the Ogg file, or the two decoders disagree\n");
        std::filesystem::remove_all(Folder());
        return 1;
    }
    benchmark::RegisterBenchmark("ogg_60s_stereo/quelt", Quelt)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ogg_60s_stereo/stb_vorbis", StbVorbis)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ogg_60s_stereo_streamed/quelt", StreamedQuelt)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ogg_60s_stereo_streamed/stb_vorbis", StreamedStbVorbis)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(Folder());
    benchmark::Shutdown();
    return 0;
}
