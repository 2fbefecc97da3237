// Decoding a full-HD depth map, as every command-line render and every depth map the desktop
// program opens does: grey (what depth maps mostly are) and RGB, written by libpng with its
// adaptive filters, so the rows carry every filter type.

#include "formats/PngReader.h"
#include "tests/support/LibpngWriter.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <png.h>

namespace {

// A smooth depth map: a dome over a slope, with a step at its rim.
std::vector<std::uint8_t> DepthMapPng(int width, int height, int colourType) {
    return vistamaze::test::LibpngFile(width, height, colourType, [width, height](int x, int y, int /*c*/) {
        const double dx = (x - width / 2.0) / (height / 2.5);
        const double dy = (y - height / 2.0) / (height / 2.5);
        const double r2 = dx * dx + dy * dy;
        return static_cast<std::uint8_t>(r2 < 1.0 ? 120.0 + 120.0 * std::sqrt(1.0 - r2) : 100.0 * x / width);
    });
}

void BM_DecodePngDepthMap1080p(benchmark::State& state) {
    const std::vector<std::uint8_t> file =
        DepthMapPng(1920, 1080, state.range(0) == 0 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vistamaze::DecodePng(file));
    }
    state.counters["file bytes"] = static_cast<double>(file.size());
}
// 0: grey, 1: RGB
BENCHMARK(BM_DecodePngDepthMap1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
