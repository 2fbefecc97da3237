#include "cli/SceneDepth.h"

#include "output/PictureWriters.h"
#include "scene3d/DepthMapping.h"
#include "scene3d/GLzBuffer.h"
#include "scene3d/HeadlessView.h"
#include "scene3d/SceneActions.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace vistamaze::cli {

namespace {

// Qt's own notes (a missing runtime folder and the like) are not for the renderer's user, whose
// stderr carries one line per failure; only Qt's critical messages get through.
void QuietMessages(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

// The 3D text needs Qt's font database, which needs a QGuiApplication; the "offscreen" platform
// gives one without a display. Its GL is not used: the scene is drawn through surfaceless EGL.
class FontApplication {
public:
    FontApplication() {
        if (QCoreApplication::instance() == nullptr) {
            previousHandler_ = qInstallMessageHandler(&QuietMessages);
            app_.emplace(argc_, argv_.data());
        }
    }
    ~FontApplication() {
        if (app_) {
            app_.reset();
            qInstallMessageHandler(previousHandler_);
        }
    }
    FontApplication(const FontApplication&) = delete;
    FontApplication& operator=(const FontApplication&) = delete;

private:
    // QGuiApplication keeps references to argc and argv for its whole life.
    std::array<char, 17> name_{"vistamaze-render"};
    std::array<char, 10> platformFlag_{"-platform"};
    std::array<char, 10> platform_{"offscreen"};
    int argc_ = 3;
    std::array<char*, 4> argv_{name_.data(), platformFlag_.data(), platform_.data(), nullptr};
    QtMessageHandler previousHandler_ = nullptr;
    std::optional<QGuiApplication> app_;
};

// Puts the model or the text into the start-up scene and frames it as the desktop program does.
void SetUpScene(Scene3d& scene, const SceneOptions& s) {
    if (!s.font.empty()) {
        QFont font = scene.GLSpaceText1.Font();
        font.setFamily(QString::fromStdString(s.font));
        scene.GLSpaceText1.SetFont(font);
    }
    // The camera reset takes the near plane of the last render, and a display-free run has had
    // none: record one of this view at the focal length the reset itself sets.
    scene.GLCamera2.SetFocalLength(kResetFocalLength);
    PrimeCamera(scene, s.viewWidth, s.viewHeight);
    if (s.text) {
        ShowSpaceText(scene, QString::fromStdString(*s.text));
    } else {
        LoadModelIntoScene(scene, s.model, s.viewWidth);
    }
    ResetSceneView(scene);
    if (TGLSceneObject* moving = scene.GLNavigator1.MovingObject(); moving != nullptr) {
        RotateAboutSceneAxes(*moving, s.rotate[0], s.rotate[1], s.rotate[2]);
    }
}

}  // namespace

Picture CaptureSceneDepth(const RenderOptions& options) {
    const SceneOptions& s = options.scene;
    const FontApplication application;
    const std::unique_ptr<Scene3d> scene = BuildInitialScene();
    SetUpScene(*scene, s);

    HeadlessView view(s.viewWidth, s.viewHeight);
    if (s.background) {
        view.SetBackgroundColor(QColor::fromRgb(*s.background));
    }
    view.Render(*scene, scene->GLCamera2);
    TGLzBuffer zBuffer;
    zBuffer.LinkToViewer(view);
    const std::vector<float>& depths = zBuffer.ReadDepth();
    const DepthRange range = ComputeDepthRange(depths, DepthSliders{s.depthMin, s.depthMax, s.depthSpace});
    PixelBuffer image;
    MapDepthsToImage(depths, s.viewWidth, s.viewHeight, range, image);

    if (!s.pictureOut.empty()) {
        SavePictureByExtension(Picture(view.ColorSnapshot()), s.pictureOut, options.quality,
                               std::to_string(options.dpi), options.png);
    }
    return Picture(std::move(image));
}

}  // namespace vistamaze::cli
