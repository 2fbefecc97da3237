#pragma once

#include "scene3d/SceneView.h"
#include "workspace/Dialogs.h"
#include "workspace/MainWindow.h"
#include "workspace/VistamazeApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <benchmark/benchmark.h>

namespace vistamaze::bench {

// The program's folders for a benchmark: the samples as the build tree holds them (next to the
// executables' folders, in share/vistamaze) and a scratch documents folder.
inline MainWindowSetup BenchProgramSetup() {
    MainWindowSetup setup;
    setup.documentsFolder = QDir::tempPath() + QStringLiteral("/vistamaze-bench");
    setup.folders = FindProgramFolders(QCoreApplication::applicationDirPath(), QString());
    return setup;
}

// Answers every open dialog with `open` and every save dialog with `save` (nothing: cancelled);
// colour and font dialogs are cancelled, messages go to standard error.
class FixedAnswerDialogs final : public Dialogs {
public:
    FixedAnswerDialogs(std::optional<QString> open, std::optional<QString> save)
        : open_(std::move(open)), save_(std::move(save)) {}
    std::optional<QString> OpenFile(QWidget*, const FileDialogRequest&) override { return open_; }
    std::optional<QString> SaveFile(QWidget*, const FileDialogRequest&) override { return save_; }
    void ShowMessage(QWidget*, MessageKind, const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&) override { return std::nullopt; }

private:
    std::optional<QString> open_;
    std::optional<QString> save_;
};

// Runs the benchmarks of a window benchmark program in the program's application with `dialogs`
// installed, after `registerMore` has registered those that need arguments. Without an X display
// it says so and measures nothing.
inline int RunWindowBenchmarks(int argc, char** argv, std::unique_ptr<Dialogs> dialogs,
                               const std::function<void()>& registerMore = {}) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "%s: needs an X display (run under Xvfb)\n", argv[0]);
        return 0;
    }
    SetDefaultGLSurfaceFormat();
    // What the benchmarks switch (the 3D tab's view) is remembered in a folder of their own.
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    VistamazeApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    app.SetDialogs(std::move(dialogs));
    benchmark::Initialize(&argc, argv);
    if (registerMore) {
        registerMore();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace vistamaze::bench
