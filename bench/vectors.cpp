// SPDX-License-Identifier: Zlib
// The vector helpers called through libQuelt.so's exports, as an application
// calls them, over arrays too large to stay in registers: what the exports
// add to the arithmetic (the call, the null checks). The peer is another build
// of the library, loaded into the same process and run interleaved, so that
// both see the same machine load (OTHER: the peer's build folder):
//   QUELT_PEER=OTHER/bin/libQuelt.so bench_vectors --benchmark_enable_random_interleaving=true
//   --benchmark_repetitions=20 --benchmark_format=json
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <quelt/quelt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kCount = 1024;

struct Exports {
    decltype(&add2D) add2;
    decltype(&len2D) len2;
    decltype(&add3D) add3;
    decltype(&mul3D) mul3;
    decltype(&cross3D) cross3;
    decltype(&norm3D) norm3;
    decltype(&len3D) len3;
};

bool Load(const char* path, Exports& q) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "bench_vectors: %s\n", dlerror());
        return false;
    }
    q.add2 = reinterpret_cast<decltype(q.add2)>(dlsym(library, "add2D"));
    q.len2 = reinterpret_cast<decltype(q.len2)>(dlsym(library, "len2D"));
    q.add3 = reinterpret_cast<decltype(q.add3)>(dlsym(library, "add3D"));
    q.mul3 = reinterpret_cast<decltype(q.mul3)>(dlsym(library, "mul3D"));
    q.cross3 = reinterpret_cast<decltype(q.cross3)>(dlsym(library, "cross3D"));
    q.norm3 = reinterpret_cast<decltype(q.norm3)>(dlsym(library, "norm3D"));
    q.len3 = reinterpret_cast<decltype(q.len3)>(dlsym(library, "len3D"));
    return q.add2 && q.len2 && q.add3 && q.mul3 && q.cross3 && q.norm3 && q.len3;
}

template <typename Vec>
std::vector<Vec> Inputs(float offset) {
    std::vector<Vec> vectors(kCount);
    float* components = &vectors[0].x;
    for (std::size_t i = 0; i < vectors.size() * sizeof(Vec) / sizeof(float); ++i)
        components[i] = offset + static_cast<float>(i % 97) * 0.25f;
    return vectors;
}

// f(a, b, result) over the arrays.
template <typename Vec>
void Binary(benchmark::State& state, void (*f)(const Vec*, const Vec*, Vec*)) {
    const auto a = Inputs<Vec>(1), b = Inputs<Vec>(-3);
    std::vector<Vec> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) f(&a[i], &b[i], &result[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void Normalise(benchmark::State& state, void (*f)(const TVec3D*, TVec3D*)) {
    const auto v = Inputs<TVec3D>(2);
    std::vector<TVec3D> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) f(&v[i], &result[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

// A scalar result, summed so that no call can be dropped.
template <typename Vec>
void Length(benchmark::State& state, float (*f)(const Vec*)) {
    const auto v = Inputs<Vec>(2);
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < kCount; ++i) sum += f(&v[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void MulThenAdd(benchmark::State& state, Exports q) {
    const auto v = Inputs<TVec3D>(2);
    std::vector<TVec3D> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) {
            q.mul3(&v[i], 0.5f, &result[i]);
            q.add3(&result[i], &v[i], &result[i]);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void Register(const std::string& which, const Exports& q) {
    benchmark::RegisterBenchmark(("add3D/" + which).c_str(), Binary<TVec3D>, q.add3);
    benchmark::RegisterBenchmark(("cross3D/" + which).c_str(), Binary<TVec3D>, q.cross3);
    benchmark::RegisterBenchmark(("add2D/" + which).c_str(), Binary<TVec2D>, q.add2);
    benchmark::RegisterBenchmark(("norm3D/" + which).c_str(), Normalise, q.norm3);
    benchmark::RegisterBenchmark(("len2D/" + which).c_str(), Length<TVec2D>, q.len2);
    benchmark::RegisterBenchmark(("len3D/" + which).c_str(), Length<TVec3D>, q.len3);
    benchmark::RegisterBenchmark(("mul3D+add3D/" + which).c_str(), MulThenAdd, q);
}

} // namespace

int main(int argc, char** argv) {
    Exports quelt{}, peer{};
    if (!Load(QUELT_LIBRARY_PATH, quelt)) return 1;
    Register("quelt", quelt);
    if (const char* path = std::getenv("QUELT_PEER")) {
        if (!Load(path, peer)) return 1;
        Register("peer", peer);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
