// The whole command-line renderer as a user runs it: 1920 x 1080 PNG depth map in, textured
// x4 stereogram PNG out; and a 3D model in, captured off screen with no display, the same
// stereogram out. Reports wall time per run and the peak resident memory of the process.
#include "engine/Resample.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
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

// Start-up alone (--version): argument 0 is vistamaze-render, which loads no Qt or OpenGL; 1 is
// vistamaze-render-scene, which it runs for models and text and which loads them.
void BM_ProcessStartUp(benchmark::State& state) {
    const char* program = state.range(0) == 0 ? VM_RENDERER_PATH : VM_SCENE_RENDERER_PATH;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, STDOUT_FILENO);
            execl(program, program, "--version", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("--version failed");
            break;
        }
    }
    state.SetLabel(state.range(0) == 0 ? "vistamaze-render" : "vistamaze-render-scene");
}

BENCHMARK(BM_ProcessStartUp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// The environment without DISPLAY, as on a server, plus `extra` ("NAME=value", may be null).
std::vector<std::string> EnvironmentWithoutDisplay(const char* extra) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) {
            environment.emplace_back(*e);
        }
    }
    if (extra != nullptr) {
        environment.emplace_back(extra);
    }
    return environment;
}

// The desktop program's default animation from one command: the sample torus knot, 120 frames of
// 1920 x 1080, textured x4, 25 fps, a 4.8 s movie. Reports frames per second, the CPU seconds of
// the whole process, its peak resident memory and the movie's size. The first argument 1 runs the
// one-thread reference loop instead of the overlapped one; the second chooses the movie: 0 an
// uncompressed .avi, 1 an .mp4 (H.264), 2 a .webm (VP9), each at its defaults. Run together, the
// kinds compare in the same conditions.
void BM_AnimationProcessDefault(benchmark::State& state) {
    const std::string model = std::string(VM_SOURCE_DIR) + "/Models/TorusKnot.obj";
    const std::array<const char*, 3> kinds = {"animation.avi", "animation.mp4", "animation.webm"};
    const auto out = std::filesystem::temp_directory_path() / "vistamaze-cli-bench" /
                     kinds.at(static_cast<std::size_t>(state.range(1)));
    std::filesystem::create_directories(out.parent_path());
    std::vector<std::string> environment =
        EnvironmentWithoutDisplay(state.range(0) == 1 ? "VISTAMAZE_RENDER_SEQUENTIAL=1" : nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    long peakKb = 0;
    double cpuSeconds = 0.0;
    double bytes = 0.0;
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            const char* args[] = {VM_RENDERER_PATH, "--model", model.c_str(), "--frames", "120", "-o",
                                  out.c_str(),      nullptr};
            execve(VM_RENDERER_PATH, const_cast<char* const*>(args), envp.data());
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vistamaze-render --frames failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
        cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::error_code ec;
        bytes = static_cast<double>(std::filesystem::file_size(out, ec));
    }
    std::filesystem::remove(out);
    state.SetLabel(std::string(state.range(0) == 1 ? "sequential " : "overlapped ") +
                   out.extension().string());
    state.counters["frames/s"] =
        benchmark::Counter(120.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cpu_s"] =
        cpuSeconds / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024.0;
    state.counters["size_MB"] = bytes / 1e6;
}

BENCHMARK(BM_AnimationProcessDefault)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 0})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace vistamaze

BENCHMARK_MAIN();
