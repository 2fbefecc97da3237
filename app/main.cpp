// vistamaze: the desktop program. Start-up order: the OpenGL defaults, the application, the main
// window (whose creation sets up the folders), then the message loop.
#include "workspace/Test1.h"
#include "workspace/VistamazeApplication.h"
#include "workspace/fm_About.h"

#include <QStandardPaths>
#include <QSurfaceFormat>
#include <QUrl>

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
    setup.folders =
        vistamaze::FindProgramFolders(QCoreApplication::applicationDirPath(), QStringLiteral(VM_SOURCE_DIR));
    return setup;
}

}  // namespace

int main(int argc, char** argv) {
    SetDefaultSurfaceFormat();
    vistamaze::VistamazeApplication app(argc, argv);
    const vistamaze::MainWindowSetup setup = StartupSetup();
    vistamaze::TfmMain fmMain(setup);
    // The other windows follow the main window, each created once; the ones not built yet
    // (preview, animation options, progress, configuration) join here in that order.
    vistamaze::TfmAbout fmAbout(
        vistamaze::ProjectPageUrl(setup.folders.program, QStringLiteral(VM_SOURCE_DIR)),
        QUrl(QStringLiteral("mailto:?subject=Vistamaze")));
    fmMain.SetAboutBox(&fmAbout);
    fmMain.show();
    return vistamaze::VistamazeApplication::exec();
}
