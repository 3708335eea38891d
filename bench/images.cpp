// SPDX-License-Identifier: Zlib
// Decoding 2048 x 2048 images: the engine's readers beside stb_image (and
// libpng's simplified API for PNG) on the same bytes, each asked for the
// same RGB or RGBA output, with the floor: a new image of the decoded size
// and a memcpy into it. Before timing, each file is decoded by every side
// and the pixels compared, so the race is fair.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <png.h>
#include <stb_image.h>
#include <turbojpeg.h>

#include "QTexture.h"
#include "SData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kEdge = 2048;

void Put16(Bytes& out, std::size_t at, std::uint16_t v) {
    out[at] = v & 0xFF;
    out[at + 1] = v >> 8;
}
void Put32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = (v >> (8 * i)) & 0xFF;
}

// A picture with smooth gradients, flat areas and noise, as textures have.
std::uint8_t Channel(std::mt19937& random, int x, int y, int c) {
    if ((x / 256 + y / 256) % 3 == 0) return static_cast<std::uint8_t>(40 * c + 17);
    if ((x / 128) % 2 == 0) return static_cast<std::uint8_t>((x + y * c) >> 3);
    return static_cast<std::uint8_t>(random());
}

Bytes TgaHeader(std::uint8_t type, std::uint8_t depth = 32) {
    Bytes out(18, 0);
    out[2] = type;
    Put16(out, 12, kEdge);
    Put16(out, 14, kEdge);
    out[16] = depth;
    out[17] = depth == 32 ? 0x08 : 0;
    return out;
}

Bytes PlainTga() {
    std::mt19937 random(1);
    Bytes out = TgaHeader(2);
    for (int y = 0; y < kEdge; ++y)
        for (int x = 0; x < kEdge; ++x)
            for (int c = 0; c < 4; ++c) out.push_back(Channel(random, x, y, c));
    return out;
}

// Encodes rows greedily: runs of equal pixels as run packets, the rest raw.
Bytes RunLengthTga(int components) {
    std::mt19937 random(1);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kEdge; ++y)
        for (int x = 0; x < kEdge; ++x) {
            std::uint32_t v = 0;
            for (int c = 0; c < components; ++c) v |= std::uint32_t(Channel(random, x, y, c)) << (8 * c);
            pixels.push_back(v);
        }
    Bytes out = TgaHeader(10, static_cast<std::uint8_t>(8 * components));
    auto append = [&](std::uint32_t v) {
        for (int c = 0; c < components; ++c) out.push_back((v >> (8 * c)) & 0xFF);
    };
    std::size_t k = 0;
    while (k < pixels.size()) {
        std::size_t run = 1;
        while (run < 128 && k + run < pixels.size() && pixels[k + run] == pixels[k]) ++run;
        if (run > 1) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            append(pixels[k]);
            k += run;
            continue;
        }
        std::size_t raw = 1;
        while (raw < 128 && k + raw < pixels.size() && pixels[k + raw] != pixels[k + raw - 1]) ++raw;
        out.push_back(static_cast<std::uint8_t>(raw - 1));
        for (std::size_t i = 0; i < raw; ++i) append(pixels[k + i]);
        k += raw;
    }
    return out;
}

Bytes Bmp24() {
    std::mt19937 random(1);
    Bytes out(54, 0);
    Put16(out, 0, 0x4D42);
    Put32(out, 10, 54);
    Put32(out, 14, 40);
    Put32(out, 18, kEdge);
    Put32(out, 22, kEdge);
    Put16(out, 26, 1);
    Put16(out, 28, 24);
    for (int y = 0; y < kEdge; ++y)
        for (int x = 0; x < kEdge; ++x)
            for (int c = 0; c < 3; ++c) out.push_back(Channel(random, x, y, c));
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    return out;
}

// The photo-like picture as top-first pixels of `components` bytes.
Bytes Picture(int components) {
    std::mt19937 random(1);
    Bytes out;
    out.reserve(std::size_t(kEdge) * kEdge * components);
    for (int y = 0; y < kEdge; ++y)
        for (int x = 0; x < kEdge; ++x)
            for (int c = 0; c < components; ++c) out.push_back(Channel(random, x, y, c));
    return out;
}

// Written with libpng's simplified API at its default compression; a
// colour-mapped format takes `colormap` (RGB entries).
Bytes WritePng(const Bytes& pixels, png_uint_32 format, const Bytes& colormap = {}) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kEdge;
    image.height = kEdge;
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 3);
    const void* map = colormap.empty() ? nullptr : colormap.data();
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, map);
    Bytes out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, map)) std::exit(1);
    out.resize(size);
    return out;
}

Bytes Png(int components) {
    return WritePng(Picture(components), components == 4 ? PNG_FORMAT_RGBA : components == 3 ? PNG_FORMAT_RGB
                                                                                              : PNG_FORMAT_GRAY);
}

// The photo-like picture's first channel as indices into 256 colours.
Bytes PalettePng() {
    Bytes colours;
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) colours.push_back(static_cast<std::uint8_t>(i * (c + 1) * 37 / 3));
    return WritePng(Picture(1), PNG_FORMAT_RGB_COLORMAP, colours);
}

// Large areas of one colour each, as drawn textures and interfaces have.
Bytes FlatPng() {
    Bytes pixels;
    pixels.reserve(std::size_t(kEdge) * kEdge * 4);
    for (int y = 0; y < kEdge; ++y)
        for (int x = 0; x < kEdge; ++x)
            for (int c = 0; c < 4; ++c) pixels.push_back(static_cast<std::uint8_t>(((x / 300 + y / 200) % 5) * 50 + c));
    return WritePng(pixels, PNG_FORMAT_RGBA);
}

