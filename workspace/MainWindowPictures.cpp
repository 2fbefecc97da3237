#include "engine/Errors.h"
#include "engine/TexturePreparation.h"
#include "formats/ModelFile.h"
#include "output/PictureResolution.h"
#include "ui_MainWindow.h"
#include "workspace/Dialogs.h"
#include "workspace/ImageLoading.h"
#include "workspace/MainWindow.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"
#include "workspace/VistamazeApplication.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QSpinBox>
#include <QStatusBar>
#include <filesystem>
#include <optional>

// The depth map and the texture: loading them, showing them, and preparing the texture the engine
// gets.

namespace vistamaze {
namespace {

QString SizeText(int width, int height) {
    return QStringLiteral("%1 x %2").arg(width).arg(height);
}

}  // namespace

// The depth image control always shows the engine's depth map. Converting a large picture for
// the screen costs milliseconds, so it is redone only when the engine got a new one.
void MainWindow::ShowDepthImage() {
    if (shownDepthGeneration_ != depthMapGeneration_) {
        shownDepthGeneration_ = depthMapGeneration_;
        depthPicture_ = engine_.DepthMap();
        ui_->depthPicture->SetImage(ToQImage(depthPicture_.Bitmap()));
    }
    ui_->depthSizeLabel->setText(SizeText(depthPicture_.Width(), depthPicture_.Height()));
}

void MainWindow::OpenModel() {
    ui_->tabs->setCurrentWidget(ui_->modelPage);
    modelTab_->LoadModel();
}

void MainWindow::PublishDepthMap(const PixelBuffer& depthImage) {
    depthPicture_.Assign(depthImage);
    engine_.SetDepthMap(depthPicture_);
    ++depthMapGeneration_;
    if (ui_->depthPicture->isVisible()) {
        ShowDepthImage();
    }
    ui_->depthSizeLabel->setText(SizeText(depthPicture_.Width(), depthPicture_.Height()));
    EnableRenderCommands();
    EnableAnimationCommands();
}

void MainWindow::EnableModelCommands() {
    EnableRenderCommands();
    EnableAnimationCommands();
}

void MainWindow::ShowStatusNote(const QString& text) {
    if (text.isEmpty()) {
        statusBar()->clearMessage();
    } else {
        statusBar()->showMessage(text);
    }
}

void MainWindow::SaveDepthImage() {
    constexpr int kDepthJpegQuality = 80;
    if (partners_.preview != nullptr) {
        partners_.preview->SavePictureThroughDialog(depthPicture_, kDepthJpegQuality);
    }
}

void MainWindow::OpenDepthMap() {
    ui_->tabs->setCurrentWidget(ui_->stereogramPage);
    AskForDepthMap();
}

void MainWindow::AskForDepthMap() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Select depth map");
    request.filter = PictureDialogFilter();
    request.initialFolder = depthDialogFolder_;
    if (const std::optional<QString> file = VistamazeApplication::AppDialogs().OpenFile(this, request)) {
        ReportPictureLoad(*file, LoadImage(depthPicture_, *file));
        EnableRenderCommands();
        depthDialogFolder_.clear();
    }
    HandDepthImageToEngine();
}

// A file that is no readable picture changes nothing; the status bar says which and why, without
// a box to dismiss. The next picture that loads clears the note.
void MainWindow::ReportPictureLoad(const QString& file, const QString& failure) {
    if (failure.isEmpty()) {
        statusBar()->clearMessage();
        return;
    }
    statusBar()->showMessage(QStringLiteral("Could not read %1: %2")
                                 .arg(QDir::toNativeSeparators(QFileInfo(file).fileName()), failure));
}

void MainWindow::HandDepthImageToEngine() {
    ui_->depthSizeLabel->setText(SizeText(depthPicture_.Width(), depthPicture_.Height()));
    engine_.SetDepthMap(depthPicture_);
    ++depthMapGeneration_;
    ShowEngineSettings();
}

void MainWindow::OpenFile(const QString& file) {
    const std::string extension = QFileInfo(file).suffix().toStdString();
    if (ModelFormatForExtension(extension) != ModelFormat::Unknown) {
        ui_->tabs->setCurrentWidget(ui_->modelPage);
        modelTab_->LoadModelFile(file);
        EnableModelCommands();
        return;
    }
    ui_->tabs->setCurrentWidget(ui_->stereogramPage);
    ReportPictureLoad(file, LoadImage(depthPicture_, file));
    EnableRenderCommands();
    HandDepthImageToEngine();
}

void MainWindow::OpenTexture() {
    ui_->tabs->setCurrentWidget(ui_->stereogramPage);
    AskForTexture();
}

void MainWindow::AskForTexture() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Select texture");
    request.filter = PictureDialogFilter();
    request.initialFolder = textureDialogFolder_;
    request.fileName = textureFileName_;
    if (const std::optional<QString> file = VistamazeApplication::AppDialogs().OpenFile(this, request)) {
        LoadTexture(*file);
    }
}

void MainWindow::LoadTexture(const QString& path) {
    {
        textureLoading_ = true;
        struct ClearFlag {
            bool& flag;
            ~ClearFlag() { flag = false; }
        } clearFlag{textureLoading_};
        textureScale_ = 100.0;
        textureFileName_ = path;
        LoadTextureControls();
        ReportPictureLoad(path, LoadImage(texturePicture_, path));
        textureDialogFolder_.clear();
        RefreshTextureList();
        workingTexture_ = texturePicture_.To24Bit();
        SetTextureRanges(workingTexture_.Width(), workingTexture_.Height());
        PrepareTexture();
    }
    ApplyTexture();
}

