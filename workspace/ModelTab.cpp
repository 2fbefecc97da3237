#include "workspace/ModelTab.h"

#include "engine/Errors.h"
#include "output/PictureWriters.h"
#include "scene3d/OffscreenView.h"
#include "scene3d/SceneActions.h"
#include "scene3d/SceneView.h"
#include "scene3d/SpaceTextGeometry.h"
#include "ui_ModelTab.h"
#include "workspace/BusyCursor.h"
#include "workspace/DepthView.h"
#include "workspace/FlowLayout.h"
#include "workspace/PictureConversion.h"
#include "workspace/RememberedChoices.h"
#include "workspace/VistamazeApplication.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

namespace vistamaze {
namespace {

// The model dialog's filter: a combined entry first, then one entry per kind of model file.
constexpr const char* kModelFilter =
    "Supported files|*.3ds; *.prj; *.mli;*.3ds;*.prj;*.mli;*.md2;*.smd;*.dds;*.oct;*.gla;*.glx;*.glm;"
    "*.b3d;*.gts;*.lwo;*.md3;*.md5mesh;*.mdc;*.ms3d;*.nmf;*.nurbs;*.obj;*.ply;*.q3bsp;*.stl;*.tin;*.wrl|"
    "3DStudio files (*.3ds; *.prj; *mli)|*.3ds; *.prj; *.mli|3DStudio object files (*.3ds)|*.3ds|"
    "3DStudio project files (*.prj)|*.prj|3DStudio material files (*.mli)|*.mli|Quake II model files|*.md2|"
    "Half-Life SMD files|*.smd|DDS|*.dds|FSRad OCT file|*.oct|Ghoul2 (GLM, GLX, GLM) model files|"
    "*.gla; *.glx; *.glm|Blitz 3D model|*.b3d|GNU Triangulated Surface|*.gts|Lightwave3D object file 6+|"
    "*.lwo|MD3 files|*.md3|Doom3 mesh files|*.md5mesh|MDC files|*.mdc|MilkShape3D files|*.ms3d|"
    "NormalMapper files|*.nmf|Nurbs model files|*.nurbs|WaveFront model file|*.obj|"
    "Stanford triangle format|*.ply|Quake3 BSP files|*.q3bsp|Stereolithography files|*.stl|"
    "Triangular Irregular Network|*.tin|VRML files|*.wrl";

constexpr const char* kDepthSaveFilter =
    "BMP files (*.BMP)|*.BMP|JPG files (*.JPG)|*.JPG|PNG files (*.PNG)|*.PNG|TGA files (*.TGA)|*.TGA";
constexpr int kDepthJpegQuality = 95;
// The wheel moves the scale slider by this much per notch of 120.
constexpr double kWheelStep = 100.0;
constexpr int kScaleButtonStep = 200;
// Degrees of turn per pixel of drag: 1 / 0.7.
constexpr double kPixelsPerDegree = 0.7;

void SetPanelColour(QWidget* panel, const QColor& colour) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

std::filesystem::path LocalPath(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

}  // namespace

ModelTab::ModelTab(ModelTabHost& host, const ProgramFolders& folders, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::ModelTab>()),
      host_(host),
      folders_(folders),
      modelDialogFolder_(folders.models),
      scene_(BuildInitialScene()),
      backgroundColor_(ColorFromNumber(kInitialBackgroundColor)) {
    ui_->setupUi(this);
    importer_.KeepOneReady();
    LayOutHeaders();
    ui_->sceneView->SetScene(scene_.get());
    ui_->sceneView->SetCamera(&scene_->camera);
    ui_->sceneView->SetBackgroundColor(backgroundColor_);
    SetPanelColour(ui_->colorPanel, backgroundColor_);
    depthTimer_ = new QTimer(this);
    depthTimer_->setSingleShot(true);
    depthTimer_->setInterval(1);
    ConnectControls();
}

ModelTab::~ModelTab() = default;

// The groups above each view wrap into more rows when the half is narrow (a third of the window
// at the program's minimum size) instead of cutting their captions.
void ModelTab::LayOutHeaders() {
    constexpr int kGroupSpacing = 4;
    const auto flow = [](QWidget* panel, QLayout* formLayout, std::initializer_list<QWidget*> groups) {
        const QMargins margins = formLayout->contentsMargins();
        delete formLayout;  // the groups stay children of the panel
        // As high as its rows need at the width it gets: the view below takes the rest.
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        auto* layout = new FlowLayout(panel, kGroupSpacing, kGroupSpacing);
        layout->setContentsMargins(margins);
        for (QWidget* group : groups) {
            layout->addWidget(group);
        }
    };
    flow(ui_->leftHeader, ui_->leftHeaderLayout,
         {ui_->scaleGroup, ui_->moveGroup, ui_->textGroup, ui_->optionsGroup, ui_->commandsPanel});
    flow(ui_->rightHeader, ui_->rightHeaderLayout, {ui_->viewGroup, ui_->depthGroup, ui_->exportGroup});
}

SceneView& ModelTab::SceneViewer() const noexcept {
    return *ui_->sceneView;
}

DepthView& ModelTab::DepthPane() const noexcept {
    return *ui_->depthView;
}

QSlider* ModelTab::Slider(const char* name) const {
    return findChild<QSlider*>(QString::fromLatin1(name));
}

void ModelTab::ConnectControls() {
    connect(depthTimer_, &QTimer::timeout, this, &ModelTab::CaptureAfterRedraw);
    connect(ui_->sceneView, &SceneView::PostRender, this, &ModelTab::RefreshView);
    connect(ui_->scaleSlider, &QSlider::valueChanged, this, [this](int position) {
        scene_->camera.SetSceneScale(position / 1000.0);
        SceneChanged();
    });
    connect(ui_->enlargeButton, &QToolButton::clicked, this,
            [this] { ui_->scaleSlider->setValue(ui_->scaleSlider->value() + kScaleButtonStep); });
    connect(ui_->reduceButton, &QToolButton::clicked, this,
            [this] { ui_->scaleSlider->setValue(ui_->scaleSlider->value() - kScaleButtonStep); });
    connect(ui_->focusSlider, &QSlider::valueChanged, this, [this](int position) {
        scene_->camera.SetFocalLength(position);
        ui_->focalLengthLabel->setText(QString::asprintf(" %d mm", position));
        ui_->focalLengthLabel->repaint();
        SceneChanged();
    });
    for (QSlider* slider : {ui_->cameraXSlider, ui_->cameraYSlider, ui_->cameraZSlider}) {
        connect(slider, &QSlider::valueChanged, this, &ModelTab::MoveCameraFromSliders);
    }
    for (QSlider* slider : {ui_->minDepthSlider, ui_->maxDepthSlider, ui_->depthSpaceSlider}) {
        connect(slider, &QSlider::valueChanged, this, &ModelTab::RefreshView);
    }
    connect(ui_->changeTextButton, &QPushButton::clicked, this, &ModelTab::ChangeText);
    connect(ui_->fontButton, &QPushButton::clicked, this, &ModelTab::ChooseTextFont);
    connect(ui_->resetViewButton, &QPushButton::clicked, this, &ModelTab::ResetView);
    connect(ui_->savePictureButton, &QPushButton::clicked, this, &ModelTab::SaveScenePicture);
    connect(ui_->renderAnimationButton, &QPushButton::clicked, this, &ModelTab::RenderAnimationRequested);
    connect(ui_->resetDepthButton, &QPushButton::clicked, this, &ModelTab::ResetDepthSliders);
    connect(ui_->refreshButton, &QPushButton::clicked, this, &ModelTab::RefreshView);
    connect(ui_->saveDepthButton, &QPushButton::clicked, this, &ModelTab::SaveDepthMap);
    connect(ui_->saveLargeDepthButton, &QPushButton::clicked, this,
            [this] { ExportLargeDepthMap(ExportTarget::File); });
    connect(ui_->copyDepthButton, &QPushButton::clicked, this,
            [this] { ExportLargeDepthMap(ExportTarget::Clipboard); });
    ui_->stereogramViewButton->setChecked(RememberedChoice(choice::kStereogramView, false));
    connect(ui_->stereogramViewButton, &QRadioButton::toggled, this, [this](bool on) {
        RememberChoice(choice::kStereogramView, on);
        if (!depthImage_.Empty() && !holdCaptures_) {
            ShowCapture(true);
        }
    });
    auto* switchView = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(switchView, &QShortcut::activated, this, [this] { ShowStereogram(!StereogramShown()); });

    for (QWidget* view : std::initializer_list<QWidget*>{ui_->sceneView, ui_->depthView}) {
        view->setMouseTracking(false);
        view->installEventFilter(this);
    }
    ui_->textEdit->installEventFilter(this);
    ui_->colorPanel->installEventFilter(this);
    // The wheel scales the view wherever it turns over the tab, sliders included.
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child != ui_->sceneView && child != ui_->depthView) {
            child->installEventFilter(this);
        }
    }
}

