#include "cli/SceneDepth.h"

#include "cli/FileRoles.h"
#include "engine/QuotedName.h"
#include "importer/ModelImporter.h"
#include "output/PictureWriters.h"
#include "scene3d/DepthBuffer.h"
#include "scene3d/DepthMapping.h"
#include "scene3d/HeadlessView.h"
#include "scene3d/SceneActions.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace vistamaze::cli {

namespace {

// Every message through Qt's handler here is Qt's own (a runtime folder it cannot make, a font it
// stands in for, and the like, some of them at critical level): none is for the renderer's user,
// whose stderr carries one line per failure of ours. Only a fatal one, which ends the process, is
// shown, so that the end is explained.
void QuietMessages(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "vistamaze-render: %s\n", qPrintable(message));
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

// Whether the family of `font` is installed, or is a name fontconfig maps to an installed family
// (Arial to Liberation Sans). Qt puts the default font in place of a family it does not know, and
// an unknown name resolves to just that; so does a generic name fontconfig maps to the default font
// (sans-serif), which is refused with the unknown ones (Qt lists its own "Sans Serif").
bool FontFamilyInstalled(const QFont& font) {
    if (QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive) ||
        QFontDatabase::hasFamily(font.family())) {
        return true;
    }
    QFont unknown(font);
    unknown.setFamily(QStringLiteral("vistamaze-render: no such family"));
    return QFontInfo(font).family() != QFontInfo(unknown).family();
}

// Puts the model or the text into the start-up scene and frames it as the desktop program does.
void SetUpScene(Scene3d& scene, const SceneOptions& s) {
    if (!s.font.empty()) {
        QFont font = scene.text.Font();
        font.setFamily(QString::fromStdString(s.font));
        if (!FontFamilyInstalled(font)) {
            throw UsageError("--font: no font family " + QuotedName(std::string_view(s.font)) +
                             " is installed");
        }
        scene.text.SetFont(font);
    }
    // The camera reset takes the near plane of the last render, and a display-free run has had
    // none: record one of this view at the focal length the reset itself sets.
    scene.camera.SetFocalLength(kResetFocalLength);
    PrimeCamera(scene, s.viewWidth, s.viewHeight);
    if (s.text) {
        ShowSpaceText(scene, QString::fromStdString(*s.text));
    } else {
        InRole("model", [&] { LoadModelIntoScene(scene, ModelImporter().Import(s.model), s.viewWidth); });
    }
    ResetSceneView(scene);
    if (SceneObject* moving = scene.navigator.MovingObject(); moving != nullptr) {
        RotateAboutSceneAxes(*moving, s.rotate[0], s.rotate[1], s.rotate[2]);
    }
}

}  // namespace

class SceneCapture::State {
public:
    explicit State(const SceneOptions& s)
        : sliders_{s.depthMin, s.depthMax, s.depthSpace},
          scene_(BuildInitialScene()),
          view_(s.viewWidth, s.viewHeight) {
        SetUpScene(*scene_, s);
        if (s.background) {
            view_.SetBackgroundColor(QColor::fromRgb(*s.background));
        }
        zBuffer_.LinkToViewer(view_);
    }

    DepthSliders sliders_;
    // Made before the scene, whose text needs the fonts, and destroyed after it.
    FontApplication application_;
    std::unique_ptr<Scene3d> scene_;
    HeadlessView view_;
    DepthBuffer zBuffer_;
};

SceneCapture::SceneCapture(const SceneOptions& options) : state_(std::make_unique<State>(options)) {}

SceneCapture::~SceneCapture() = default;

Scene3d& SceneCapture::Scene() noexcept {
    return *state_->scene_;
}

int SceneCapture::Width() const noexcept {
    return state_->view_.Width();
}

int SceneCapture::Height() const noexcept {
    return state_->view_.Height();
}

void SceneCapture::Render() {
    state_->view_.Render(*state_->scene_, state_->scene_->camera);
}

void SceneCapture::SetDepthOnly(bool on) noexcept {
    state_->view_.SetDepthOnly(on);
}

const std::vector<float>& SceneCapture::ReadDepths() {
    return state_->zBuffer_.ReadDepth();
}

DepthRange SceneCapture::RangeOf(const std::vector<float>& depths) const noexcept {
    return ComputeDepthRange(depths, state_->sliders_);
}

void SceneCapture::MapDepths(const std::vector<float>& depths, const DepthRange& range,
                             PixelBuffer& image) const {
    MapDepthsToImage(depths, Width(), Height(), range, image);
}

PixelBuffer SceneCapture::ColorSnapshot() {
    return state_->view_.ColorSnapshot();
}

Picture CaptureSceneDepth(const RenderOptions& options) {
    SceneCapture capture(options.scene);
    capture.Render();
    const std::vector<float>& depths = capture.ReadDepths();
    PixelBuffer image;
    capture.MapDepths(depths, capture.RangeOf(depths), image);
    if (!options.scene.pictureOut.empty()) {
        InRole("scene picture output", [&] {
            SavePictureByExtension(Picture(capture.ColorSnapshot()), options.scene.pictureOut,
                                   options.quality, std::to_string(options.dpi), options.png);
        });
    }
    return Picture(std::move(image));
}

}  // namespace vistamaze::cli
