// Writes the README's screenshots: the main window with the sample torus loaded, the configuration
// dialog and the preview of a render. Run by tools/screenshots.sh (which provides an X display):
//   vm_screenshots <output folder>
#include "workspace/Unit2t.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"
#include "workspace/fm_Config.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>
#include <QWindow>
#include <cstdio>

namespace {

using namespace vistamaze;

// Answers the depth map dialog with the sample; shows nothing else.
class SampleDialogs final : public Dialogs {
public:
    std::optional<QString> OpenFile(QWidget*, const FileDialogRequest&) override {
        return QStringLiteral(VM_SOURCE_DIR "/DepthMaps/Torus.png");
    }
    std::optional<QString> SaveFile(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    void ShowMessage(QWidget*, MessageKind, const QString& text) override {
        std::fprintf(stderr, "vm_screenshots: %s\n", qPrintable(text));
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return std::nullopt; }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&) override { return std::nullopt; }
};

void Settle(QWidget& window) {
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
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
    VistamazeApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    app.SetDialogs(std::make_unique<SampleDialogs>());
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);

    MainWindowSetup setup;
    setup.documentsFolder = QDir::tempPath() + QStringLiteral("/vistamaze-screenshots");
    setup.folders = FindProgramFolders(QCoreApplication::applicationDirPath(), QStringLiteral(VM_SOURCE_DIR));
    const ProgramWindows windows(setup);
    TfmMain& main = windows.Main();
    main.setWindowState(Qt::WindowNoState);
    main.resize(1280, 800);
    main.show();
    Settle(main);
    main.Image2Click();
    bool ok = Save(main, folder + QStringLiteral("/main-window.png"));

    windows.Config().show();
    ok = Save(windows.Config(), folder + QStringLiteral("/configuration.png")) && ok;
    windows.Config().hide();

    main.PopupMenuRES()->actions().at(4)->trigger();  // " 800 x 600"
    main.tbRenderClick();
    ok = Save(windows.Preview(), folder + QStringLiteral("/preview.png")) && ok;
    return ok ? 0 : 1;
}
