// SPDX-License-Identifier: Zlib
// A frame's console (its panel and every line shown) beside the same lines
// drawn with qDrawText's DrawText in the same font at the same places, each
// finished by glFinish. Needs a display: run it under xvfb-run -a.
#include <benchmark/benchmark.h>

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

BENCHMARK(BM_Console)->Arg(30)->Arg(45)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTextPeer)->Arg(30)->Arg(45)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
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
