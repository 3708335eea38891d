// SPDX-License-Identifier: Zlib
// Loading a large 3DS file (8 objects, 126,736 triangles, texture
// coordinates, materials, smoothing groups and a key-frame section) from disk:
// the engine's reader beside lib3ds and assimp on the same file. lib3ds runs
// both ways it offers: its own file reader, and its reader over a stream in
// memory filled by the same whole-file read the engine uses (its faster path).
// Before timing, each reader's vertex and triangle totals are checked to agree.
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <lib3ds/file.h>
#include <lib3ds/io.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "QModel.h"
#include "SData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kObjects = 8;
constexpr int kGrid = 90; // 8,100 vertices and 15,842 triangles per object
const std::string kFile = "bench_model3ds_input.3ds";

void U16(Bytes& out, std::uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
}
void U32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}
void F32(Bytes& out, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    U32(out, bits);
}
void Text(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}
Bytes Chunk(std::uint16_t id, const Bytes& body) {
    Bytes out;
    U16(out, id);
    U32(out, static_cast<std::uint32_t>(body.size() + 6));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

std::string ObjectName(int object) { return "Grid" + std::to_string(object); }

// A wavy grid, each object shifted along x.
Bytes GridObject(int object) {
    Bytes points, uvs, faces;
    U16(points, kGrid * kGrid);
    U16(uvs, kGrid * kGrid);
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            F32(points, static_cast<float>(object * kGrid + i));
            F32(points, static_cast<float>(j));
            F32(points, std::sin(i * 0.2f) * std::cos(j * 0.3f) * 4.0f);
            F32(uvs, static_cast<float>(i) / (kGrid - 1));
            F32(uvs, static_cast<float>(j) / (kGrid - 1));
        }
    const int quads = (kGrid - 1) * (kGrid - 1);
    U16(faces, static_cast<std::uint16_t>(quads * 2));
    for (int j = 0; j + 1 < kGrid; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            const std::uint16_t a = static_cast<std::uint16_t>(j * kGrid + i), b = a + 1,
                                c = static_cast<std::uint16_t>(a + kGrid), d = c + 1;
            for (const std::uint16_t v : {a, b, d, std::uint16_t(7), a, d, c, std::uint16_t(7)}) U16(faces, v);
        }
    Bytes material;
    Text(material, "Grey");
    U16(material, static_cast<std::uint16_t>(quads * 2));
    for (int f = 0; f < quads * 2; ++f) U16(material, static_cast<std::uint16_t>(f));
    Bytes smoothing;
    for (int f = 0; f < quads * 2; ++f) U32(smoothing, 1);
    Append(faces, Chunk(0x4130, material));
    Append(faces, Chunk(0x4150, smoothing));

    Bytes mesh;
    Append(mesh, Chunk(0x4110, points));
    Append(mesh, Chunk(0x4140, uvs));
    Append(mesh, Chunk(0x4120, faces));
    Bytes named;
    Text(named, ObjectName(object));
    Append(named, Chunk(0x4100, mesh));
    return Chunk(0x4000, named);
}

Bytes Track(std::uint16_t id, int values) {
    Bytes body;
    U16(body, 0);
    body.resize(body.size() + 8, 0);
    U32(body, 2);
    for (std::uint32_t frame : {0u, 100u}) {
        U32(body, frame);
        U16(body, 0);
        for (int v = 0; v < values; ++v) F32(body, v == 0 && values == 4 ? 0.5f : 1.0f);
    }
    return Chunk(id, body);
}

Bytes LargeFile() {
    Bytes grey;
    Append(grey, Chunk(0xA000, [] { Bytes n; Text(n, "Grey"); return n; }()));
    Bytes objects;
    U32(objects, 3);
    objects = Chunk(0x3D3E, objects);
    Append(objects, Chunk(0xAFFF, grey));
    for (int o = 0; o < kObjects; ++o) Append(objects, GridObject(o));

    Bytes keys;
    Bytes segment;
    U32(segment, 0);
    U32(segment, 100);
    Append(keys, Chunk(0xB008, segment));
    for (int o = 0; o < kObjects; ++o) {
        Bytes node, header;
        Text(header, ObjectName(o));
        U16(header, 0x4000);
        U16(header, 0);
        U16(header, 0xFFFF);
        Append(node, Chunk(0xB010, header));
        Bytes pivot;
        for (int k = 0; k < 3; ++k) F32(pivot, 0);
        Append(node, Chunk(0xB013, pivot));
        Append(node, Track(0xB020, 3));
        Append(node, Track(0xB021, 4));
        Append(keys, Chunk(0xB002, node));
    }
    Bytes version;
    U32(version, 3);
    Bytes main = Chunk(0x0002, version);
    Append(main, Chunk(0x3D3D, objects));
    Append(main, Chunk(0xB000, keys));
    return Chunk(0x4D4D, main);
}

