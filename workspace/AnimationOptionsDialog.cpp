#include "workspace/AnimationOptionsDialog.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "output/PictureResolution.h"
#include "output/WavFile.h"
#include "ui_AnimationOptionsDialog.h"
#include "workspace/HelpContext.h"
#include "workspace/VistamazeApplication.h"

#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <array>
#include <filesystem>
#include <optional>

namespace vistamaze {
namespace {

constexpr int kDefaultScreenSizeItem = 34;  // "1920x1080"
constexpr int kDefaultFpsItem = 4;          // "25"
constexpr std::array kFpsOfItem{10, 12, 15, 24, 25, 30};

std::optional<int> WholeNumber(const QString& text) {
    return ParseWholeNumber(text.toStdString());
}

// A field whose text cannot be taken; Start shows the message and selects the field.
class FieldError : public Error {
public:
    FieldError(QLineEdit* field, const std::string& message) : Error(message), field_(field) {}
    [[nodiscard]] QLineEdit* Field() const noexcept { return field_; }

private:
    QLineEdit* field_;
};

int IntegerField(QLineEdit* edit) {
    const QString text = edit->text();
    if (const std::optional<int> value = WholeNumber(text)) {
        return *value;
    }
    throw FieldError(edit, "'" + text.toStdString() + "' is not a valid integer value");
}

// Real numbers follow the user's locale for the decimal separator, as the main window's fields do.
double RealField(QLineEdit* edit) {
    const QString text = edit->text();
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok) {
        throw FieldError(edit, "'" + text.toStdString() + "' is not a valid floating point value");
    }
    return value;
}

// The sound track field: empty for none, else a WAV file that can be read now, so that a movie
// is not rendered only to fail when its sound is added.
QString SoundTrackField(QLineEdit* edit) {
    const QString file = edit->text().trimmed();
    if (file.isEmpty()) {
        return file;
    }
    const std::filesystem::path path(QFile::encodeName(file).toStdString());
    if (QFileInfo(file).suffix().toLower() != QStringLiteral("wav")) {
        throw FieldError(edit, "Sound track " + QuotedName(path) + ": not a WAV file (.wav)");
    }
    try {
        const WavFile sound(path);
    } catch (const AviError& e) {
        throw FieldError(edit, "Sound track " + QuotedName(path) + ": " + e.Reason());
    }
    return file;
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

AnimationOptionsDialog::AnimationOptionsDialog(QWidget* parent) : QDialog(parent) {
    ui_ = std::make_unique<Ui::AnimationOptionsDialog>();
    ui_->setupUi(this);
    SetHelpContext(this, kHelpAnimation);
    auto* types = new QButtonGroup(this);
    types->addButton(ui_->randomDotButton, kRandomDotItem);
    types->addButton(ui_->randomDotTexturedButton, kRandomDotTexturedItem);
    types->addButton(ui_->texturedButton, kTexturedItem);
    connect(ui_->startButton, &QPushButton::clicked, this, &AnimationOptionsDialog::Start);
    connect(ui_->closeButton, &QPushButton::clicked, this, &AnimationOptionsDialog::CloseDialog);
    connect(ui_->soundTrackButton, &QPushButton::clicked, this, &AnimationOptionsDialog::BrowseSoundTrack);
    ResetOptions();
}

AnimationOptionsDialog::~AnimationOptionsDialog() = default;

void AnimationOptionsDialog::ResetOptions() {
    options_ = AnimationOptions{};
    ui_->screenSizeBox->setCurrentIndex(kDefaultScreenSizeItem);
    ui_->fpsBox->setCurrentIndex(kDefaultFpsItem);
}

int AnimationOptionsDialog::StereogramTypeItem() const {
    if (ui_->randomDotButton->isChecked()) {
        return kRandomDotItem;
    }
    return ui_->randomDotTexturedButton->isChecked() ? kRandomDotTexturedItem : kTexturedItem;
}

void AnimationOptionsDialog::Start() {
    try {
        ReadAnimationOptions();
    } catch (const FieldError& e) {
        VistamazeApplication::AppDialogs().ShowMessage(this, MessageKind::Error, QString::fromUtf8(e.what()));
        e.Field()->setFocus(Qt::OtherFocusReason);
        e.Field()->selectAll();
        return;
    }
    started_ = true;
    accept();
}

void AnimationOptionsDialog::BrowseSoundTrack() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Select sound track");
    request.filter = QStringLiteral("WAV files (*.WAV)|*.WAV");
    const QString current = ui_->soundTrackEdit->text().trimmed();
    if (!current.isEmpty()) {
        request.initialFolder = QFileInfo(current).absolutePath();
        request.fileName = current;
    }
    if (const std::optional<QString> file = VistamazeApplication::AppDialogs().OpenFile(this, request)) {
        ui_->soundTrackEdit->setText(*file);
    }
}

void AnimationOptionsDialog::CloseDialog() {
    reject();
}

void AnimationOptionsDialog::reject() {
    started_ = false;
    QDialog::reject();
}

void AnimationOptionsDialog::ReadAnimationOptions() {
    AnimationOptions options = options_;
    const FrameSize size = ParseScreenSizeItem(ui_->screenSizeBox->currentText());
    options.width = size.width;
    options.height = size.height;
    if (const int item = ui_->fpsBox->currentIndex();
        item >= 0 && item < static_cast<int>(kFpsOfItem.size())) {
        options.fps = kFpsOfItem[static_cast<std::size_t>(item)];
    }
    AnimationSteps& steps = options.steps;
    options.frames = IntegerField(ui_->frameCountEdit);
    steps.rotateX = IntegerField(ui_->rotationXEdit);
    steps.rotateY = IntegerField(ui_->rotationYEdit);
    steps.rotateZ = IntegerField(ui_->rotationZEdit);
    steps.zoom = IntegerField(ui_->cameraZoomEdit);
    steps.cameraX = IntegerField(ui_->cameraXEdit);
    steps.cameraY = IntegerField(ui_->cameraYEdit);
    steps.textureScale = RealField(ui_->textureScaleEdit);
    steps.textureX = IntegerField(ui_->textureXEdit);
    steps.textureY = IntegerField(ui_->textureYEdit);
    soundTrack_ = SoundTrackField(ui_->soundTrackEdit);
    options_ = options;
}

void AnimationOptionsDialog::showEvent(QShowEvent* event) {
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
