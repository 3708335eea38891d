// SPDX-License-Identifier: Zlib
// Cost of building a bitmap font: rasterising the 256 Windows-1251 glyphs
// alone, and the whole qBitmapFont path with its display lists on a real
// context (run under xvfb-run when there is no display).
#include <benchmark/benchmark.h>

#include <vector>

#include "QDraw2D.h"
#include "QWin.h"
#include "platform/FontRaster.h"

namespace {

std::vector<char32_t> CodePage() {
    std::vector<char32_t> codePoints(256);
    for (int code = 0; code < 256; ++code) codePoints[code] = quelt::Cp1251ToUnicode(static_cast<std::uint8_t>(code));
    return codePoints;
}

void RasterizeGlyphs(benchmark::State& state) {
    const std::vector<char32_t> codePoints = CodePage();
    quelt::FontRequest request;
    request.height = static_cast<int>(-state.range(0));
    request.faceName = "DejaVu Sans";
    for (auto _ : state) {
        quelt::RasterFont font;
        if (!quelt::RasterizeFont(request, codePoints, font)) {
            state.SkipWithError("no font");
            break;
        }
        benchmark::DoNotOptimize(font.glyphs.data());
    }
}
BENCHMARK(RasterizeGlyphs)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

bool windowOpen = false;

void BuildFontLists(benchmark::State& state) {
    if (!windowOpen) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        const std::uint32_t font = quelt::BitmapFont(0, static_cast<int>(-state.range(0)), "DejaVu Sans");
        benchmark::DoNotOptimize(font);
        quelt::DeleteFont(font);
    }
}
BENCHMARK(BuildFontLists)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    windowOpen = quelt::CreateWindow();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (windowOpen) quelt::KillWindow();
    return 0;
}
