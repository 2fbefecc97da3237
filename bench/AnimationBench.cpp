// The animation's frame loop at the options dialog's defaults (1920 x 1080, textured, oversampling
// 4, 25 fps, rotation Y 3, texture Y 15) with the sample torus knot, as the program runs it but
// without the dialogs (needs an X display; Mesa's software renderer under Xvfb):
//   - RunAnimation_120: the whole run of 120 frames, movie saved; frames per second and peak
//     memory (maximum resident set, which must not grow with the frame count: the 30-frame run
//     comes first in the same process);
//   - FramePhases: the same per-frame calls one after the other on one thread, timed one by one,
//     to show where the time goes (the run overlaps Generate with the next frame's scene, redraw
//     and capture, and the movie write with the next Generate; visible_preview_ms is what the run
//     saves while the preview is hidden).
#include "bench/BenchProgram.h"
#include "scene3d/SceneView.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/AnimationRun.h"
#include "workspace/ModelTab.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

using namespace vistamaze;
using Clock = std::chrono::steady_clock;

QString MoviePath() {
    return QDir::tempPath() + QStringLiteral("/vistamaze-bench-animation.avi");
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The program with the torus knot loaded on the 3D tab and the dialog's default options read.
class ProgramWithModel {
public:
    ProgramWithModel() : windows_(bench::BenchProgramSetup()) {
        MainWindow& main = windows_.Main();
        main.show();
        while (main.windowHandle() == nullptr || !main.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        main.OpenModel();
        // Until no capture has come for 300 ms.
        QElapsedTimer quiet;
        quiet.start();
        const QMetaObject::Connection restart =
            QObject::connect(&main.ModelPage(), &ModelTab::DepthPublished, [&quiet] { quiet.restart(); });
        while (quiet.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        QObject::disconnect(restart);
        windows_.AnimationOptions().ReadAnimationOptions();
    }
    [[nodiscard]] MainWindow& Main() const { return windows_.Main(); }
    [[nodiscard]] AnimationRun& Run() const { return *windows_.Main().Animation(); }
    [[nodiscard]] const ProgramWindows& Windows() const { return windows_; }

private:
    ProgramWindows windows_;
};

void RunAnimationFrames(benchmark::State& state) {
    const ProgramWithModel program;
    const int frames = static_cast<int>(state.range(0));
    program.Windows()
        .AnimationOptions()
        .findChild<QLineEdit*>(QStringLiteral("frameCountEdit"))
        ->setText(QString::number(frames));
    program.Windows().AnimationOptions().ReadAnimationOptions();
    for (auto _ : state) {
        program.Run().PrepareMovie(MoviePath());
        const auto start = Clock::now();
        program.Run().RunAnimation();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const auto& engine = program.Main().Engine();
    state.counters["fps"] = benchmark::Counter(
        static_cast<double>(frames) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["width"] = engine.Width();
    state.counters["height"] = engine.Height();
    state.counters["view_w"] = program.Main().ModelPage().SceneViewer().DepthWidth();
    state.counters["view_h"] = program.Main().ModelPage().SceneViewer().DepthHeight();
    state.counters["peak_MB"] = PeakMegabytes();
    std::filesystem::remove(MoviePath().toStdString());
}

// The frame loop's calls, timed phase by phase (milliseconds per frame).
void FramePhases(benchmark::State& state) {
    const ProgramWithModel program;
    MainWindow& main = program.Main();
    ModelTab& tab = main.ModelPage();
    PreviewWindow& preview = program.Windows().Preview();
    const AnimationOptions& options = program.Windows().AnimationOptions().Options();
    AviWriter& writer = program.Run().Writer();
    program.Run().PrepareMovie(MoviePath());
    main.ShowModelTab();
    preview.OffsetYField()->setMaximum(kAnimationTextureRange);
    writer.OpenWorkFile();
    tab.SetFreezeDepthRange(true);
    CameraTravel travel;
    enum Phase {
        kScene,
        kTexture,
        kRender,
        kCapture,
        kGenerate,
        kPicture,
        kPreview,
        kAddFrame,
        kEvents,
        kPhases
    };
    std::array<double, kPhases> total{};
    for (auto _ : state) {
        auto last = Clock::now();
        const auto lap = [&](Phase phase) {
            const auto now = Clock::now();
            total[phase] += std::chrono::duration<double, std::milli>(now - last).count();
            last = now;
        };
        QCoreApplication::processEvents();
        lap(kEvents);
        ApplyFrameSteps(tab.Scene(), options.steps, travel, 0, 0);
        lap(kScene);
        main.SetTextureScale(main.TextureScale() + options.steps.textureScale);
        main.MirrorTexture();
        preview.OffsetYField()->setValue(NextTexturePosition(
            preview.OffsetYField()->value(), options.steps.textureY, preview.OffsetYField()->maximum()));
        preview.UpdateTimer().stop();
        lap(kTexture);
        tab.SceneViewer().RenderUnshown();
        lap(kRender);
        tab.CaptureDepthMap();
        tab.CancelPendingCapture();
        lap(kCapture);
        main.Engine().Generate();
        lap(kGenerate);
        const Picture& frame = main.Engine().StereogramPicture();
        lap(kPicture);
        // What a visible preview costs per frame; the run skips it while the preview is hidden.
        preview.SetStereogram(frame.Bitmap());
        preview.PictureLabel()->repaint();
        lap(kPreview);
        writer.AddFrame(frame);
        lap(kAddFrame);
    }
    writer.CloseVideo();
    writer.SaveMovie();
    tab.SetFreezeDepthRange(false);
    std::filesystem::remove(MoviePath().toStdString());
    const auto frames = static_cast<double>(state.iterations());
    const std::array<const char*, kPhases> names{"scene_ms",           "texture_ms",  "render_ms",
                                                 "capture_ms",         "generate_ms", "picture_ms",
                                                 "visible_preview_ms", "addframe_ms", "events_ms"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.counters[names[i]] = total[i] / frames;
    }
}

}  // namespace

int main(int argc, char** argv) {
    return vistamaze::bench::RunWindowBenchmarks(
        argc, argv,
        std::make_unique<vistamaze::bench::FixedAnswerDialogs>(
            QStringLiteral(VM_SOURCE_DIR "/Models/TorusKnot.obj"), std::nullopt),
        [] {
            benchmark::RegisterBenchmark("FramePhases_1920x1080_TexturedX4", FramePhases)
                ->Iterations(60)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("RunAnimation_1920x1080_TexturedX4", RunAnimationFrames)
                ->Arg(30)
                ->Arg(120)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        });
}
