#include "workspace/PreviewWindow.h"

#include "output/PictureWriters.h"
#include "ui_PreviewWindow.h"
#include "workspace/BusyCursor.h"
#include "workspace/FlowLayout.h"
#include "workspace/GuiResources.h"
#include "workspace/HelpContext.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewZoom.h"
#include "workspace/VistamazeApplication.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSpinBox>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <filesystem>

namespace vistamaze {
namespace {

constexpr int kToolButtonWidth = 41;
constexpr int kToolButtonHeight = 36;
constexpr int kExtraWidth = 15;
constexpr int kExtraHeight = 38;
constexpr int kDelayedUpdateMs = 800;
constexpr int kStereogramJpegQuality = 95;
constexpr int kPanelSpacing = 6;
constexpr int kPanelRowSpacing = 2;

const char* const kSaveFilter =
    "BMP files (*.BMP)|*.BMP|JPG files (*.JPG)|*.JPG|PNG files (*.PNG)|*.PNG|TGA files (*.TGA)|*.TGA";

// Stops the delayed update's timer whenever the mouse moves over a field: an update still waiting
// is dropped until the next change.
class StopTimerOnMouseMove final : public QObject {
public:
    StopTimerOnMouseMove(QObject* parent, QTimer& timer) : QObject(parent), timer_(timer) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove) {
            timer_.stop();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTimer& timer_;
};

}  // namespace

PreviewPlacement PlacePreview(const QRect& screen, QSize image, int toolbarHeight) {
    if (screen.width() < image.width() && screen.height() < image.height()) {
        return {true, QRect()};
    }
    const int left = std::max(0, (screen.width() - image.width()) / 2);
    const int top = std::max(0, (screen.height() - image.height()) / 2);
    return {false, QRect(screen.x() + left, screen.y() + top, image.width() + kExtraWidth,
                         image.height() + toolbarHeight + kExtraHeight)};
}

PreviewWindow::PreviewWindow(QString userDataFolder, std::function<QString()> dpiText, QWidget* parent)
    : QWidget(parent, Qt::Window), userDataFolder_(std::move(userDataFolder)), dpiText_(std::move(dpiText)) {
    InitGuiResources();
    ui_ = std::make_unique<Ui::PreviewWindow>();
    ui_->setupUi(this);
    SetHelpContext(this, kHelpPreview);
    ui_->scrollArea->setBackgroundRole(QPalette::Dark);
    for (QAction* action : ui_->toolBar->actions()) {
        if (QWidget* button = ui_->toolBar->widgetForAction(action); !action->isSeparator() && button) {
            button->setFixedSize(kToolButtonWidth, kToolButtonHeight);
        }
    }
    LayOutPanel();
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("contextMenu"));
    contextMenu_->addAction(ui_->closeAction);
    contextMenu_->addSeparator();
    contextMenu_->addAction(ui_->saveImageAction);
    updateTimer_.setObjectName(QStringLiteral("updateTimer"));
    updateTimer_.setParent(this);
    updateTimer_.setSingleShot(true);
    updateTimer_.setInterval(kDelayedUpdateMs);
    ConnectControls();
}

PreviewWindow::~PreviewWindow() = default;

// The preview is as wide as its picture, so narrow windows are normal: the tool bar and the
// field groups flow into as many rows as the width needs, each at its full size. The tool bar
// never gets less than its size hint, so no button goes into an overflow menu.
void PreviewWindow::LayOutPanel() {
    auto* flow = new FlowLayout(ui_->toolPanel, kPanelSpacing, kPanelRowSpacing);
    flow->setContentsMargins(2, 1, 4, 1);
    ui_->toolBar->setMovable(false);
    ui_->toolBar->setMinimumWidth(ui_->toolBar->sizeHint().width());
    for (QWidget* item : std::initializer_list<QWidget*>{
             ui_->toolBar, ui_->positionGroup, ui_->cropGroup, ui_->rightGroup, ui_->bottomGroup,
             ui_->textureScaleGroup, ui_->seamlessGroup, ui_->zoomGroup}) {
        flow->addWidget(item);
    }
}

int PreviewWindow::PanelHeightFor(int windowWidth) const {
    return std::max(kToolbarPanelHeight, ui_->toolPanel->heightForWidth(windowWidth));
}

void PreviewWindow::ConnectControls() {
    // A window shortcut sees Esc before the focused control, a spin edit included.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(ui_->closeAction, &QAction::triggered, this, &QWidget::hide);
    connect(ui_->saveStereogramButton, &QAction::triggered, this, &PreviewWindow::SaveStereogram);
    connect(ui_->saveImageAction, &QAction::triggered, this, &PreviewWindow::SaveStereogram);
    connect(ui_->pictureLabel, &QWidget::customContextMenuRequested, this, &PreviewWindow::ShowPopupMenu);
    ConnectZoom();
    ConnectTextureControls();
}

