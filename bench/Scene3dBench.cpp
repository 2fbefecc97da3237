// 3D layer speed on the machine's OpenGL (Mesa's software renderer under Xvfb in CI): one render
// plus depth read of an 800 x 600 on-screen view with the start-up text and with a 100k-triangle
// mesh, and one 1600 x 1200 off-screen render with colour and depth read-back.
#include "bench/BenchMeshes.h"
#include "scene3d/DepthBuffer.h"
#include "scene3d/OffscreenView.h"
#include "scene3d/SceneView.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

namespace {

using namespace vistamaze;

void RenderAndReadOnScreen(benchmark::State& state, SceneView& viewer) {
    DepthBuffer reader;
    reader.LinkToViewer(viewer);
    for (auto _ : state) {
        viewer.RepaintNow();
        benchmark::DoNotOptimize(reader.ReadDepth().data());
    }
}

void RenderAndReadOffScreen(benchmark::State& state, OffscreenView& memory) {
    DepthBuffer reader;
    reader.LinkToViewer(memory);
    for (auto _ : state) {
        memory.Render();
        const QImage colour = memory.ColorSnapshot();
        benchmark::DoNotOptimize(colour.constBits());
        benchmark::DoNotOptimize(reader.ReadDepth().data());
    }
}

// The parts of the off-screen figure on their own.
void OffScreenPart(benchmark::State& state, OffscreenView& memory, int part) {
    DepthBuffer reader;
    reader.LinkToViewer(memory);
    memory.Render();
    for (auto _ : state) {
        if (part == 0) {
            memory.Render();
        } else if (part == 1) {
            const QImage colour = memory.ColorSnapshot();
            benchmark::DoNotOptimize(colour.constBits());
        } else {
            benchmark::DoNotOptimize(reader.ReadDepth().data());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::puts(
            "Scene3dBench needs an X display (for example Xvfb :91 and DISPLAY=:91); nothing measured.");
        return 0;
    }
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    const auto textScene = BuildInitialScene();
    SceneView textViewer;
    textViewer.SetScene(textScene.get());
    textViewer.SetCamera(&textScene->camera);
    textViewer.resize(800, 600);
    textViewer.show();

    const auto meshScene = BuildInitialScene();
    meshScene->text.SetVisible(false);
    meshScene->model.SetMesh(bench::SphereMesh(224, 224, 3.0F));  // 100,352 triangles
    SceneView meshViewer;
    meshViewer.SetScene(meshScene.get());
    meshViewer.SetCamera(&meshScene->camera);
    meshViewer.resize(800, 600);
    meshViewer.show();

    OffscreenView memory;
    memory.SetScene(textScene.get());
    memory.SetCamera(&textScene->camera);
    QApplication::processEvents();

    benchmark::RegisterBenchmark("OnScreen800x600_Hello_RenderAndDepth", [&textViewer](benchmark::State& s) {
        RenderAndReadOnScreen(s, textViewer);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OnScreen800x600_Mesh100k_RenderAndDepth", [&meshViewer](
                                                                                benchmark::State& s) {
        RenderAndReadOnScreen(s, meshViewer);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OffScreen1600x1200_Hello_RenderColourAndDepth", [&memory](
                                                                                      benchmark::State& s) {
        RenderAndReadOffScreen(s, memory);
    })->Unit(benchmark::kMillisecond);
    const char* const partNames[3] = {"OffScreen1600x1200_Hello_RenderOnly",
                                      "OffScreen1600x1200_ColourSnapshotOnly",
                                      "OffScreen1600x1200_DepthReadOnly"};
    for (int part = 0; part < 3; ++part) {
        benchmark::RegisterBenchmark(partNames[part], [&memory, part](benchmark::State& s) {
            OffScreenPart(s, memory, part);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
