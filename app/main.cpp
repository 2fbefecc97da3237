// vistamaze: the desktop program. Start-up order: the OpenGL defaults, the application, the main
// window (whose creation sets up the folders), then the message loop.
#include "workspace/Test1.h"
#include "workspace/VistamazeApplication.h"

#include <QDir>
#include <QStandardPaths>
#include <QSurfaceFormat>

namespace {

// The 3D views need a compatibility-profile context with a 24-bit depth buffer, and Qt takes the
// default format only from before the application exists.
void SetDefaultSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

vistamaze::MainWindowSetup StartupSetup() {
    vistamaze::MainWindowSetup setup;
    setup.documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    setup.folders = vistamaze::FindProgramFolders(QCoreApplication::applicationDirPath(),
                                                  QStringLiteral(VM_SOURCE_DIR));
    return setup;
}

}  // namespace

int main(int argc, char** argv) {
    SetDefaultSurfaceFormat();
    vistamaze::VistamazeApplication app(argc, argv);
    vistamaze::TfmMain fmMain(StartupSetup());
    fmMain.show();
    return vistamaze::VistamazeApplication::exec();
}
