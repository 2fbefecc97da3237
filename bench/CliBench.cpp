// The whole command-line renderer as a user runs it: 1920 x 1080 PNG depth map in, textured
// x4 stereogram PNG out. Reports wall time per run and the peak resident memory of the process.
#include "engine/Resample.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze {
namespace {

std::filesystem::path PrepareDepthMap() {
    const auto dir = std::filesystem::temp_directory_path() / "vistamaze-cli-bench";
    std::filesystem::create_directories(dir);
    const auto file = dir / "depth1080.png";
    if (!std::filesystem::exists(file)) {
        Picture depth = ReadPictureFile(std::string(VM_SOURCE_DIR) + "/DepthMaps/Spheres.png");
        ResizeBuffer(depth.Bitmap(), 1920, 1080);
        SavePictureByExtension(depth, file, 95, "72", PngOptions{6, false});
    }
    return file;
}

void BM_RenderProcess1080pPngToPng(benchmark::State& state) {
    const auto depth = PrepareDepthMap();
    const auto out = depth.parent_path() / "stereo1080.png";
    long peakKb = 0;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl(VM_RENDERER_PATH, VM_RENDERER_PATH, depth.c_str(), "-W", "1920", "-H", "1080", "-o",
                  out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vistamaze-render failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024.0;
}

BENCHMARK(BM_RenderProcess1080pPngToPng)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
