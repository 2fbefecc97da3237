// The desktop program as a user meets it (needs an X display; Xvfb in CI): start-up to the main
// window shown, and F12 to the preview shown for a 1000 x 760 textured x4 render of the sample
// torus. The progress window's 20 ms start delay is not counted: the clock starts when its timer
// hands over to the render and stops once the preview has painted the result.
#include "bench/BenchProgram.h"
#include "workspace/ProgramWindows.h"
#include "workspace/ProgressWindow.h"
#include "workspace/VistamazeApplication.h"

#include <QDir>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

namespace {

using namespace vistamaze;

void WaitUntilExposed(QWidget& window) {
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void StartUp(benchmark::State& state) {
    for (auto _ : state) {
        ProgramWindows windows(bench::BenchProgramSetup());
        windows.Main().show();
        WaitUntilExposed(windows.Main());
        QCoreApplication::processEvents();
    }
}

void RenderToPreview(benchmark::State& state) {
    ProgramWindows windows(bench::BenchProgramSetup());
    MainWindow& main = windows.Main();
    main.show();
    WaitUntilExposed(main);
    main.AskForDepthMap();  // the dialog answers with the sample depth map
    ProgressWindow& progress = windows.Progress();
    std::chrono::steady_clock::time_point start;
    const std::function<void()> render = progress.RenderStereogram;
    progress.RenderStereogram = [&] {
        start = std::chrono::steady_clock::now();
        render();
    };
    for (auto _ : state) {
        main.RenderWithProgress();
        QCoreApplication::processEvents();  // the preview paints the new picture
        const auto elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    if (main.Engine().Width() != 1000 || main.Engine().Height() != 760 ||
        main.Engine().StereoType() != StereogramKind::Textured || main.Engine().Oversampling() != 4) {
        state.SkipWithError("the start-up settings were not 1000 x 760 textured x4");
    }
}

}  // namespace

int main(int argc, char** argv) {
    return vistamaze::bench::RunWindowBenchmarks(
        argc, argv,
        std::make_unique<vistamaze::bench::FixedAnswerDialogs>(
            QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png"), std::nullopt),
        [] {
            benchmark::RegisterBenchmark("StartUpToMainWindowShown", StartUp)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("F12ToPreviewShown_1000x760_TexturedX4", RenderToPreview)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        });
}
