#include "workspace/ModelTab.h"

#include "output/PictureWriters.h"
#include "scene3d/OffscreenView.h"
#include "scene3d/SceneView.h"
#include "scene3d/SceneActions.h"
#include "scene3d/SpaceTextGeometry.h"
#include "ui_ModelTab.h"
#include "workspace/BusyCursor.h"
#include "workspace/DepthView.h"
#include "workspace/FlowLayout.h"
#include "workspace/PictureConversion.h"
#include "workspace/VistamazeApplication.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
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
    ui_->GLSceneViewer1->SetScene(scene_.get());
    ui_->GLSceneViewer1->SetCamera(&scene_->GLCamera2);
    ui_->GLSceneViewer1->SetBackgroundColor(backgroundColor_);
    SetPanelColour(ui_->PanelColor, backgroundColor_);
    timerDepth_ = new QTimer(this);
    timerDepth_->setSingleShot(true);
    timerDepth_->setInterval(1);
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
    flow(
        ui_->PanelLeftHeader, ui_->leftHeaderLayout,
        {ui_->GroupBoxScale, ui_->GroupBoxMove, ui_->GroupBoxText, ui_->GroupBoxOptions, ui_->PanelCommands});
    flow(ui_->PanelRightHeader, ui_->rightHeaderLayout, {ui_->GroupBoxDepth, ui_->GroupBoxExport});
}

SceneView& ModelTab::SceneViewer() const noexcept {
    return *ui_->GLSceneViewer1;
}

DepthView& ModelTab::DepthPane() const noexcept {
    return *ui_->Image3DS;
}

QSlider* ModelTab::Slider(const char* name) const {
    return findChild<QSlider*>(QString::fromLatin1(name));
}

void ModelTab::ConnectControls() {
    connect(timerDepth_, &QTimer::timeout, this, &ModelTab::TimerDepthTimer);
    connect(ui_->GLSceneViewer1, &SceneView::PostRender, this, &ModelTab::bRefreshClick);
    connect(ui_->tbScale, &QSlider::valueChanged, this, [this](int position) {
        scene_->GLCamera2.SetSceneScale(position / 1000.0);
        SceneChanged();
    });
    connect(ui_->SpeedButton4, &QToolButton::clicked, this,
            [this] { ui_->tbScale->setValue(ui_->tbScale->value() + kScaleButtonStep); });
    connect(ui_->SpeedButton5, &QToolButton::clicked, this,
            [this] { ui_->tbScale->setValue(ui_->tbScale->value() - kScaleButtonStep); });
    connect(ui_->tbFocus, &QSlider::valueChanged, this, [this](int position) {
        scene_->GLCamera2.SetFocalLength(position);
        ui_->FLLabel->setText(QString::asprintf(" %d mm", position));
        ui_->FLLabel->repaint();
        SceneChanged();
    });
    for (QSlider* slider : {ui_->tbCameraX, ui_->tbCameraY, ui_->tbCameraZ}) {
        connect(slider, &QSlider::valueChanged, this, &ModelTab::tbCameraXChange);
    }
    for (QSlider* slider : {ui_->tbDepthMin, ui_->tbDepthMax, ui_->tbDepthMul}) {
        connect(slider, &QSlider::valueChanged, this, &ModelTab::bRefreshClick);
    }
    connect(ui_->bChangeText, &QPushButton::clicked, this, &ModelTab::bChangeTextClick);
    connect(ui_->Button2, &QPushButton::clicked, this, &ModelTab::Button2Click);
    connect(ui_->bReset, &QPushButton::clicked, this, &ModelTab::bResetClick);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &ModelTab::SaveScenePicture);
    connect(ui_->bRenderAnimation, &QPushButton::clicked, this, &ModelTab::RenderAnimationRequested);
    connect(ui_->bResetDepth, &QPushButton::clicked, this, &ModelTab::bResetDepthClick);
    connect(ui_->bRefresh, &QPushButton::clicked, this, &ModelTab::bRefreshClick);
    connect(ui_->bSaveDepth, &QPushButton::clicked, this, &ModelTab::bSaveDepthClick);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, [this] { ExportLargeDepthMap(ExportTarget::File); });
    connect(ui_->BitBtn3, &QPushButton::clicked, this,
            [this] { ExportLargeDepthMap(ExportTarget::Clipboard); });

    for (QWidget* view : std::initializer_list<QWidget*>{ui_->GLSceneViewer1, ui_->Image3DS}) {
        view->setMouseTracking(false);
        view->installEventFilter(this);
    }
    ui_->Edit1->installEventFilter(this);
    ui_->PanelColor->installEventFilter(this);
    // The wheel scales the view wherever it turns over the tab, sliders included.
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child != ui_->GLSceneViewer1 && child != ui_->Image3DS) {
            child->installEventFilter(this);
        }
    }
}

bool ModelTab::eventFilter(QObject* watched, QEvent* event) {
    const bool isView = watched == ui_->GLSceneViewer1 || watched == ui_->Image3DS;
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
            if (watched == ui_->PanelColor && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                PanelColorClick();
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (watched == ui_->Edit1) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    bChangeTextClick();
                    return true;
                }
            }
            break;
        case QEvent::Resize:
            if (watched == ui_->GLSceneViewer1 && zBuffer_.Viewer() == ui_->GLSceneViewer1) {
                zBuffer_.LinkToViewer(*ui_->GLSceneViewer1);
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ModelTab::FormShow() {
    ui_->tbScale->setValue(static_cast<int>(scene_->GLCamera2.FocalLength()));
    zBuffer_.LinkToViewer(*ui_->GLSceneViewer1);
}

// The tab is resized with the main window (and only then): the scene scale follows the 3D view's
// width as the tab's layout has just set it; the scale slider keeps its place. The divider between
// the two views, dragged or set back to halves after a capture, leaves the scale alone.
void ModelTab::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scene_->GLCamera2.SetSceneScale(ui_->GLSceneViewer1->width() / 460.0);
}