bool ModelTab::eventFilter(QObject* watched, QEvent* event) {
    const bool isView = watched == ui_->sceneView || watched == ui_->depthView;
    switch (event->type()) {
        case QEvent::Wheel:
            MouseWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
            event->accept();
            return true;
        case QEvent::MouseButtonPress:
            if (isView) {
                MouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
            }
            break;
        case QEvent::MouseMove:
            if (isView) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                MouseMove(mouse->position().toPoint(), mouse->buttons(), mouse->modifiers());
            }
            break;
        case QEvent::MouseButtonRelease:
            if (watched == ui_->colorPanel && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                ChooseBackgroundColor();
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (watched == ui_->textEdit) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    ChangeText();
                    return true;
                }
            }
            break;
        case QEvent::Resize:
            if (watched == ui_->sceneView && zBuffer_.Viewer() == ui_->sceneView) {
                zBuffer_.LinkToViewer(*ui_->sceneView);
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ModelTab::PrepareFirstShow() {
    ui_->scaleSlider->setValue(static_cast<int>(scene_->camera.FocalLength()));
    zBuffer_.LinkToViewer(*ui_->sceneView);
}

// The tab is resized with the main window (and only then): the scene scale follows the 3D view's
// width as the tab's layout has just set it; the scale slider keeps its place. The divider between
// the two views, dragged or set back to halves after a capture, leaves the scale alone.
void ModelTab::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scene_->camera.SetSceneScale(ui_->sceneView->width() / 460.0);
}

