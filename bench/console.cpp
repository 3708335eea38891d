// SPDX-License-Identifier: Zlib
// A frame's console (its panel and every line shown) beside the same lines
// drawn with qDrawText's DrawText in the same font at the same places, each
// finished by glFinish; and the least the panel's fill can cost, a scissored
// clear of its rectangle, so the console's excess over the text reads against
// it in the same run. Needs a display: run it under xvfb-run -a.
//
// llvmpipe runs single-threaded here (LP_NUM_THREADS=0, unless the
// environment says otherwise) for every case alike: the whole frame's work
// then happens in the timed thread, and rasterizer threads competing with
// other processes for the cores no longer decide the result. Add
// --benchmark_enable_random_interleaving=true to spread load changes evenly.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "QConsoling.h"
#include "QDraw2D.h"
#include "QWin.h"
#include "platform/GL.h"

namespace {

bool windowOpen = false;
std::uint32_t font = 0;

// A console of `lines` lines full of replies, as after a session of
// commands; 45 lines of 16 pixels still fit a 768-pixel screen.
void FillConsole(int lines) {
    quelt::SetConsoleFont(font, 16, 16);
    quelt::SetConsoleLines(lines);
    for (int i = 0; i < lines; ++i)
        quelt::ConsolePrint("Called r_shadows('" + std::to_string(i) + "') = true, frame " + std::to_string(i * 37));
    quelt::ConsoleEnable();
}

bool Ready(benchmark::State& state) {
    if (!windowOpen || font == 0) state.SkipWithError("no window or font");
    return windowOpen && font != 0;
}

void BM_Console(benchmark::State& state) {
    if (!Ready(state)) return;
    FillConsole(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        quelt::RenderConsole();
        quelt::glFinish();
    }
}

void BM_DrawTextPeer(benchmark::State& state) {
    if (!Ready(state)) return;
    FillConsole(static_cast<int>(state.range(0)));
    const auto rows = quelt::TheConsole().TextRows();  // the same text at the same places, copied once
    for (auto _ : state) {
        quelt::glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        for (const auto& row : rows) quelt::DrawText(row.x, row.y, font, row.text);
        quelt::glFinish();
    }
}

// The panel's rectangle filled with its grey by a clear, which shades
// nothing: what the panel costs at the least.
void BM_PanelFillFloor(benchmark::State& state) {
    if (!Ready(state)) return;
    FillConsole(static_cast<int>(state.range(0)));
    const quelt::Console& console = quelt::TheConsole();
    const GLint height = console.PanelHeight();
    quelt::glScissor(0, quelt::ScreenHeight() - height, console.PanelWidth(), height);
    quelt::glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    for (auto _ : state) {
        quelt::glEnable(GL_SCISSOR_TEST);
        quelt::glClear(GL_COLOR_BUFFER_BIT);
        quelt::glDisable(GL_SCISSOR_TEST);
        quelt::glFinish();
    }
}

BENCHMARK(BM_Console)->Arg(30)->Arg(45)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTextPeer)->Arg(30)->Arg(45)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PanelFillFloor)->Arg(30)->Arg(45)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setenv("LP_NUM_THREADS", "0", 0); // before the context exists: llvmpipe reads it then
    benchmark::AddCustomContext("LP_NUM_THREADS", std::getenv("LP_NUM_THREADS"));
    windowOpen = quelt::CreateWindow();
    if (windowOpen) {
        font = quelt::BitmapFont(0, -16, "DejaVu Sans Mono");
        quelt::Set2D();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (windowOpen) quelt::KillWindow();
    return 0;
}
