// Extruded 3D text: 1,000 and 10,000 characters of running prose in the start-up scene's font
// (bold Arial) turned into geometry. Runs on Qt's "offscreen" platform: no display, no OpenGL.
#include "scene3d/SpaceTextGeometry.h"

#include <QGuiApplication>
#include <QString>

#include <benchmark/benchmark.h>

namespace {

using namespace vistamaze;

QString Prose(int characters) {
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog. ");
    QString text;
    while (text.size() < characters) {
        text += sentence;
    }
    text.truncate(characters);
    return text;
}

void BM_TextGeometry(benchmark::State& state) {
    const QString text = Prose(static_cast<int>(state.range(0)));
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    std::size_t triangles = 0;
    for (auto _ : state) {
        const TextGeometry g = BuildTextGeometry(text, font, 0.2, 1.0);
        triangles = g.positions.size() / 3;
        benchmark::DoNotOptimize(g.positions.data());
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TextGeometry)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