void ModelTab::SceneChanged() {
    ui_->sceneView->update();
}

void ModelTab::MoveCameraFromSliders() {
    if (SceneObject* moving = scene_->navigator.MovingObject()) {
        moving->SetPosition({ui_->cameraXSlider->value() / 20.0, ui_->cameraYSlider->value() / 20.0,
                             ui_->cameraZSlider->value() / 20.0});
    }
    SceneChanged();
}

void ModelTab::MouseDown(const QPoint& pos) {
    lastMouseX_ = pos.x();
    lastMouseY_ = pos.y();
}

void ModelTab::MouseMove(const QPoint& pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    const int dx = lastMouseX_ - pos.x();
    const int dy = lastMouseY_ - pos.y();
    lastMouseX_ = pos.x();
    lastMouseY_ = pos.y();
    Navigator& navigator = scene_->navigator;
    if (buttons.testFlag(Qt::LeftButton) && modifiers.testFlag(Qt::ShiftModifier)) {
        ui_->cameraXSlider->setValue(ui_->cameraXSlider->value() - dx);
        ui_->cameraYSlider->setValue(ui_->cameraYSlider->value() + dy);
    } else if (buttons.testFlag(Qt::LeftButton)) {
        navigator.TurnHorizontal(dx / kPixelsPerDegree);
        navigator.TurnVertical(dy / kPixelsPerDegree);
        SceneChanged();
    } else if (buttons == Qt::RightButton && modifiers == Qt::NoModifier) {
        if (SceneObject* moving = navigator.MovingObject()) {
            moving->SetRollAngle(moving->RollAngle() + ((dx + dy) / 2) / kPixelsPerDegree);
            SceneChanged();
        }
    }
}

void ModelTab::MouseWheel(int delta) {
    ui_->scaleSlider->setValue(ui_->scaleSlider->value() +
                               static_cast<int>(std::trunc(delta / 120.0 * kWheelStep)));
}

void ModelTab::LoadModel() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Choose a file to load");
    request.initialFolder = modelDialogFolder_;
    request.filter = QString::fromLatin1(kModelFilter);
    request.defaultSuffix = QStringLiteral("3ds");
    const std::optional<QString> file = VistamazeApplication::AppDialogs().OpenFile(this, request);
    if (file) {
        modelDialogFolder_.clear();  // the dialog then opens where the user last was
        LoadModelFile(*file);
    }
    EnableCommands();
    host_.EnableModelCommands();
}

