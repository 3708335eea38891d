// SPDX-License-Identifier: Zlib
// Decoding a 60 s stereo Ogg Vorbis file (written by sox and oggenc when the
// benchmark starts): the engine's reader beside stb_vorbis on the same bytes,
// both to interleaved 16-bit samples in memory. Before timing, both decodes
// are compared, so the two sides are known to do the same work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "TOggLoader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes& File() {
    static Bytes file;
    return file;
}

bool MakeFile() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quelt-bench-sound";
    std::filesystem::create_directories(folder);
    const std::string wav = (folder / "music.wav").string(), ogg = (folder / "music.ogg").string();
    // A sweep on the left and pink noise on the right: wide-band, like music.
    const std::string command = "sox -n -r 44100 -c 2 -b 16 " + wav + " synth 60 sine 110-3520 pinknoise gain -4"
                                " && oggenc -Q -o " + ogg + " " + wav;
    if (std::system(command.c_str()) != 0) return false;
    std::ifstream in(ogg, std::ios::binary);
    File().assign(std::istreambuf_iterator<char>(in), {});
    std::filesystem::remove_all(folder);
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

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeFile() || !CheckAgreement()) {
        std::fprintf(stderr, "cannot make the Ogg file, or the two decoders disagree\n");
        return 1;
    }
    benchmark::RegisterBenchmark("ogg_60s_stereo/quelt", Quelt)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ogg_60s_stereo/stb_vorbis", StbVorbis)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
