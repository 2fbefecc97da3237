// vistamaze: the desktop program. Start-up order: the OpenGL defaults, the application, the
// windows (the main window first, whose creation sets up the folders), then the message loop.
#include "scene3d/SceneView.h"
#include "vistamaze/Version.h"
#include "workspace/AboutBox.h"
#include "workspace/ProgramWindows.h"
#include "workspace/VistamazeApplication.h"

#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <cstring>
#include <iostream>

namespace {

constexpr const char* kUsage =
    "Usage: vistamaze [FILE]\n"
    "Makes single-image stereograms from depth maps, 3D models and 3D text.\n"
    "FILE is opened at start: a 3D model on the \"3D model\" tab, a picture as the depth map.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Qt's own options (-platform, -display, -style, ...) are taken as well.\n"
    "Stereograms without a window: vistamaze-render (man vistamaze-render).\n";

// Answers --help and --version, the only argument, before Qt starts: they need no display.
// Returns whether it answered.
bool AnswerInformationOption(int argc, char** argv) {
    if (argc != 2) {
        return false;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "vistamaze " << vistamaze::kVersion << "\n";
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::cout << kUsage;
        return true;
    }
    return false;
}

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
    if (AnswerInformationOption(argc, argv)) {
        return 0;
    }
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
