// SPDX-License-Identifier: Zlib
// One pass of the engine's main loop with empty callbacks (message pump,
// render step with finish and swap, update step) against a bare SDL2 loop
// doing the same poll, finish and swap on the same window and context.
// Xvfb presentation time swings with machine load, so run the two interleaved:
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_main_loop --benchmark_enable_random_interleaving=true
// BM_IdleLoop runs an idle scene capped at 60 passes a second, and beside it
// the same scene uncapped, and reports the share of one core the whole
// process used (cpu_share, from the process's CPU time over the wall time)
// and the rate reached (fps).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "QCore.h"
#include "QWin.h"

namespace {

constexpr int kPassesPerIteration = 100;
int passesLeft = 0;

void CountPass() {
    if (--passesLeft <= 0) quelt::StopMainLoop();
}
void Empty() {}

void BM_EngineLoopPass(benchmark::State& state) {
    quelt::SetProcAdress(0, &CountPass);
    quelt::SetProcAdress(1, &Empty);
    quelt::SetUPS(200);
    for (auto _ : state) {
        passesLeft = kPassesPerIteration;
        quelt::StartMainLoop();
    }
    quelt::SetProcAdress(0, nullptr);
    quelt::SetProcAdress(1, nullptr);
    state.SetItemsProcessed(state.iterations() * kPassesPerIteration);
}

void BM_BareSDLLoopPass(benchmark::State& state) {
    auto* window = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    using GLVoid = void (*)();
    auto flush = reinterpret_cast<GLVoid>(SDL_GL_GetProcAddress("glFlush"));
    auto finish = reinterpret_cast<GLVoid>(SDL_GL_GetProcAddress("glFinish"));
    for (auto _ : state) {
        for (int pass = 0; pass < kPassesPerIteration; ++pass) {
            SDL_Event event;
            while (SDL_PollEvent(&event)) benchmark::DoNotOptimize(event);
            flush();
            finish();
            SDL_GL_SwapWindow(window);
            benchmark::DoNotOptimize(SDL_GetPerformanceCounter());
        }
    }
    state.SetItemsProcessed(state.iterations() * kPassesPerIteration);
}

// The argument is the frame cap: 60, or 0 for none.
void BM_IdleLoop(benchmark::State& state) {
    constexpr int kPasses = 120;
    quelt::SetProcAdress(0, &CountPass);
    quelt::SetProcAdress(1, &Empty);
    quelt::SetUPS(100);
    quelt::SetFrameCap(static_cast<std::int32_t>(state.range(0)));
    double wallSeconds = 0, cpuSeconds = 0;
    for (auto _ : state) {
        passesLeft = kPasses;
        const auto wallStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        quelt::StartMainLoop();
        cpuSeconds += static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
    quelt::SetFrameCap(0);
    quelt::SetProcAdress(0, nullptr);
    quelt::SetProcAdress(1, nullptr);
    // The last pass ends the loop without waiting: kPasses - 1 intervals.
    state.counters["fps"] = static_cast<double>(state.iterations()) * (kPasses - 1) / wallSeconds;
    state.counters["cpu_share"] = cpuSeconds / wallSeconds;
}

BENCHMARK(BM_EngineLoopPass)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareSDLLoopPass)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_IdleLoop)->ArgName("cap")->Arg(60)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!quelt::CreateWindow()) {
        std::fprintf(stderr, "no window: run under a display (xvfb-run)\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    quelt::KillWindow();
    return 0;
}
