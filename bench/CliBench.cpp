// The whole command-line renderer as a user runs it: 1920 x 1080 PNG depth map in, textured
// x4 stereogram PNG out; and a 3D model in, captured off screen with no display, the same
// stereogram out. Reports wall time per run and the peak resident memory of the process.
#include "engine/Resample.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// A 3DS model from Debian's assimp-testmodels when installed, else the project's own test model.
std::filesystem::path BenchModel() {
    const std::filesystem::path debian = "/usr/share/assimp/models/3DS/fels.3ds";
    if (std::filesystem::exists(debian)) {
        return debian;
    }
    return std::filesystem::path(VM_SOURCE_DIR) / "tests/data/models/admesh_sphereWithHole_vrml1.wrl";
}

void BM_RenderModelProcess1080pNoDisplay(benchmark::State& state) {
    const auto model = BenchModel();
    const auto out = std::filesystem::temp_directory_path() / "vistamaze-cli-bench" / "model1080.png";
    std::filesystem::create_directories(out.parent_path());
    // The environment without DISPLAY, as on a server.
    std::vector<char*> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) {
            environment.push_back(*e);
        }
    }
    environment.push_back(nullptr);
    long peakKb = 0;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            const char* args[] = {VM_RENDERER_PATH, "--model", model.c_str(), "-W",   "1920", "-H",
                                  "1080",           "-o",      out.c_str(),   nullptr};
            execve(VM_RENDERER_PATH, const_cast<char* const*>(args), environment.data());
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vistamaze-render --model failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    state.SetLabel(model.filename().string());
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024.0;
}

BENCHMARK(BM_RenderModelProcess1080pNoDisplay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
