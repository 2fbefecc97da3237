// Speed of the texture preparation: seamless blending, mirror tiling, crop and scale.
#include "bench/BenchPictures.h"
#include "engine/TexturePreparation.h"

#include <benchmark/benchmark.h>

namespace vistamaze {
namespace {

// "smooth more" on a 2048 x 2048 tile; the argument is 1 for stretched, 0 for not. Stretched
// with separation 90 the band is 25 * 23 = 575 pixels wide; unstretched it is 25.
void BM_SeamlessSmoothMore2048(benchmark::State& state) {
    const PixelBuffer source = bench::PatternTexture(2048, 2048);
    const bool stretched = state.range(0) != 0;
    PixelBuffer bitmap = source;
    for (auto _ : state) {
        state.PauseTiming();
        bitmap = source;
        state.ResumeTiming();
        MakeSeamlessTexture(3, bitmap, stretched, 90);
        benchmark::DoNotOptimize(bitmap.Data());
    }
    state.SetItemsProcessed(state.iterations() * 2048 * 2048);
}

void BM_MirrorBoth1024(benchmark::State& state) {
    const PixelBuffer source = bench::PatternTexture(1024, 1024);
    for (auto _ : state) {
        PixelBuffer mirrored = BuildMirroredTexture(source, 3);
        benchmark::DoNotOptimize(mirrored.Data());
    }
    state.SetItemsProcessed(state.iterations() * 2048 * 2048);
}

void BM_CropAndScaleHalf2048(benchmark::State& state) {
    const PixelBuffer source = bench::PatternTexture(2048, 2048);
    for (auto _ : state) {
        PixelBuffer scaled = CropAndScaleTexture(source, {10, 10, 10, 10}, 50.0, 72);
        benchmark::DoNotOptimize(scaled.Data());
    }
    state.SetItemsProcessed(state.iterations() * 2028 * 2028);
}

BENCHMARK(BM_SeamlessSmoothMore2048)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MirrorBoth1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CropAndScaleHalf2048)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