struct Totals {
    long vertices = 0, triangles = 0;
    bool operator==(const Totals& o) const { return vertices == o.vertices && triangles == o.triangles; }
};

Totals LoadEngine() {
    quelt::TData data(kFile);
    auto* model = new quelt::TAnimation;
    model->AddRef();
    model->Load3DS(data);
    Totals totals;
    for (const auto& part : model->Parts) {
        totals.vertices += part->Vertices.Count();
        totals.triangles += part->Faces.Count();
    }
    model->Release();
    return totals;
}

Totals Lib3dsTotals(Lib3dsFile* file) {
    Totals totals;
    for (Lib3dsMesh* mesh = file ? file->meshes : nullptr; mesh; mesh = mesh->next) {
        totals.vertices += mesh->points;
        totals.triangles += mesh->faces;
    }
    if (file) lib3ds_file_free(file);
    return totals;
}

Totals LoadLib3dsFromFile() { return Lib3dsTotals(lib3ds_file_load(kFile.c_str())); }

// A read-only stream over bytes in memory, with the stdio-like answers
// lib3ds's stream callbacks give.
struct MemoryStream {
    const quelt::TData& data;
    long position = 0;

    static Lib3dsBool Error(void*) { return LIB3DS_FALSE; }
    static long Seek(void* self, long offset, Lib3dsIoSeek origin) {
        auto& s = *static_cast<MemoryStream*>(self);
        const long base = origin == LIB3DS_SEEK_SET ? 0 : origin == LIB3DS_SEEK_CUR ? s.position : long(s.data.Size());
        if (base + offset < 0 || base + offset > long(s.data.Size())) return -1;
        s.position = base + offset;
        return 0;
    }
    static long Tell(void* self) { return static_cast<MemoryStream*>(self)->position; }
    static size_t Read(void* self, void* buffer, size_t size) {
        auto& s = *static_cast<MemoryStream*>(self);
        const size_t count = std::min(size, static_cast<size_t>(long(s.data.Size()) - s.position));
        if (count) std::memcpy(buffer, s.data.Data() + s.position, count);
        s.position += static_cast<long>(count);
        return count;
    }
    static size_t Write(void*, const void*, size_t) { return 0; }
};

Totals LoadLib3dsFromMemory() {
    const quelt::TData data(kFile);
    MemoryStream stream{data};
    Lib3dsIo* io = lib3ds_io_new(&stream, MemoryStream::Error, MemoryStream::Seek, MemoryStream::Tell,
                                 MemoryStream::Read, MemoryStream::Write);
    Lib3dsFile* file = lib3ds_file_new();
    if (io && file && !lib3ds_file_read(file, io)) {
        lib3ds_file_free(file);
        file = nullptr;
    }
    if (io) lib3ds_io_free(io);
    return Lib3dsTotals(file);
}

// Assimp splits meshes by material and may duplicate vertices, so only its
// triangle total is comparable.
Totals LoadAssimp() {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(kFile, 0);
    Totals totals;
    for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m) totals.triangles += scene->mMeshes[m]->mNumFaces;
    return totals;
}

void BM_Engine(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadEngine());
}
void BM_Lib3dsFromFile(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadLib3dsFromFile());
}
void BM_Lib3dsFromMemory(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadLib3dsFromMemory());
}
void BM_Assimp(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadAssimp());
}
BENCHMARK(BM_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lib3dsFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lib3dsFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assimp)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const Bytes file = LargeFile();
    std::ofstream(kFile, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    const Totals engine = LoadEngine(), lib3ds = LoadLib3dsFromFile(), inMemory = LoadLib3dsFromMemory(),
                 assimp = LoadAssimp();
    std::printf("%s: %zu bytes; engine %ld vertices / %ld triangles, lib3ds %ld / %ld (from memory %ld / %ld), "
                "assimp - / %ld\n",
                kFile.c_str(), file.size(), engine.vertices, engine.triangles, lib3ds.vertices, lib3ds.triangles,
                inMemory.vertices, inMemory.triangles, assimp.triangles);
    if (!(engine == lib3ds) || !(engine == inMemory) || engine.triangles != assimp.triangles ||
        engine.triangles < 100000) {
        std::fprintf(stderr, "the readers disagree on the file; not timing\n");
        std::remove(kFile.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(kFile.c_str());
    return 0;
}
