// SPDX-License-Identifier: Zlib
// Shadow-volume construction (TVolume creation: welding and shared edges)
// and Update, against the literal algorithm (every pair of triangles; both
// planes rebuilt per edge), on closed sphere meshes of about 1,000, 10,000
// and 100,000 triangles. Run the sides interleaved on a shared machine:
//   bench_volume --benchmark_filter=Update --benchmark_repetitions=9
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// (one command line).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"
#include "ShowcaseVolumeReference.h"

namespace {

// A UV sphere of about `triangles` triangles whose pole and seam vertices are
// repeated in the model, as a textured model has them, so welding has work.
void MakeSphere(showcase::TKeyFrameModel& model, int triangles) {
    const int stacks = std::max(3, int(std::sqrt(triangles / 4.0)));
    const int slices = std::max(3, triangles / (2 * (stacks - 1)));
    std::vector<TVec3D> positions;
    std::vector<showcase::TTriangle> faces;
    const auto point = [&](int stack, int slice) {
        const double phi = M_PI * stack / stacks, theta = 2 * M_PI * (slice % slices) / slices;
        if (stack == 0) return TVec3D{0, 100, 0};
        if (stack == stacks) return TVec3D{0, -100, 0};
        return TVec3D{float(100 * std::sin(phi) * std::cos(theta)), float(100 * std::cos(phi)),
                      float(100 * std::sin(phi) * std::sin(theta))};
    };
    for (int stack = 0; stack < stacks; ++stack)
        for (int slice = 0; slice < slices; ++slice) {
            const int32_t base = int32_t(positions.size());
            positions.insert(positions.end(), {point(stack, slice), point(stack + 1, slice),
                                               point(stack + 1, slice + 1), point(stack, slice + 1)});
            if (stack > 0) faces.push_back({base, base + 1, base + 3});
            if (stack + 1 < stacks) faces.push_back({base + 1, base + 2, base + 3});
        }
    model.Loaded = true;
    model.VertexCount = int32_t(positions.size());
    model.FrameCount = 1;
    model.FaceCount = int32_t(faces.size());
    model.Positions = positions;
    model.Faces = faces;
}

bool Bound() {
    static const bool bound = showcase::BindQuelt(QUELT_LIBRARY_PATH);
    return bound;
}

void Create(benchmark::State& state) {
    if (!Bound()) return state.SkipWithError("libQuelt.so did not load");
    showcase::TKeyFrameModel model;
    MakeSphere(model, int(state.range(0)));
    for (auto _ : state) {
        showcase::TVolume volume(model);
        benchmark::DoNotOptimize(volume.Edges.data());
    }
    state.counters["triangles"] = model.FaceCount;
}

void CreateReference(benchmark::State& state) {
    if (!Bound()) return state.SkipWithError("libQuelt.so did not load");
    showcase::TKeyFrameModel model;
    MakeSphere(model, int(state.range(0)));
    for (auto _ : state) {
        showcase_test::Reference reference(model);
        benchmark::DoNotOptimize(reference.edges.data());
    }
    state.counters["triangles"] = model.FaceCount;
}

// The demo's light circle in 64 steps; both sides walk it alike, so the
// silhouette changes from call to call as it does in the demo.
TVec3D LightAt(std::size_t step) {
    const double angle = 2 * M_PI * double(step % 64) / 64;
    return {float(500 * std::cos(angle)), 200, float(500 * std::sin(angle) - 5)};
}

void Update(benchmark::State& state) {
    if (!Bound()) return state.SkipWithError("libQuelt.so did not load");
    showcase::TKeyFrameModel model;
    MakeSphere(model, int(state.range(0)));
    showcase::TVolume volume(model);
    std::size_t step = 0;
    for (auto _ : state) {
        volume.Update(LightAt(step++));
        benchmark::DoNotOptimize(volume.VolumeVertices.data());
    }
    state.counters["triangles"] = model.FaceCount;
}

void UpdateReference(benchmark::State& state) {
    if (!Bound()) return state.SkipWithError("libQuelt.so did not load");
    showcase::TKeyFrameModel model;
    MakeSphere(model, int(state.range(0)));
    showcase::TVolume volume(model);
    // The reference's update on the same edges, without its quadratic build.
    showcase_test::Reference reference(showcase::TKeyFrameModel{});
    reference.vertices = volume.Mesh.Vertices;
    reference.faces = volume.Mesh.Faces;
    reference.edges = volume.Edges;
    std::size_t step = 0;
    for (auto _ : state) {
        reference.Update(LightAt(step++));
        benchmark::DoNotOptimize(reference.volumeVertices.data());
    }
    state.counters["triangles"] = model.FaceCount;
}

} // namespace

BENCHMARK(Create)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// The quadratic build at 100,000 triangles takes minutes; set
// QUELT_BENCH_REFERENCE_100K to include it.
BENCHMARK(CreateReference)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(Update)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(UpdateReference)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (std::getenv("QUELT_BENCH_REFERENCE_100K"))
        benchmark::RegisterBenchmark("CreateReference", CreateReference)
            ->Arg(100000)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