void ModelTab::LoadModelFile(const QString& file) {
    Mesh mesh;
    {
        const BusyCursor busy;
        mesh = importer_.Import(LocalPath(file));
    }
    // The camera reset measures from the view's last render. A view that has not rendered yet (a
    // file opened as the program starts) is measured as it stands, or the camera would land on
    // the model's centre.
    SceneView& view = *ui_->sceneView;
    if (scene_->camera.LastViewWidth() == 0) {
        PrimeCamera(*scene_, view.DepthWidth(), view.DepthHeight());
    }
    LoadModelIntoScene(*scene_, std::move(mesh), ui_->sceneView->width());
    ResetView();
}

void ModelTab::EnableCommands() {
    ui_->renderAnimationButton->setEnabled(true);
    ui_->saveDepthButton->setEnabled(true);
}

void ModelTab::ResetView() {
    for (QSlider* slider : {ui_->cameraXSlider, ui_->cameraYSlider, ui_->cameraZSlider}) {
        slider->setValue(0);
    }
    scene_->camera.SetFocalLength(kResetFocalLength);
    ui_->focusSlider->setValue(static_cast<int>(kResetFocalLength));
    ui_->scaleSlider->setValue(1000);
    ResetSceneView(*scene_);
    ResetDepthSliders();
    SceneChanged();
}

void ModelTab::ResetDepthSliders() {
    for (QSlider* slider : {ui_->minDepthSlider, ui_->maxDepthSlider, ui_->depthSpaceSlider}) {
        slider->setValue(0);
    }
}

void ModelTab::ChangeText() {
    ShowSpaceText(*scene_, ui_->textEdit->text());
    ReportMissingGlyphs();
    ResetView();
}

// Characters that no installed font can draw leave a gap in the 3D text (or nothing at all): the
// status bar names them until the text or its font draws whole again.
void ModelTab::ReportMissingGlyphs() {
    const SpaceText& text = scene_->text;
    const QString missing = CharactersWithoutGlyphs(text.Text(), text.Font());
    if (!missing.isEmpty()) {
        host_.ShowStatusNote(
            QStringLiteral("The 3D text cannot draw %1: no installed font has these characters")
                .arg(missing));
        missingGlyphsNoted_ = true;
    } else if (missingGlyphsNoted_) {
        host_.ShowStatusNote(QString());
        missingGlyphsNoted_ = false;
    }
}

void ModelTab::ChooseTextFont() {
    SpaceText& text = scene_->text;
    if (const std::optional<QFont> font = VistamazeApplication::AppDialogs().ChooseFont(this, text.Font())) {
        text.SetFont(*font);
        ReportMissingGlyphs();
        ui_->sceneView->RepaintNow();
    }
}

void ModelTab::ChooseBackgroundColor() {
    const std::optional<QColor> colour =
        VistamazeApplication::AppDialogs().ChooseColor(this, backgroundColor_);
    if (!colour) {
        return;
    }
    backgroundColor_ = *colour;
    SetPanelColour(ui_->colorPanel, backgroundColor_);
    ui_->sceneView->SetBackgroundColor(backgroundColor_);
    if (memoryViewer_) {
        memoryViewer_->SetBackgroundColor(backgroundColor_);
    }
    SceneChanged();
}

void ModelTab::RefreshView() {
    if (!depthTimer_->isActive()) {
        depthTimer_->start();
    }
}

void ModelTab::CancelPendingCapture() {
    depthTimer_->stop();
}

void ModelTab::CaptureAfterRedraw() {
    depthTimer_->stop();
    if (holdCaptures_) {
        return;
    }
    const QList<int> sizes = ui_->splitter->sizes();
    const int half = (width() - 30) / 2;
    if (sizes.size() == 2 && sizes[0] != half && half > 0) {
        ui_->splitter->setSizes({half, sizes[0] + sizes[1] - half});
    }
    CaptureDepthMap();
}

void ModelTab::CaptureDepthMap() {
    if (captureBusy_) {
        return;
    }
    captureBusy_ = true;
    struct ClearBusy {
        bool& flag;
        ~ClearBusy() { flag = false; }
    } clearBusy{captureBusy_};

    const std::vector<float>& depths = zBuffer_.ReadDepth();
    if (!freezeDepthRange_) {
        depthRange_ =
            ComputeDepthRange(depths, DepthSliders{ui_->minDepthSlider->value(), ui_->maxDepthSlider->value(),
                                                   ui_->depthSpaceSlider->value()});
    }
    MapDepthsToImage(depths, zBuffer_.Width(), zBuffer_.Height(), depthRange_, depthImage_);
    if (!suppressDepthOutput_ && !holdCaptures_) {
        Publish();
    }
}