// Quality 90 with 4:2:0 chroma, as cameras and editors write photos.
Bytes Jpeg() {
    const Bytes pixels = Picture(3);
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, pixels.data(), kEdge, 0, kEdge, TJPF_RGB, &buffer, &size, TJSAMP_420, 90, 0) != 0)
        std::exit(1);
    Bytes out(buffer, buffer + size);
    tjFree(buffer);
    tjDestroy(handle);
    return out;
}

struct Case {
    const char* name;
    Bytes file;
    const char* extension;
    int components;  // of the decoded image every side is asked for
    // Lossy formats: decoders may differ by their rounding, never by more.
    int tolerance;
};

std::vector<Case>& Cases() {
    static std::vector<Case> cases = {
        {"tga32_plain", PlainTga(), "tga", 4, 0},
        {"tga32_rle", RunLengthTga(4), "tga", 4, 0},
        {"tga24_rle", RunLengthTga(3), "tga", 4, 0},
        {"bmp24", Bmp24(), "bmp", 3, 0},
        {"png_rgba", Png(4), "png", 4, 0},
        {"png_rgb", Png(3), "png", 3, 0},
        {"png_grey", Png(1), "png", 3, 0},
        {"png_palette", PalettePng(), "png", 3, 0},
        {"png_flat", FlatPng(), "png", 4, 0},
        {"jpeg_rgb", Jpeg(), "jpg", 3, 8},
    };
    return cases;
}

quelt::TData Data(const Bytes& bytes) {
    quelt::TData data(static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(data.Data(), bytes.data(), bytes.size());
    return data;
}

std::unique_ptr<quelt::TTexture> Decode(const Case& c, quelt::TData& data) {
    data.Seek(0);
    return quelt::DecodeImage(c.extension, data);
}

// libpng's simplified API into a buffer the caller owns; empty on failure.
Bytes LibpngDecode(const Bytes& file, int components) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    image.format = components == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    return pixels;
}

int LargestDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t bytes) {
    int largest = 0;
    for (std::size_t i = 0; i < bytes; ++i) largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

void Agree(const Case& c, const char* peer, const std::uint8_t* ours, const std::uint8_t* theirs) {
    const std::size_t bytes = std::size_t(kEdge) * kEdge * c.components;
    const int difference = ours && theirs ? LargestDifference(ours, theirs, bytes) : 256;
    if (difference > c.tolerance) {
        std::fprintf(stderr, "%s: quelt and %s disagree (by %d)\n", c.name, peer, difference);
        std::exit(1);
    }
    std::fprintf(stderr, "%s: %zu bytes, quelt and %s agree (largest difference %d)\n", c.name, c.file.size(), peer,
                 difference);
}

void CheckAgreement() {
    for (const Case& c : Cases()) {
        quelt::TData data = Data(c.file);
        const auto ours = Decode(c, data);
        int w = 0, h = 0, n = 0;
        stbi_uc* theirs =
            stbi_load_from_memory(c.file.data(), static_cast<int>(c.file.size()), &w, &h, &n, c.components);
        const bool sameShape = ours && theirs && w == kEdge && h == kEdge &&
                               ours->Components() == c.components;
        Agree(c, "stb_image", sameShape ? ours->Pixels() : nullptr, theirs);
        stbi_image_free(theirs);
        if (std::string(c.extension) == "png") {
            const Bytes libpng = LibpngDecode(c.file, c.components);
            Agree(c, "libpng", libpng.empty() ? nullptr : ours->Pixels(), libpng.data());
        }
    }
}

void Quelt(benchmark::State& state, int index) {
    const Case& c = Cases()[index];
    quelt::TData data = Data(c.file);
    for (auto _ : state) {
        auto texture = Decode(c, data);
        benchmark::DoNotOptimize(texture->Pixels());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kEdge * kEdge * c.components);
}

void Stb(benchmark::State& state, int index) {
    const Case& c = Cases()[index];
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* pixels =
            stbi_load_from_memory(c.file.data(), static_cast<int>(c.file.size()), &w, &h, &n, c.components);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kEdge * kEdge * c.components);
}

void Libpng(benchmark::State& state, int index) {
    const Case& c = Cases()[index];
    for (auto _ : state) {
        Bytes pixels = LibpngDecode(c.file, c.components);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kEdge * kEdge * c.components);
}

// The least any decoder does: a new image of the output's size, every pixel
// written into it, freed at the end of the iteration as the readers'
// textures are.
void Memcpy(benchmark::State& state, int index) {
    const Case& c = Cases()[index];
    const std::size_t bytes = std::size_t(kEdge) * kEdge * c.components;
    const Bytes source(bytes, 1);
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[bytes]);
        std::memcpy(image.get(), source.data(), bytes);
        benchmark::DoNotOptimize(image.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
}

void Register() {
    for (int i = 0; i < static_cast<int>(Cases().size()); ++i) {
        const std::string name = Cases()[i].name;
        benchmark::RegisterBenchmark((name + "/quelt").c_str(), Quelt, i)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((name + "/stb_image").c_str(), Stb, i)->Unit(benchmark::kMillisecond);
        if (std::string(Cases()[i].extension) == "png")
            benchmark::RegisterBenchmark((name + "/libpng_simplified").c_str(), Libpng, i)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((name + "/memcpy").c_str(), Memcpy, i)->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CheckAgreement();
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
