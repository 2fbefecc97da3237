#include "workspace/fm_Avi.h"

#include "engine/Errors.h"
#include "output/PictureResolution.h"
#include "ui_fm_Avi.h"
#include "workspace/HelpContext.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <array>
#include <optional>

namespace vistamaze {
namespace {

constexpr int kDefaultScreenSizeItem = 34;  // "1920x1080"
constexpr int kDefaultFpsItem = 4;          // "25"
constexpr std::array kFpsOfItem{10, 12, 15, 24, 25, 30};

std::optional<int> WholeNumber(const QString& text) {
    return ParseWholeNumber(text.toStdString());
}

int IntegerField(const QLineEdit* edit) {
    const QString text = edit->text();
    if (const std::optional<int> value = WholeNumber(text)) {
        return *value;
    }
    throw Error("'" + text.toStdString() + "' is not a valid integer value");
}

// Real numbers follow the user's locale for the decimal separator, as the main window's fields do.
double RealField(const QLineEdit* edit) {
    const QString text = edit->text();
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok) {
        throw Error("'" + text.toStdString() + "' is not a valid floating point value");
    }
    return value;
}

}  // namespace

FrameSize ParseScreenSizeItem(const QString& text) {
    FrameSize size{400, 300};
    const qsizetype x = text.indexOf(QLatin1Char('x'));
    const std::optional<int> width = WholeNumber(x < 0 ? QString() : text.left(x).trimmed());
    if (!width) {
        return size;
    }
    size.width = *width;
    if (const std::optional<int> height = WholeNumber(text.mid(x + 1).trimmed())) {
        size.height = *height;
    }
    return size;
}

TfmAvi::TfmAvi(QWidget* parent) : QDialog(parent) {
    ui_ = std::make_unique<Ui::TfmAvi>();
    ui_->setupUi(this);
    SetHelpContext(this, kHelpAnimation);
    auto* types = new QButtonGroup(this);
    types->addButton(ui_->rgStereogramType_0, kRandomDotItem);
    types->addButton(ui_->rgStereogramType_1, kRandomDotTexturedItem);
    types->addButton(ui_->rgStereogramType_2, kTexturedItem);
    connect(ui_->Button1, &QPushButton::clicked, this, &TfmAvi::Button1Click);
    connect(ui_->Button2, &QPushButton::clicked, this, &TfmAvi::Button2Click);
    FormCreate();
}

TfmAvi::~TfmAvi() = default;

void TfmAvi::FormCreate() {
    options_ = AnimationOptions{};
    ui_->cbScreenSize->setCurrentIndex(kDefaultScreenSizeItem);
    ui_->cbFPS->setCurrentIndex(kDefaultFpsItem);
}

int TfmAvi::StereogramTypeItem() const {
    if (ui_->rgStereogramType_0->isChecked()) {
        return kRandomDotItem;
    }
    return ui_->rgStereogramType_1->isChecked() ? kRandomDotTexturedItem : kTexturedItem;
}

void TfmAvi::Button1Click() {
    started_ = true;
    // The dialog closes as after Start also when a field holds no number; the error then goes
    // on to the application's error report and the animation goes ahead with the options read.
    accept();
    ReadAnimationOptions();
}

void TfmAvi::Button2Click() {
    reject();
}

void TfmAvi::reject() {
    started_ = false;
    QDialog::reject();
}

void TfmAvi::ReadAnimationOptions() {
    const FrameSize size = ParseScreenSizeItem(ui_->cbScreenSize->currentText());
    options_.width = size.width;
    options_.height = size.height;
    if (const int item = ui_->cbFPS->currentIndex();
        item >= 0 && item < static_cast<int>(kFpsOfItem.size())) {
        options_.fps = kFpsOfItem[static_cast<std::size_t>(item)];
    }
    AnimationSteps& steps = options_.steps;
    options_.frames = IntegerField(ui_->eFramesCount);
    steps.rotateX = IntegerField(ui_->eX);
    steps.rotateY = IntegerField(ui_->eY);
    steps.rotateZ = IntegerField(ui_->eZ);
    steps.zoom = IntegerField(ui_->eZoom);
    steps.cameraX = IntegerField(ui_->eCamX);
    steps.cameraY = IntegerField(ui_->eCamY);
    steps.textureScale = RealField(ui_->eScale);
    steps.textureX = IntegerField(ui_->eTextureX);
    steps.textureY = IntegerField(ui_->eTextureY);
}

void TfmAvi::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    started_ = false;
    // QDialog centres a dialog on its parent; this one belongs in the middle of the screen.
    const QScreen* area = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (area != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(area->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace vistamaze