void ModelTab::ShowStereogram(bool on) {
    (on ? ui_->stereogramViewButton : ui_->depthMapViewButton)->setChecked(true);
}

bool ModelTab::StereogramShown() const noexcept {
    return ui_->stereogramViewButton->isChecked();
}

void ModelTab::ShowCapture(bool show) {
    DepthView& view = *ui_->depthView;
    if (!StereogramShown()) {
        view.SetImage(ToQImage(depthImage_), show);
        return;
    }
    // An animation publishes every frame but shows only a few a second: the frames in between are
    // not worth a stereogram.
    if (!show) {
        return;
    }
    // Made at the view's size in device pixels, as the 3D view captures, so it is shown unscaled.
    const double ratio = view.devicePixelRatioF();
    const int width = std::max(1, static_cast<int>(std::lround(view.width() * ratio)));
    const int height = std::max(1, static_cast<int>(std::lround(view.height() * ratio)));
    try {
        QImage picture = liveStereogram_.Render(host_.StereogramSettings(), depthImage_, width, height);
        picture.setDevicePixelRatio(ratio);
        view.SetImage(std::move(picture));
    } catch (const Error& error) {
        // Turning the model must not raise a message box at every step: the view says it instead.
        view.ShowNote(QString::fromStdString(error.what()));
    }
}

void ModelTab::Publish(bool show) {
    ShowCapture(show);
    host_.PublishDepthMap(depthImage_);
    EnableCommands();
    emit DepthPublished();
}

OffscreenView& ModelTab::MemoryViewer() {
    if (!memoryViewer_) {
        auto viewer = std::make_unique<OffscreenView>();
        viewer->SetScene(scene_.get());
        viewer->SetCamera(&scene_->camera);
        viewer->SetBackgroundColor(backgroundColor_);
        memoryViewer_ = std::move(viewer);
    }
    return *memoryViewer_;
}

std::optional<QString> ModelTab::AskDepthFileName() {
    FileDialogRequest request;
    request.initialFolder = folders_.depthMaps;
    request.filter = QString::fromLatin1(kDepthSaveFilter);
    request.defaultSuffix = QStringLiteral("JPG");
    return VistamazeApplication::AppDialogs().SaveFile(this, request);
}

void ModelTab::SaveBitmap(const PixelBuffer& bitmap, const QString& file) {
    const BusyCursor busy;
    SavePictureByExtension(Picture(bitmap), LocalPath(file), kDepthJpegQuality,
                           host_.DpiText().toStdString());
}

void ModelTab::SaveDepthMap() {
    if (depthImage_.Width() == 0) {
        return;
    }
    if (const std::optional<QString> file = AskDepthFileName()) {
        SaveBitmap(depthImage_, *file);
    }
}

template <typename Body>
void ModelTab::WithOffscreenFraming(bool suppressOutput, Body&& body) {
    OffscreenView& memory = MemoryViewer();
    Camera& camera = scene_->camera;
    const double focalLength = camera.FocalLength();
    const int viewWidth = zBuffer_.Width();
    const auto restore = [&] {
        zBuffer_.LinkToViewer(*ui_->sceneView);
        suppressDepthOutput_ = false;
        camera.SetFocalLength(focalLength);
        CaptureDepthMap();
    };
    try {
        suppressDepthOutput_ = suppressOutput;
        camera.SetFocalLength(focalLength * memory.Width() / std::max(viewWidth, 1));
        body(memory);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void ModelTab::ExportLargeDepthMap(ExportTarget target) {
    WithOffscreenFraming(true, [&](OffscreenView& memory) {
        zBuffer_.LinkToViewer(memory);
        memory.Render();
        CaptureDepthMap();
        const PixelBuffer bitmap = depthImage_;
        if (target == ExportTarget::Clipboard) {
            QGuiApplication::clipboard()->setImage(ToQImage(bitmap));
        } else if (const std::optional<QString> file = AskDepthFileName()) {
            SaveBitmap(bitmap, *file);
        }
    });
}

void ModelTab::SaveScenePicture() {
    WithOffscreenFraming(false, [&](OffscreenView& memory) {
        memory.Render();
        const QImage snapshot = memory.ColorSnapshot();
        if (const std::optional<QString> file = AskDepthFileName()) {
            SaveBitmap(FromQImage(snapshot), *file);
        }
    });
}

}  // namespace vistamaze