// A new texture starts unplaced: scale 100, no offset or crop, no blending, stretched.
void MainWindow::LoadTextureControls() {
    ui_->stretchTextureCheck->setChecked(true);
    engine_.SetStretchTexture(true);
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    preview->TextureScaleField()->setValue(100.0);
    for (QSpinBox* field : {preview->OffsetXField(), preview->OffsetYField(), preview->CropLeftField(),
                            preview->CropTopField(), preview->CropRightField(), preview->CropBottomField()}) {
        field->setValue(0);
    }
    preview->StretchButton()->setChecked(true);
    preview->SeamlessBox()->setCurrentIndex(0);
}

void MainWindow::SetTextureRanges(int width, int height) {
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    for (QSpinBox* field : {preview->OffsetXField(), preview->CropLeftField(), preview->CropRightField()}) {
        field->setMaximum(std::max(0, width - 1));
    }
    for (QSpinBox* field : {preview->OffsetYField(), preview->CropTopField(), preview->CropBottomField()}) {
        field->setMaximum(std::max(0, height - 1));
    }
}

void MainWindow::ShowTextureSize() {
    ui_->textureSizeLabel->setText(SizeText(texturePicture_.Width(), texturePicture_.Height()));
}

void MainWindow::ShowTexture() {
    ShowTextureSize();
    ui_->texturePicture->SetImage(ToQImage(texturePicture_.Bitmap()));
}

void MainWindow::ApplyTexture() {
    ShowTexture();
    PrepareTexture();
    if (const int mode = MirrorMode(); mode != 0) {
        mirroredTexture_ = BuildMirroredTexture(workingTexture_, mode);
        engine_.SetMaskMap(Picture(mirroredTexture_));
    } else {
        engine_.SetMaskMap(Picture(workingTexture_));
    }
    ShowEngineSettings();
}

int MainWindow::MirrorMode() const {
    return (ui_->horizontalMirrorCheck->isChecked() ? 1 : 0) +
           (ui_->verticalMirrorCheck->isChecked() ? 2 : 0);
}

void MainWindow::MirrorTexture() {
    if (PreviewWindow* preview = partners_.preview) {
        preview->HorizontalMirrorButton()->setChecked(ui_->horizontalMirrorCheck->isChecked());
        preview->VerticalMirrorButton()->setChecked(ui_->verticalMirrorCheck->isChecked());
    }
    PrepareTexture();
    const int seamless = partners_.preview != nullptr ? partners_.preview->SeamlessBox()->currentIndex() : 0;
    const bool stretched = ui_->stretchTextureCheck->isChecked();
    // Crop and scale, then mirror, then blend the edges, then hand over.
    PixelBuffer& texture = MirrorMode() == 0 ? workingTexture_ : mirroredTexture_;
    if (MirrorMode() != 0) {
        mirroredTexture_ = BuildMirroredTexture(workingTexture_, MirrorMode());
    }
    if (seamless >= 1) {
        MakeSeamlessTexture(seamless, texture, stretched, engine_.Separation());
    }
    engine_.SetMaskMap(Picture(texture));
}

void MainWindow::PrepareTexture() {
    if (textureScale_ > 100.0) {
        return;
    }
    const int width = texturePicture_.Width();
    const int height = texturePicture_.Height();
    TextureMargins margins;
    if (PreviewWindow* preview = partners_.preview) {
        if (preview->CropLeftField()->value() > width) {
            preview->CropLeftField()->setValue(width - 1);
        }
        if (preview->CropTopField()->value() > height) {
            preview->CropTopField()->setValue(height - 1);
        }
        margins = {std::max(0, preview->CropLeftField()->value()),
                   std::max(0, preview->CropTopField()->value()),
                   std::max(0, preview->CropRightField()->value()),
                   std::max(0, preview->CropBottomField()->value())};
    }
    int dpi = 0;
    if (textureScale_ != 100.0) {
        const QString text = ui_->dpiEdit->text();
        const std::optional<int> value = ParseWholeNumber(text.toStdString());
        if (!value) {
            throw Error("'" + text.toStdString() + "' is not a valid integer value");
        }
        dpi = *value;
    }
    workingTexture_ = CropAndScaleTexture(texturePicture_.Bitmap(), margins, textureScale_, dpi);
}

void MainWindow::RefreshTextureList() {
    const QString folder = QFileInfo(textureFileName_).absolutePath();
    if (textureFileName_.isEmpty() || !QFileInfo(folder).isDir()) {
        textureList_.Clear();
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
    } restoreCursor;
    textureList_.Refresh(std::filesystem::path(QFile::encodeName(textureFileName_).toStdString()),
                         [] { QCoreApplication::processEvents(); });
}

void MainWindow::NextTexture() {
    if (const std::optional<std::filesystem::path> file = textureList_.Next()) {
        LoadTexture(QFile::decodeName(file->c_str()));
        RenderWithProgress();
    }
}

void MainWindow::PreviousTexture() {
    if (const std::optional<std::filesystem::path> file = textureList_.Previous()) {
        LoadTexture(QFile::decodeName(file->c_str()));
        RenderWithProgress();
    }
}

void MainWindow::SetTextureOffset(int x, int y) {
    engine_.SetPatOfX(x);
    engine_.SetPatOfY(y);
}

void MainWindow::SetStretchTexture(bool stretch) {
    ui_->stretchTextureCheck->setChecked(stretch);
    SettingsChanged();
}

void MainWindow::SetHorizontalMirror(bool on) {
    ui_->horizontalMirrorCheck->setChecked(on);
}

void MainWindow::SetVerticalMirror(bool on) {
    ui_->verticalMirrorCheck->setChecked(on);
}

}  // namespace vistamaze
