// The movie writers alone: 120 frames of 1920 x 1080 textured stereograms (the animation's default
// movie) as an uncompressed AVI, an MP4 (H.264) and a WebM (VP9), each at its defaults. Reports the
// file's size; the frames are rendered once beforehand, eight of them with the texture moving,
// and handed over in turn.
#include "engine/Stereogram.h"
#include "formats/PictureFile.h"
#include "output/AviWriter.h"
#include "output/CompressedMovie.h"
#include "resources/DefaultTexture.h"

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace vistamaze {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 120;
constexpr int kFrameTime = 40;

const std::vector<PixelBuffer>& StereogramFrames() {
    static const std::vector<PixelBuffer> frames = [] {
        Stereogram engine;
        engine.SetWidth(kWidth);
        engine.SetHeight(kHeight);
        engine.SetOversampling(4);
        engine.SeedSource = [] { return 42U; };
        engine.SetDepthMap(ReadPictureFile(fs::path(VM_SOURCE_DIR) / "DepthMaps" / "Spheres.png"));
        engine.SetMaskMap(DefaultTexture());
        std::vector<PixelBuffer> rendered;
        for (int i = 0; i < 8; ++i) {
            engine.SetPatOfY(15 * i);
            engine.Generate();
            rendered.push_back(engine.StereogramPicture().Bitmap());
        }
        return rendered;
    }();
    return frames;
}

fs::path BenchFolder() {
    const fs::path dir = fs::temp_directory_path() / ("vm-movie-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

void WriteAvi(const fs::path& target, const fs::path& dir) {
    AviWriter writer({kWidth * 10, kHeight * 10}, AviWriter::PrivateWorkFolder{}, dir);
    writer.SetWidth(kWidth);
    writer.SetHeight(kHeight);
    writer.SetFrameTime(kFrameTime);
    writer.SetFileName(target.string());
    writer.OpenWorkFile();
    for (int i = 0; i < kFrames; ++i) {
        writer.AddFrame(StereogramFrames()[static_cast<std::size_t>(i) % StereogramFrames().size()]);
    }
    writer.CloseVideo();
    writer.SaveMovie();
}

void WriteCompressed(const fs::path& target, const fs::path& dir, MovieCodec codec) {
    CompressedMovie movie(target, {kWidth, kHeight, kFrameTime, codec, {}, {}, {}, {}}, dir);
    for (int i = 0; i < kFrames; ++i) {
        movie.AddFrame(StereogramFrames()[static_cast<std::size_t>(i) % StereogramFrames().size()]);
    }
    movie.Finish();
}

void BM_MovieOf120Frames1080p(benchmark::State& state) {
    const auto kind = static_cast<MovieFileFormat>(state.range(0));
    const fs::path dir = BenchFolder();
    const fs::path target = dir / (kind == MovieFileFormat::Avi   ? "m.avi"
                                   : kind == MovieFileFormat::Mp4 ? "m.mp4"
                                                                  : "m.webm");
    static_cast<void>(StereogramFrames());
    double bytes = 0;
    for (auto _ : state) {
        if (const auto codec = CompressedCodecFor(kind)) {
            WriteCompressed(target, dir, *codec);
        } else {
            WriteAvi(target, dir);
        }
        state.PauseTiming();
        bytes = static_cast<double>(fs::file_size(target));
        fs::remove(target);
        state.ResumeTiming();
    }
    state.SetLabel(kind == MovieFileFormat::Avi   ? "avi"
                   : kind == MovieFileFormat::Mp4 ? "mp4 (H.264)"
                                                  : "webm (VP9)");
    state.counters["size_MB"] = bytes / 1e6;
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(kFrames * state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(dir);
}

BENCHMARK(BM_MovieOf120Frames1080p)
    ->Arg(static_cast<int>(MovieFileFormat::Avi))
    ->Arg(static_cast<int>(MovieFileFormat::Mp4))
    ->Arg(static_cast<int>(MovieFileFormat::WebM))
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
