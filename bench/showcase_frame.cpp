// SPDX-License-Identifier: Zlib
// Showcase's frame time: the demo's update and render steps, then
// qFinishRender (finish and swap), as its main loop runs them each frame, on
// the engine's window; the time is a frame's. Needs a display:
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_showcase_frame
// QUELT_LIBRARY names another build's libQuelt.so to measure it instead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Demo.h"
#include "OpenGL.h"
#include "Quelt.h"

namespace {

bool ready = false;

void BM_ShowcaseFrame(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        showcase::DemoUpdate();
        showcase::DemoRender();
        showcase::qFinishRender();
    }
}
BENCHMARK(BM_ShowcaseFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* library = std::getenv("QUELT_LIBRARY");
    const std::string bin = QUELT_BIN_DIR;
    ready = showcase::BindQuelt(library ? library : QUELT_LIBRARY_PATH) && showcase::qCreateWindow() &&
            showcase::BindOpenGL();
    if (ready) {
        showcase::SetDemoAssets({bin + "/Morrek.qmm", bin + "/Morrek.tga", bin + "/LandScape.qmm", bin + "/Land.bmp"});
        showcase::DemoInit();
    } else {
        std::fprintf(stderr, "no window: run under a display (xvfb-run)\n");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ready) {
        showcase::DemoDone();
        showcase::qKillWindow();
    }
    return 0;
}