void PreviewWindow::ConnectZoom() {
    connect(ui_->zoomFitButton, &QToolButton::clicked, this, &PreviewWindow::FitToWindow);
    connect(ui_->zoomActualSizeButton, &QToolButton::clicked, this, [this] { SetZoom(1.0); });
    const auto addShortcut = [this](const QKeySequence& keys, auto action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { SetZoom(1.0); });
    addShortcut(QKeySequence::ZoomIn, [this] { SetZoom(StepZoom(zoom_, 1)); });
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { SetZoom(StepZoom(zoom_, 1)); });
    addShortcut(QKeySequence::ZoomOut, [this] { SetZoom(StepZoom(zoom_, -1)); });
    ui_->scrollArea->viewport()->installEventFilter(this);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->scrollArea->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers().testFlag(Qt::ControlModifier)) {
            // Whole notches only: a touch pad's small deltas add up until one is complete.
            wheelDelta_ += wheel->angleDelta().y();
            const int steps = wheelDelta_ / QWheelEvent::DefaultDeltasPerStep;
            wheelDelta_ -= steps * QWheelEvent::DefaultDeltasPerStep;
            if (steps != 0) {
                SetZoom(StepZoom(zoom_, steps));
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewWindow::ConnectTextureControls() {
    const auto withHost = [this](auto action) {
        return [this, action] {
            if (host_ != nullptr) {
                action(*host_);
            }
        };
    };
    connect(ui_->previousTextureButton, &QAction::triggered, this,
            withHost([](PreviewTextureHost& host) { host.PreviousTexture(); }));
    connect(ui_->nextTextureButton, &QAction::triggered, this,
            withHost([](PreviewTextureHost& host) { host.NextTexture(); }));
    connect(ui_->chooseTextureButton, &QAction::triggered, this, withHost([](PreviewTextureHost& host) {
                host.ChooseTexture();
                host.Render();
            }));
    connect(ui_->stretchButton, &QAction::triggered, this, withHost([this](PreviewTextureHost& host) {
                host.SetStretchTexture(ui_->stretchButton->isChecked());
                host.Render();
            }));
    connect(ui_->horizontalMirrorButton, &QAction::triggered, this,
            withHost([this](PreviewTextureHost& host) {
                host.SetHorizontalMirror(ui_->horizontalMirrorButton->isChecked());
                host.RebuildTexture();
                host.Render();
            }));
    connect(ui_->verticalMirrorButton, &QAction::triggered, this, withHost([this](PreviewTextureHost& host) {
                host.SetVerticalMirror(ui_->verticalMirrorButton->isChecked());
                host.RebuildTexture();
                host.Render();
            }));
    // Only the user's choice counts: a texture load sets "none" without a rebuild.
    connect(ui_->seamlessBox, &QComboBox::activated, this, withHost([](PreviewTextureHost& host) {
                host.RebuildTexture();
                host.Render();
            }));
    for (QSpinBox* field : {ui_->offsetXField, ui_->offsetYField, ui_->cropLeftField, ui_->cropTopField,
                            ui_->cropRightField, ui_->cropBottomField}) {
        connect(field, &QSpinBox::valueChanged, this, &PreviewWindow::DelayedUpdate);
    }
    connect(ui_->textureScaleField, &QDoubleSpinBox::valueChanged, this, &PreviewWindow::DelayedUpdate);
    for (QAbstractSpinBox* field : std::initializer_list<QAbstractSpinBox*>{
             ui_->offsetXField, ui_->offsetYField, ui_->cropLeftField, ui_->cropTopField, ui_->cropRightField,
             ui_->cropBottomField, ui_->textureScaleField}) {
        auto* filter = new StopTimerOnMouseMove(field, updateTimer_);
        for (QWidget* part :
             {static_cast<QWidget*>(field), static_cast<QWidget*>(field->findChild<QLineEdit*>())}) {
            if (part != nullptr) {
                part->setMouseTracking(true);
                part->installEventFilter(filter);
            }
        }
    }
    connect(&updateTimer_, &QTimer::timeout, this, &PreviewWindow::ApplyDelayedUpdate);
}

void PreviewWindow::DelayedUpdate() {
    if (host_ == nullptr || host_->TextureLoading()) {
        return;
    }
    // Errors here (applying the settings) are dropped and leave the timer alone: the rebuild
    // then waits for the next change.
    try {
        host_->SetTextureOffset(ui_->offsetXField->value(), ui_->offsetYField->value());
        if (ui_->textureScaleField->value() != 100.0) {
            // A scale below 100 % and stretching exclude each other.
            ui_->stretchButton->setChecked(false);
            host_->SetStretchTexture(false);
        }
    } catch (const std::exception&) {
        return;
    }
    updateTimer_.stop();
    updateTimer_.start();
}

void PreviewWindow::ApplyDelayedUpdate() {
    updateTimer_.stop();
    if (host_ == nullptr || host_->TextureLoading()) {
        return;
    }
    host_->SetTextureScale(ui_->textureScaleField->value());
    host_->RebuildTexture();
    host_->Render();
}

QSpinBox* PreviewWindow::OffsetXField() const {
    return ui_->offsetXField;
}
QSpinBox* PreviewWindow::OffsetYField() const {
    return ui_->offsetYField;
}
QSpinBox* PreviewWindow::CropLeftField() const {
    return ui_->cropLeftField;
}
QSpinBox* PreviewWindow::CropTopField() const {
    return ui_->cropTopField;
}
QSpinBox* PreviewWindow::CropRightField() const {
    return ui_->cropRightField;
}
QSpinBox* PreviewWindow::CropBottomField() const {
    return ui_->cropBottomField;
}
QDoubleSpinBox* PreviewWindow::TextureScaleField() const {
    return ui_->textureScaleField;
}
QComboBox* PreviewWindow::SeamlessBox() const {
    return ui_->seamlessBox;
}
QAction* PreviewWindow::StretchButton() const {
    return ui_->stretchButton;
}
QAction* PreviewWindow::HorizontalMirrorButton() const {
    return ui_->horizontalMirrorButton;
}
QAction* PreviewWindow::VerticalMirrorButton() const {
    return ui_->verticalMirrorButton;
}

QLabel* PreviewWindow::PictureLabel() const {
    return ui_->pictureLabel;
}

int PreviewWindow::ToolbarPanelHeight() const {
    return PanelHeightFor(width());
}

void PreviewWindow::SetStereogram(const PixelBuffer& picture) {
    stereogram_.Assign(picture.BitsPerPixel() == 24 ? picture : picture.To24Bit());
    fullPixmap_ = QPixmap::fromImage(ToQImage(stereogram_.Bitmap()));
    ShowZoomed();
}

void PreviewWindow::SetZoom(double zoom) {
    zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
    ShowZoomed();
}

void PreviewWindow::FitToWindow() {
    SetZoom(FitZoom(fullPixmap_.size(), ui_->scrollArea->maximumViewportSize()));
}

void PreviewWindow::ShowZoomed() {
    ui_->zoomLabel->setText(ZoomText(zoom_));
    if (fullPixmap_.isNull()) {
        return;
    }
    const QSize shown = ZoomedSize(fullPixmap_.size(), zoom_);
    if (shown == fullPixmap_.size()) {
        ui_->pictureLabel->setPixmap(fullPixmap_);
    } else {
        // Enlarged pixel by pixel, so the dots stay sharp; reduced smoothly, so fine patterns
        // do not alias.
        ui_->pictureLabel->setPixmap(fullPixmap_.scaled(
            shown, Qt::IgnoreAspectRatio, zoom_ > 1.0 ? Qt::FastTransformation : Qt::SmoothTransformation));
    }
    ui_->pictureLabel->setFixedSize(shown);
}

void PreviewWindow::SaveStereogram() {
    SaveThroughDialog(stereogram_, kStereogramJpegQuality);
}

void PreviewWindow::SavePictureThroughDialog(const Picture& picture, int jpegQuality) {
    saveFileName_.clear();
    SaveThroughDialog(picture, jpegQuality);
}

void PreviewWindow::SaveThroughDialog(const Picture& picture, int jpegQuality) {
    FileDialogRequest request;
    request.initialFolder = userDataFolder_;
    request.fileName = saveFileName_;
    request.filter = QString::fromLatin1(kSaveFilter);
    request.defaultSuffix = QStringLiteral("JPG");
    const std::optional<QString> chosen = VistamazeApplication::AppDialogs().SaveFile(this, request);
    if (!chosen) {
        return;
    }
    saveFileName_ = *chosen;
    const BusyCursor busy;
    const QString dpi = dpiText_ ? dpiText_() : QString();
    SavePictureByExtension(picture, std::filesystem::path(QFile::encodeName(*chosen).toStdString()),
                           jpegQuality, dpi.toStdString());
}

void PreviewWindow::ShowPopupMenu(const QPoint& pos) {
    contextMenu_->popup(ui_->pictureLabel->mapToGlobal(pos));
}

void PreviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Spontaneous show events come from the window system (a window restored from the task
    // bar): only going from hidden to shown places the window.
    if (!event->spontaneous()) {
        PlaceOnScreen();
    }
}

void PreviewWindow::PlaceOnScreen() {
    // The available area, not the whole screen: a window placed under a panel could not be
    // moved back by its caption.
    const QScreen* area = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QSize image = ui_->pictureLabel->size();
    const PreviewPlacement placement =
        PlacePreview(area != nullptr ? area->availableGeometry() : QRect(0, 0, 1024, 768), image,
                     PanelHeightFor(std::max(minimumWidth(), image.width() + kExtraWidth)));
    QCoreApplication::processEvents();
    if (placement.maximised) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        return;
    }
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    resize(placement.geometry.size());
    move(placement.geometry.topLeft());
    QCoreApplication::processEvents();
}

}  // namespace vistamaze
