// The "3D model" tab at work (needs an X display; Mesa's software renderer under Xvfb): one depth
// capture of an 800 x 600 view (read, map, publish to the depth view, the depth image and the
// engine), one drag step with a 100k-triangle model (turn, render, capture, depth view painted),
// the same with the view showing the stereogram (turn, render, capture, stereogram made at the
// depth view's size and painted) and that stereogram alone, and the "Large" export (1600 x 1200 off-screen
// render, capture, PNG write, and the capture of the 3D view that follows).
#include "bench/BenchMeshes.h"
#include "bench/BenchProgram.h"
#include "scene3d/SceneView.h"
#include "workspace/DepthView.h"
#include "workspace/LiveStereogram.h"
#include "workspace/ModelTab.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTabWidget>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

namespace {

using namespace vistamaze;

// The program's windows with the 3D tab showing an 800 x 600 view.
class TabFixture {
public:
    TabFixture() : windows_(bench::BenchProgramSetup()) {
        MainWindow& main = windows_.Main();
        main.setWindowState(Qt::WindowNoState);
        main.resize(1800, 1000);
        main.show();
        main.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentIndex(0);
        Tab().SceneViewer().setFixedSize(800, 600);
        while (main.windowHandle() == nullptr || !main.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        for (int i = 0; i < 50; ++i) {
            QCoreApplication::processEvents();
        }
        Tab().SceneViewer().RepaintNow();
        Tab().CaptureDepthMap();
    }
    [[nodiscard]] ModelTab& Tab() const { return windows_.Main().ModelPage(); }
    [[nodiscard]] MainWindow& Main() const { return windows_.Main(); }

private:
    ProgramWindows windows_;
};

void CaptureView(benchmark::State& state) {
    const TabFixture fixture;
    ModelTab& tab = fixture.Tab();
    for (auto _ : state) {
        tab.CaptureDepthMap();
    }
    state.counters["width"] = tab.DepthImage().Width();
    state.counters["height"] = tab.DepthImage().Height();
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    [[nodiscard]] long Count() const noexcept { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        count_ += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }

private:
    long count_ = 0;
};

// One mouse-move of a left drag, then the event loop runs as it does for a user until the capture
// that the redraw asked for has been published and the depth view has painted it (or the
// stereogram made from it).
void DragSteps(benchmark::State& state, bool stereogram) {
    const TabFixture fixture;
    ModelTab& tab = fixture.Tab();
    if (stereogram) {
        // The stereogram is made at the right-hand view's size: here the 3D view's 800 x 600, not
        // the wider half that the fixture's window leaves it.
        tab.DepthPane().setFixedSize(tab.SceneViewer().size());
        QCoreApplication::processEvents();
    }
    tab.ShowStereogram(stereogram);
    Scene3d& scene = tab.Scene();
    scene.model.SetMesh(bench::SphereMesh(250, 200, 1.0F));
    scene.model.SetScale({3.0, 3.0, 3.0});
    scene.text.SetVisible(false);
    scene.navigator.SetMovingObject(&scene.model);
    SceneView& view = tab.SceneViewer();
    long published = 0;
    QElapsedTimer clock;
    double renderedAt = 0.0;
    double publishedAt = 0.0;
    double toRendered = 0.0;
    double toPublished = 0.0;
    QObject::connect(&view, &SceneView::PostRender, [&] { renderedAt = clock.nsecsElapsed() / 1e6; });
    QObject::connect(&tab, &ModelTab::DepthPublished, [&] {
        ++published;
        publishedAt = clock.nsecsElapsed() / 1e6;
    });
    const PaintCounter depthPaints(tab.DepthPane());
    const QPoint at(400, 300);
    QMouseEvent press(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(&view, &press);
    int x = at.x();
    for (auto _ : state) {
        x += 3;
        const QPoint to(x % 800, at.y());
        QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        clock.start();
        QApplication::sendEvent(&view, &move);
        const long publishedBefore = published;
        const long paintsBefore = depthPaints.Count();
        while (published == publishedBefore || depthPaints.Count() == paintsBefore) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        toRendered += renderedAt;
        toPublished += publishedAt;
    }
    const auto steps = static_cast<double>(state.iterations());
    state.counters["triangles"] = static_cast<double>(scene.model.MeshData().triangles.size());
    // Milliseconds from the mouse-move to the end of the render and to the published capture.
    state.counters["rendered_ms"] = toRendered / steps;
    state.counters["published_ms"] = toPublished / steps;
    state.counters["view_width"] = tab.DepthPane().Image().width();
    state.counters["view_height"] = tab.DepthPane().Image().height();
}

void DragStep100k(benchmark::State& state) {
    DragSteps(state, false);
}

void DragStep100kStereogram(benchmark::State& state) {
    DragSteps(state, true);
}

// The stereogram view's own part of a step: the 800 x 600 stereogram of the capture, made with the
// main window's settings (textured, oversampling 4) and turned into the picture the view paints.
void LiveStereogram800x600(benchmark::State& state) {
    const TabFixture fixture;
    ModelTab& tab = fixture.Tab();
    LiveStereogram live;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            live.Render(fixture.Main().StereogramSettings(), tab.DepthImage(), 800, 600));
    }
}

void LargeExport(benchmark::State& state) {
    const TabFixture fixture;
    ModelTab& tab = fixture.Tab();
    tab.ExportLargeDepthMap(ExportTarget::File);  // the off-screen view's context is made once
    for (auto _ : state) {
        tab.ExportLargeDepthMap(ExportTarget::File);
    }
}

}  // namespace

BENCHMARK(CaptureView)->Unit(benchmark::kMillisecond);
BENCHMARK(DragStep100k)->Unit(benchmark::kMillisecond);
BENCHMARK(DragStep100kStereogram)->Unit(benchmark::kMillisecond);
BENCHMARK(LiveStereogram800x600)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LargeExport)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return vistamaze::bench::RunWindowBenchmarks(
        argc, argv,
        std::make_unique<vistamaze::bench::FixedAnswerDialogs>(
            std::nullopt, QDir::tempPath() + QStringLiteral("/vistamaze-bench-large.png")));
}
