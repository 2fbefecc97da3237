// Writes the README's screenshots: the main window with the sample torus loaded, the "3D model" tab
// with a sample model turned a little, showing its depth map and then its stereogram with the
// guide dots, the configuration dialog and the preview of a render at 800 x 600; and, to see the layout where
// it is tightest, the preview of a 320 x 200 render and the main window at its minimum size, on both tabs.
// Run by tools/screenshots.sh (which provides an X display):
//   vm_screenshots <output folder>
#include "scene3d/SceneView.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>

namespace {

using namespace vistamaze;

// Answers the depth map dialog and the model dialog with samples; shows nothing else.
class SampleDialogs final : public Dialogs {
public:
    std::optional<QString> OpenFile(QWidget*, const FileDialogRequest& request) override {
        if (request.caption == QStringLiteral("Choose a file to load")) {
            return QStringLiteral(VM_SOURCE_DIR "/Models/TorusKnot.obj");
        }
        return QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png");
    }
    std::optional<QString> SaveFile(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    void ShowMessage(QWidget*, MessageKind, const QString& text) override {
        std::fprintf(stderr, "vm_screenshots: %s\n", qPrintable(text));
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&) override { return std::nullopt; }
};

// Waits for the window to show and for what its timers started (the 3D tab's depth capture).
void Settle(QWidget& window) {
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool Save(QWidget& window, const QString& file) {
    Settle(window);
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "vm_screenshots: could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vm_screenshots <output folder>\n", stderr);
        return 2;
    }
    SetDefaultGLSurfaceFormat();
    // The choices switched for the pictures are remembered in a folder of the tool's own, and the
    // user's are not read: the pictures show the program as it starts.
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    VistamazeApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    app.SetDialogs(std::make_unique<SampleDialogs>());
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);

    MainWindowSetup setup;
    setup.documentsFolder = QDir::tempPath() + QStringLiteral("/vistamaze-screenshots");
    setup.folders = FindProgramFolders(QCoreApplication::applicationDirPath(), QStringLiteral(VM_SOURCE_DIR));
    const ProgramWindows windows(setup);
    MainWindow& main = windows.Main();
    main.setWindowState(Qt::WindowNoState);
    main.resize(1280, 800);
    main.show();
    Settle(main);
    main.OpenModel();
    main.ModelPage().Scene().navigator.TurnHorizontal(25.0);
    main.ModelPage().Scene().navigator.TurnVertical(-20.0);
    main.ModelPage().SceneViewer().update();
    bool ok = Save(main, folder + QStringLiteral("/model-tab.png"));
    auto* guideDots = main.findChild<QCheckBox*>(QStringLiteral("guideDotsCheck"));
    guideDots->setChecked(true);
    main.ModelPage().ShowStereogram(true);
    ok = Save(main, folder + QStringLiteral("/model-tab-stereogram.png")) && ok;
    main.ModelPage().ShowStereogram(false);
    guideDots->setChecked(false);

    Settle(main);  // grabbing renders the 3D view again, and a capture follows
    main.OpenDepthMap();
    ok = Save(main, folder + QStringLiteral("/main-window.png")) && ok;

    windows.Config().show();
    ok = Save(windows.Config(), folder + QStringLiteral("/configuration.png")) && ok;
    windows.Config().hide();

    main.SizeMenu()->actions().at(4)->trigger();  // " 800 x 600", the "Default" preset's size
    main.RenderWithProgress();
    ok = Save(windows.Preview(), folder + QStringLiteral("/preview.png")) && ok;

    // The sizes where layout goes wrong first: the preview of the narrowest picture (the
    // window's minimum width) and the main window at its minimum size.
    windows.Preview().hide();  // shown again, it takes the width the small picture gives it
    main.SizeMenu()->actions().at(0)->trigger();  // " 320 x 200"
    main.RenderWithProgress();
    ok = Save(windows.Preview(), folder + QStringLiteral("/preview-narrow.png")) && ok;
    windows.Preview().hide();
    main.resize(main.minimumSize());
    main.activateWindow();
    ok = Save(main, folder + QStringLiteral("/main-window-minimum.png")) && ok;
    main.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentIndex(0);
    Settle(main);
    ok = Save(main, folder + QStringLiteral("/model-tab-minimum.png")) && ok;
    return ok ? 0 : 1;
}
