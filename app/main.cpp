// vistamaze: the desktop program. Start-up order: the OpenGL defaults, the application, the
// windows (the main window first, whose creation sets up the folders), then the message loop.
#include "scene3d/SceneView.h"
#include "workspace/AboutBox.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"

#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <csignal>

namespace {

vistamaze::MainWindowSetup StartupSetup() {
    vistamaze::MainWindowSetup setup;
    setup.documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    setup.folders = vistamaze::FindProgramFolders(QCoreApplication::applicationDirPath(), QString());
    // The installed documentation; there is no maker's address, so the mail link is not shown.
    setup.webPage = vistamaze::ProjectPageUrl(setup.folders.program, QString());
    return setup;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);  // writes past a file size limit fail with EFBIG instead
    vistamaze::SetDefaultGLSurfaceFormat();
    vistamaze::VistamazeApplication app(argc, argv);
    const vistamaze::ProgramWindows windows(StartupSetup());
    windows.Main().show();
    // A file handed over by the desktop ("Open with", a double click) opens once the loop runs,
    // so that an error reaches the program's error report.
    if (const QStringList arguments = QCoreApplication::arguments(); arguments.size() > 1) {
        QTimer::singleShot(0, &windows.Main(),
                           [&windows, file = arguments.at(1)] { windows.Main().OpenFile(file); });
    }
    return vistamaze::VistamazeApplication::exec();
}
