// The vector helpers called through libQuelt.so's exports, as an application
// calls them, over arrays too large to stay in registers. Measures what the
// exports add to the arithmetic (the call, the null checks). To compare two
// builds of the library, run this program against each in turn:
//   LD_LIBRARY_PATH=OTHER/bin bench_vectors --benchmark_repetitions=10
#include <benchmark/benchmark.h>
#include <quelt/quelt.h>

#include <vector>

namespace {

constexpr int kCount = 1024;

template <typename Vec>
std::vector<Vec> Inputs(float offset) {
    std::vector<Vec> vectors(kCount);
    float* components = &vectors[0].x;
    for (std::size_t i = 0; i < vectors.size() * sizeof(Vec) / sizeof(float); ++i)
        components[i] = offset + static_cast<float>(i % 97) * 0.25f;
    return vectors;
}

// f(a, b, result) over the arrays: results written, inputs read.
template <typename Vec, void (*F)(const Vec*, const Vec*, Vec*)>
void Binary(benchmark::State& state) {
    const auto a = Inputs<Vec>(1), b = Inputs<Vec>(-3);
    std::vector<Vec> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) F(&a[i], &b[i], &result[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

template <typename Vec, void (*F)(const Vec*, Vec*)>
void Unary(benchmark::State& state) {
    const auto v = Inputs<Vec>(2);
    std::vector<Vec> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) F(&v[i], &result[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

// A scalar result, summed so that no call can be dropped.
template <typename Vec, float (*F)(const Vec*)>
void Scalar(benchmark::State& state) {
    const auto v = Inputs<Vec>(2);
    for (auto _ : state) {
        float sum = 0;
        for (int i = 0; i < kCount; ++i) sum += F(&v[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void MulThenAdd(benchmark::State& state) {
    const auto v = Inputs<TVec3D>(2);
    std::vector<TVec3D> result(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) {
            mul3D(&v[i], 0.5f, &result[i]);
            add3D(&result[i], &v[i], &result[i]);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

BENCHMARK_TEMPLATE(Binary, TVec3D, add3D);
BENCHMARK_TEMPLATE(Binary, TVec3D, cross3D);
BENCHMARK_TEMPLATE(Binary, TVec2D, add2D);
BENCHMARK_TEMPLATE(Unary, TVec3D, norm3D);
BENCHMARK_TEMPLATE(Scalar, TVec2D, len2D);
BENCHMARK_TEMPLATE(Scalar, TVec3D, len3D);
BENCHMARK(MulThenAdd);

} // namespace

BENCHMARK_MAIN();
