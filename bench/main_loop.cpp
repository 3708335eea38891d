// One pass of the engine's main loop with empty callbacks (message pump,
// render step with finish and swap, update step) against a bare SDL2 loop
// doing the same poll, finish and swap on the same window and context.
// Xvfb presentation time swings with machine load, so run the two interleaved:
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_main_loop --benchmark_enable_random_interleaving=true
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>

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

BENCHMARK(BM_EngineLoopPass)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareSDLLoopPass)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);

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
