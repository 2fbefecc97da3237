// Loading model files: a 100k-triangle OBJ through Assimp and the same surface as VRML 97
// through our own reader, both written once into a temporary folder; read in this process, and
// as the programs read them, in the importer process (its start, confinement and reply included),
// started for the load (the command line) or ahead of it (the desktop program).
#include "formats/ModelFile.h"
#include "importer/ModelImporter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

constexpr int kSide = 224;  // (224 - 1)^2 * 2 = 99458 triangles

std::filesystem::path Folder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path f = std::filesystem::temp_directory_path() / "vistamaze_model_bench";
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

float Height(int i, int j) {
    return static_cast<float>((i * 7 + j * 13) % 17) * 0.01F;
}

std::filesystem::path GridObj() {
    const std::filesystem::path file = Folder() / "grid.obj";
    std::ofstream out(file);
    for (int j = 0; j < kSide; ++j) {
        for (int i = 0; i < kSide; ++i) {
            out << "v " << i << ' ' << j << ' ' << Height(i, j) << '\n';
        }
    }
    for (int j = 0; j + 1 < kSide; ++j) {
        for (int i = 0; i + 1 < kSide; ++i) {
            const int a = j * kSide + i + 1;
            out << "f " << a << ' ' << a + 1 << ' ' << a + kSide + 1 << '\n';
            out << "f " << a << ' ' << a + kSide + 1 << ' ' << a + kSide << '\n';
        }
    }
    return file;
}

std::filesystem::path GridWrl() {
    const std::filesystem::path file = Folder() / "grid.wrl";
    std::ofstream out(file);
    out << "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [\n";
    for (int j = 0; j < kSide; ++j) {
        for (int i = 0; i < kSide; ++i) {
            out << i << ' ' << j << ' ' << Height(i, j) << ",\n";
        }
    }
    out << "] }\ncoordIndex [\n";
    for (int j = 0; j + 1 < kSide; ++j) {
        for (int i = 0; i + 1 < kSide; ++i) {
            const int a = j * kSide + i;
            out << a << ' ' << a + 1 << ' ' << a + kSide + 1 << " -1 " << a << ' ' << a + kSide + 1 << ' '
                << a + kSide << " -1\n";
        }
    }
    out << "] } }\n";
    return file;
}

void Load(benchmark::State& state, const std::filesystem::path& file) {
    vistamaze::Mesh mesh;
    for (auto _ : state) {
        vistamaze::LoadModelFile(file, mesh);
        benchmark::DoNotOptimize(mesh.triangles.data());
    }
    state.counters["triangles"] = static_cast<double>(mesh.triangles.size());
}

double ChildrenCpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The CPU time column counts this process only; "importer_cpu_ms" is the importer's own, per load,
// which a busy machine does not inflate as it does the wall time.
void Import(benchmark::State& state, const std::filesystem::path& file, bool ready = false) {
    vistamaze::ModelImporter importer;
    if (ready) {
        importer.KeepOneReady();
    }
    vistamaze::Mesh mesh;
    const double before = ChildrenCpuMilliseconds();
    for (auto _ : state) {
        mesh = importer.Import(file);
        benchmark::DoNotOptimize(mesh.triangles.data());
    }
    state.counters["triangles"] = static_cast<double>(mesh.triangles.size());
    state.counters["importer_cpu_ms"] =
        (ChildrenCpuMilliseconds() - before) /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void BM_LoadObj100k(benchmark::State& state) {
    Load(state, GridObj());
}
void BM_LoadWrl100k(benchmark::State& state) {
    Load(state, GridWrl());
}
void BM_ImportObj100k(benchmark::State& state) {
    Import(state, GridObj());
}
void BM_ImportWrl100k(benchmark::State& state) {
    Import(state, GridWrl());
}
// As the desktop program loads: one helper is kept started ahead. Loads follow each other at once
// here, so the next helper starts while the present one reads.
void BM_ImportObj100kReady(benchmark::State& state) {
    Import(state, GridObj(), true);
}
void BM_ImportWrl100kReady(benchmark::State& state) {
    Import(state, GridWrl(), true);
}

}  // namespace

BENCHMARK(BM_LoadObj100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWrl100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportObj100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportWrl100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportObj100kReady)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportWrl100kReady)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
