// Render speed of the stereogram engine and of the resampling behind it.
#include "bench/BenchPictures.h"
#include "engine/GuideDots.h"
#include "engine/Resample.h"
#include "engine/Stereogram.h"

#include <cmath>

#include <benchmark/benchmark.h>

namespace vistamaze {
namespace {

// A dome on a ramp: every depth level, smooth slopes and a sharp edge, like a real depth map.
PixelBuffer DepthScene(int width, int height) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 3.0);
            const double dy = (y - height / 2.0) / (height / 3.0);
            const double dome = std::max(0.0, 1.0 - dx * dx - dy * dy);
            const double ramp = 0.3 * x / width;
            const auto v = static_cast<std::uint8_t>(std::lround(255 * std::min(1.0, dome + ramp)));
            b.SetPixel(y, x, {v, v, v});
        }
    }
    return b;
}

void RenderBenchmark(benchmark::State& state, StereogramKind type, int width, int height, int oversampling,
                     bool guideDots = false) {
    Stereogram s;
    s.SetGuideDots(guideDots);
    s.SetStereoType(type);
    s.SetWidth(width);
    s.SetHeight(height);
    s.SetOversampling(oversampling);
    s.SetRenderThreads(static_cast<int>(state.range(0)));
    s.SeedSource = [] { return 42U; };
    s.SetDepthMap(Picture(DepthScene(width, height)));
    s.SetMaskMap(Picture(bench::PatternTexture(128, 128)));
    for (auto _ : state) {
        s.Generate();
        benchmark::DoNotOptimize(s.StereogramPicture().Bitmap().Data());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_Textured1080pX4(benchmark::State& state) {
    RenderBenchmark(state, StereogramKind::Textured, 1920, 1080, 4);
}
// The same render with the guide dots drawn over it, and the dots alone on a full-HD picture.
void BM_Textured1080pX4GuideDots(benchmark::State& state) {
    RenderBenchmark(state, StereogramKind::Textured, 1920, 1080, 4, true);
}
void BM_GuideDots1080p(benchmark::State& state) {
    PixelBuffer picture(1920, 1080, 24);
    for (auto _ : state) {
        DrawGuideDots(picture, 90.0);
        benchmark::DoNotOptimize(picture.Data());
    }
}
void BM_RandomDotTextured1080pX4(benchmark::State& state) {
    RenderBenchmark(state, StereogramKind::RandomDotTextured, 1920, 1080, 4);
}
void BM_FastRandomDot1080p(benchmark::State& state) {
    RenderBenchmark(state, StereogramKind::RandomDot, 1920, 1080, 1);
}
void BM_Textured4KX8(benchmark::State& state) {
    RenderBenchmark(state, StereogramKind::Textured, 4096, 2160, 8);
}

// Scales a 4000 x 3000 photo-sized buffer down (to 1920 x 1440) and up (to 6000 x 4500).
void BM_ResizeBilinear4000x3000(benchmark::State& state) {
    const PixelBuffer source = DepthScene(4000, 3000);
    PixelBuffer target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 24);
    for (auto _ : state) {
        ResizeBilinear(source, target);
        benchmark::DoNotOptimize(target.Data());
    }
    state.SetItemsProcessed(state.iterations() * target.Width() * target.Height());
}

// A captured depth map (grey, the 3D view's size) fitted to a full-HD stereogram's width, as every
// animation frame is.
void BM_FitGreyDepth533x429(benchmark::State& state) {
    PixelBuffer source(533, 429, 24);
    for (int y = 0; y < source.Height(); ++y) {
        for (int x = 0; x < source.Width(); ++x) {
            const auto v = static_cast<std::uint8_t>((x * x + y * 3) / 97);
            source.SetPixel(y, x, {v, v, v});
        }
    }
    PixelBuffer target(1920, 1545, 24);
    for (auto _ : state) {
        ResizeBilinear(source, target);
        benchmark::DoNotOptimize(target.Data());
    }
    state.SetItemsProcessed(state.iterations() * target.Width() * target.Height());
}

// The argument is the thread count: 0 = from the hardware, 1 = the calling thread alone.
BENCHMARK(BM_Textured1080pX4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Textured1080pX4GuideDots)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GuideDots1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RandomDotTextured1080pX4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastRandomDot1080p)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Textured4KX8)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeBilinear4000x3000)->Args({1920, 1440})->Args({6000, 4500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitGreyDepth533x429)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