void ModelTab::SceneChanged() {
    ui_->GLSceneViewer1->update();
}

void ModelTab::tbCameraXChange() {
    if (SceneObject* moving = scene_->GLNavigator1.MovingObject()) {
        moving->SetPosition(
            {ui_->tbCameraX->value() / 20.0, ui_->tbCameraY->value() / 20.0, ui_->tbCameraZ->value() / 20.0});
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
    Navigator& navigator = scene_->GLNavigator1;
    if (buttons.testFlag(Qt::LeftButton) && modifiers.testFlag(Qt::ShiftModifier)) {
        ui_->tbCameraX->setValue(ui_->tbCameraX->value() - dx);
        ui_->tbCameraY->setValue(ui_->tbCameraY->value() + dy);
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
    ui_->tbScale->setValue(ui_->tbScale->value() + static_cast<int>(std::trunc(delta / 120.0 * kWheelStep)));
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
    SceneView& view = *ui_->GLSceneViewer1;
    if (scene_->GLCamera2.LastViewWidth() == 0) {
        PrimeCamera(*scene_, view.DepthWidth(), view.DepthHeight());
    }
    LoadModelIntoScene(*scene_, std::move(mesh), ui_->GLSceneViewer1->width());
    bResetClick();
}

void ModelTab::EnableCommands() {
    ui_->bRenderAnimation->setEnabled(true);
    ui_->bSaveDepth->setEnabled(true);
}

void ModelTab::bResetClick() {
    for (QSlider* slider : {ui_->tbCameraX, ui_->tbCameraY, ui_->tbCameraZ}) {
        slider->setValue(0);
    }
    scene_->GLCamera2.SetFocalLength(kResetFocalLength);
    ui_->tbFocus->setValue(static_cast<int>(kResetFocalLength));
    ui_->tbScale->setValue(1000);
    ResetSceneView(*scene_);
    bResetDepthClick();
    SceneChanged();
}

void ModelTab::bResetDepthClick() {
    for (QSlider* slider : {ui_->tbDepthMin, ui_->tbDepthMax, ui_->tbDepthMul}) {
        slider->setValue(0);
    }
}

void ModelTab::bChangeTextClick() {
    ShowSpaceText(*scene_, ui_->Edit1->text());
    ReportMissingGlyphs();
    bResetClick();
}

// Characters that no installed font can draw leave a gap in the 3D text (or nothing at all): the
// status bar names them until the text or its font draws whole again.
void ModelTab::ReportMissingGlyphs() {
    const SpaceText& text = scene_->GLSpaceText1;
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

void ModelTab::Button2Click() {
    SpaceText& text = scene_->GLSpaceText1;
    if (const std::optional<QFont> font = VistamazeApplication::AppDialogs().ChooseFont(this, text.Font())) {
        text.SetFont(*font);
        ReportMissingGlyphs();
        ui_->GLSceneViewer1->RepaintNow();
    }
}

void ModelTab::PanelColorClick() {
    const std::optional<QColor> colour =
        VistamazeApplication::AppDialogs().ChooseColor(this, backgroundColor_);
    if (!colour) {
        return;
    }
    backgroundColor_ = *colour;
    SetPanelColour(ui_->PanelColor, backgroundColor_);
    ui_->GLSceneViewer1->SetBackgroundColor(backgroundColor_);
    if (memoryViewer_) {
        memoryViewer_->SetBackgroundColor(backgroundColor_);
    }
    SceneChanged();
}

void ModelTab::bRefreshClick() {
    if (!timerDepth_->isActive()) {
        timerDepth_->start();
    }
}

void ModelTab::CancelPendingCapture() {
    timerDepth_->stop();
}

void ModelTab::TimerDepthTimer() {
    timerDepth_->stop();
    if (holdCaptures_) {
        return;
    }
    const QList<int> sizes = ui_->Splitter1->sizes();
    const int half = (width() - 30) / 2;
    if (sizes.size() == 2 && sizes[0] != half && half > 0) {
        ui_->Splitter1->setSizes({half, sizes[0] + sizes[1] - half});
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
        depthRange_ = ComputeDepthRange(
            depths,
            DepthSliders{ui_->tbDepthMin->value(), ui_->tbDepthMax->value(), ui_->tbDepthMul->value()});
    }
    MapDepthsToImage(depths, zBuffer_.Width(), zBuffer_.Height(), depthRange_, depthImage_);
    if (!suppressDepthOutput_ && !holdCaptures_) {
        Publish();
    }
}

void ModelTab::Publish(bool show) {
    ui_->Image3DS->SetImage(ToQImage(depthImage_), show);
    host_.PublishDepthMap(depthImage_);
    EnableCommands();
    emit DepthPublished();
}

OffscreenView& ModelTab::MemoryViewer() {
    if (!memoryViewer_) {
        auto viewer = std::make_unique<OffscreenView>();
        viewer->SetScene(scene_.get());
        viewer->SetCamera(&scene_->GLCamera2);
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

void ModelTab::bSaveDepthClick() {
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
    Camera& camera = scene_->GLCamera2;
    const double focalLength = camera.FocalLength();
    const int viewWidth = zBuffer_.Width();
    const auto restore = [&] {
        zBuffer_.LinkToViewer(*ui_->GLSceneViewer1);
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
