// Saving a full-HD stereogram: the program's own PNG and JPEG settings, and the fast PNG
// settings of the command-line renderer, with libpng and compressed in bands on several threads.

#include "bench/BenchPictures.h"
#include "engine/Stereogram.h"
#include "output/PictureWriters.h"
#include "output/PngBandWriter.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

using vistamaze::Bgr;
using vistamaze::Picture;
using vistamaze::PixelBuffer;

// A stereogram-like picture: a 96 x 96 texture tile repeated along each row with periods that
// change with a blocky depth pattern, so the rows repeat with shifts as real output does
// (neither random noise nor flat colour).
Picture StereogramLike(int width, int height) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int depth = ((x / 160) * 3 + (y / 120) * 5) % 7;
            const int period = 96 - 4 * depth;
            if (x >= period) {
                b.SetPixel(y, x, b.Pixel(y, x - period));
                continue;
            }
            const int tx = x % 96;
            const int ty = y % 96;
            b.SetPixel(y, x,
                       {static_cast<std::uint8_t>(tx * 2 + ty),
                        static_cast<std::uint8_t>(((tx / 12) ^ (ty / 12)) * 30),
                        static_cast<std::uint8_t>(255 - ty * 2 + (tx & 7) * 4)});
        }
    }
    return Picture(std::move(b));
}

class TempFile {
public:
    explicit TempFile(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("vistamaze-bench-" + std::to_string(::getpid()) + "-" + name)) {}
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

const Picture& FullHd() {
    static const Picture picture = StereogramLike(1920, 1080);
    return picture;
}

void Report(benchmark::State& state, const std::filesystem::path& file) {
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1920 * 1080 * 3);
}

void BM_PngProgramDefaults(benchmark::State& state) {
    const TempFile file("default.png");
    for (auto _ : state) {
        vistamaze::SaveAsPng(FullHd(), file.Path(), "72");
    }
    Report(state, file.Path());
}
BENCHMARK(BM_PngProgramDefaults)->Unit(benchmark::kMillisecond);

void BM_PngFast(benchmark::State& state) {
    const auto filter = static_cast<vistamaze::PngFilter>(state.range(0));
    const TempFile file("fast.png");
    for (auto _ : state) {
        vistamaze::SaveAsPng(FullHd(), file.Path(), "72", {static_cast<int>(state.range(1)), false, filter});
    }
    Report(state, file.Path());
}
BENCHMARK(BM_PngFast)
    ->ArgNames({"filter", "level"})
    ->Args({static_cast<int>(vistamaze::PngFilter::None), 1})
    ->Args({static_cast<int>(vistamaze::PngFilter::Sub), 1})
    ->Args({static_cast<int>(vistamaze::PngFilter::Up), 1})
    ->Args({static_cast<int>(vistamaze::PngFilter::Sub), 2})
    ->Args({static_cast<int>(vistamaze::PngFilter::Adaptive), 1})
    ->Unit(benchmark::kMillisecond);

// What the command-line renderer writes by default: a textured x4 render of a dome on a ramp
// with a 128 x 128 texture, less compressible than the synthetic picture above.
const Picture& RenderedFullHd() {
    static const Picture picture = [] {
        PixelBuffer depth(1920, 1080, 24);
        for (int y = 0; y < 1080; ++y) {
            for (int x = 0; x < 1920; ++x) {
                const double dx = (x - 960.0) / 640.0;
                const double dy = (y - 540.0) / 360.0;
                const double level = std::min(1.0, std::max(0.0, 1.0 - dx * dx - dy * dy) + 0.3 * x / 1920);
                const auto v = static_cast<std::uint8_t>(255 * level);
                depth.SetPixel(y, x, {v, v, v});
            }
        }
        vistamaze::Stereogram engine;
        engine.SetStereoType(vistamaze::StereogramKind::Textured);
        engine.SetWidth(1920);
        engine.SetHeight(1080);
        engine.SetOversampling(4);
        engine.SetDepthMap(Picture(std::move(depth)));
        engine.SetMaskMap(Picture(vistamaze::bench::PatternTexture(128, 128)));
        engine.Generate();
        return engine.StereogramPicture();
    }();
    return picture;
}

// Argument 0: libpng on one thread (the renderer before bands); N > 0: bands on N threads.
void BM_PngCliStereogram(benchmark::State& state) {
    const TempFile file("cli.png");
    const int threads = static_cast<int>(state.range(0));
    const vistamaze::PngOptions options{1, false, vistamaze::PngFilter::Up, std::max(threads, 1)};
    for (auto _ : state) {
        if (threads == 0) {
            vistamaze::SaveAsPng(RenderedFullHd(), file.Path(), "72", options);
        } else {
            vistamaze::SaveAsPngInBands(RenderedFullHd().Bitmap(), file.Path(), 2835, options);
        }
    }
    Report(state, file.Path());
}
BENCHMARK(BM_PngCliStereogram)
    ->ArgName("threads")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_JpegQuality95(benchmark::State& state) {
    const TempFile file("q95.jpg");
    for (auto _ : state) {
        vistamaze::SaveAsJpeg(FullHd(), file.Path(), 95, "72");
    }
    Report(state, file.Path());
}
BENCHMARK(BM_JpegQuality95)->Unit(benchmark::kMillisecond);

void BM_Bmp(benchmark::State& state) {
    const TempFile file("s.bmp");
    for (auto _ : state) {
        vistamaze::SaveAsBmp(FullHd(), file.Path());
    }
    Report(state, file.Path());
}
BENCHMARK(BM_Bmp)->Unit(benchmark::kMillisecond);

void BM_Tga(benchmark::State& state) {
    const TempFile file("s.tga");
    for (auto _ : state) {
        vistamaze::SaveAsTga(FullHd(), file.Path());
    }
    Report(state, file.Path());
}
BENCHMARK(BM_Tga)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
