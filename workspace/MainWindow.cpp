#include "workspace/MainWindow.h"

#include "engine/Errors.h"
#include "engine/TexturePreparation.h"
#include "formats/ModelFile.h"
#include "output/PictureResolution.h"
#include "resources/DefaultTexture.h"
#include "ui_MainWindow.h"
#include "workspace/AnimationRun.h"
#include "workspace/Dialogs.h"
#include "workspace/FlowLayout.h"
#include "workspace/FocusLeave.h"
#include "workspace/GuiResources.h"
#include "workspace/HelpContext.h"
#include "workspace/HelpWindow.h"
#include "workspace/ImageLoading.h"
#include "workspace/NumericKeyFilter.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewZoom.h"
#include "workspace/PreviewWindow.h"
#include "workspace/VistamazeApplication.h"
#include "workspace/AboutBox.h"
#include "workspace/ProgressWindow.h"
#include "workspace/ConfigurationDialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <array>
#include <filesystem>
#include <optional>

namespace vistamaze {
namespace {

constexpr int kMainWindowHelp = 130;
constexpr int kStereogramTabHelp = 140;
constexpr int kModelTabHelp = 150;

struct SizeItem {
    const char* caption;  // nullptr: a separator
    int width;
    int height;
};

constexpr std::array kSizeItems{
    SizeItem{" 320 x 200", 320, 200},
    SizeItem{" 400 x 300", 400, 300},
    SizeItem{nullptr, 0, 0},
    SizeItem{" 640 x 480", 640, 480},
    SizeItem{" 800 x 600", 800, 600},
    SizeItem{nullptr, 0, 0},
    SizeItem{"1000 x 760", 1000, 760},
    SizeItem{"1024 x 768", 1024, 768},
    SizeItem{nullptr, 0, 0},
    SizeItem{"1200 x 900", 1200, 900},
    SizeItem{"1400 x 900", 1400, 900},
    SizeItem{"1920 x 1080", 1920, 1080},
    SizeItem{"1600 x 1200", 1600, 1200},
    SizeItem{"2000 x 1600", 2000, 1600},
    SizeItem{"2560 x 1080", 2560, 1080},
    SizeItem{"2560 x 1440", 2560, 1440},
    SizeItem{"3000 x 2000", 3000, 2000},
    SizeItem{"3840 x 2160", 3840, 2160},
    SizeItem{"4096 x 2160", 4096, 2160},
};

struct DpiItem {
    const char* caption;
    int dpi;
};

constexpr std::array kDpiItems{
    DpiItem{"30 DPI  (poster - change observation distance)", 30},
    DpiItem{"75 DPI  (monitor - low depth stereogram)", 75},
    DpiItem{"100 DPI (medium depth stereogram)", 100},
    DpiItem{"120 DPI (high depth stereogram)", 120},
    DpiItem{"150 DPI  (printer - adequate printing resolution)", 150},
    DpiItem{"200 DPI", 200},
    DpiItem{"300 DPI  (high quality print)", 300},
};

// Gives the radio buttons of `box` the item indexes 0, 1, ... in the order the form lists them.
QButtonGroup* MakeRadioGroup(QGroupBox* box) {
    auto* group = new QButtonGroup(box);
    int index = 0;
    for (QRadioButton* button : box->findChildren<QRadioButton*>()) {
        group->addButton(button, index++);
    }
    return group;
}

void SetItemIndex(QButtonGroup* group, int index) {
    if (QAbstractButton* button = group->button(index)) {
        button->setChecked(true);
    }
}

// Numbers in the fields follow the user's locale for the decimal separator, without grouping.
QLocale FieldLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

std::optional<double> FieldFloat(const QString& text) {
    bool ok = false;
    const double value = FieldLocale().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<int> FieldInteger(const QString& text) {
    return ParseWholeNumber(text.toStdString());
}

QString FloatText(double value) {
    return FieldLocale().toString(value, 'g', 15);
}

QString SizeText(int width, int height) {
    return QStringLiteral("%1 x %2").arg(width).arg(height);
}

PixelBuffer WhiteBitmap(int width, int height) {
    PixelBuffer bitmap(width, height, 24);
    std::fill_n(bitmap.Data(), bitmap.ByteSize(), std::uint8_t{255});
    return bitmap;
}

// The main window's engine starts from these values, not the engine's own initial ones.
void SetStoredEngineValues(Stereogram& engine) {
    engine.SetStereoType(StereogramKind::Textured);
    engine.SetOversampling(4);
    engine.SetBlur(BlurLevel::None);
    engine.SetRandomDotColor(RandomDotColors::BlackAndWhite);
    engine.SetObservDistance(14.0);
    engine.SetMax3Ddepth(14.0);
    engine.SetMin3Ddepth(7.0);
    engine.SetConverging(false);
    engine.SetStretchTexture(false);
}

}  // namespace

MainWindow::MainWindow(const MainWindowSetup& setup, QWidget* parent)
    : QMainWindow(parent), folders_(setup.folders) {
    InitGuiResources();
    ui_ = std::make_unique<Ui::MainWindow>();
    ui_->setupUi(this);
    LayOutSettingsPanel();
    modelTab_ = new ModelTab(*this, folders_, ui_->modelPage);
    ui_->modelPage->layout()->addWidget(modelTab_);
    kindButtons_ = MakeRadioGroup(ui_->kindGroup);
    blurButtons_ = MakeRadioGroup(ui_->blurGroup);
    dotColorButtons_ = MakeRadioGroup(ui_->dotColorsGroup);
    oversamplingButtons_ = MakeRadioGroup(ui_->oversamplingGroup);
    geometryButtons_ = MakeRadioGroup(ui_->geometryGroup);
    SetHelpContext(this, kMainWindowHelp);
    SetHelpContext(ui_->stereogramPage, kStereogramTabHelp);
    SetHelpContext(ui_->modelPage, kModelTabHelp);
    BuildPopupMenus();
    ConnectCommands();
    ConnectSettings();
    SetStoredEngineValues(engine_);
    engine_.OnGenerate = [this](Stereogram&) { ShowRenderProgress(); };
    engine_.ProcessEvents = [] { QCoreApplication::processEvents(); };
    Initialise(setup.documentsFolder);
}

MainWindow::~MainWindow() = default;

// The settings groups wrap into a second row in a narrow window (700 pixels at the minimum size)
// instead of squeezing their captions.
void MainWindow::LayOutSettingsPanel() {
    constexpr int kGroupSpacing = 6;
    auto* flow = new FlowLayout(ui_->settingsPanel, kGroupSpacing, kGroupSpacing);
    for (QWidget* group :
         std::initializer_list<QWidget*>{ui_->kindGroup, ui_->blurGroup, ui_->oversamplingGroup,
                                         ui_->intensityGroup, ui_->dotColorsGroup, ui_->geometryGroup}) {
        flow->addWidget(group);
    }
}

void MainWindow::Initialise(const QString& documentsFolder) {
    // The user data folder is named before the working directory changes: without a documents
    // folder it is relative to the folder the program was started in.
    userDataFolder_ = UserDataFolderName(documentsFolder);
    CreateUserDataFolder(userDataFolder_);
    userDataFolder_ = QDir(userDataFolder_).absolutePath() + QLatin1Char('/');
    QDir::setCurrent(folders_.program);
    depthDialogFolder_ = folders_.depthMaps;
    setWindowState(windowState() | Qt::WindowMaximized);
    textureDialogFolder_ = folders_.textures;
    textureFileName_ = folders_.textureFileName;
    try {
        RefreshTextureList();
    } catch (const std::exception&) {
        // A texture folder that cannot be listed leaves the list as it got.
    }
    texturePicture_ = DefaultTexture();
    workingTexture_ = texturePicture_.To24Bit();
    ui_->texturePicture->SetImage(ToQImage(texturePicture_.Bitmap()));
}

void MainWindow::AttachWindows(const MainWindowPartners& partners) {
    partners_ = partners;
    animation_.reset();
    if (partners_.preview != nullptr && partners_.animationOptions != nullptr &&
        partners_.progress != nullptr) {
        animation_ = std::make_unique<AnimationRun>(*this, *partners_.animationOptions, *partners_.progress,
                                                     *partners_.preview);
    }
    ConnectPartners();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!firstShown_) {
        firstShown_ = true;
        PrepareFirstShow();
    }
}

void MainWindow::PrepareFirstShow() {
    previousTypeItem_ = -1;
    engine_.SetMaskMap(texturePicture_);
    if (partners_.preview != nullptr) {
        partners_.preview->PictureLabel()->setFixedSize(600, 400);
        partners_.preview->SetStereogram(WhiteBitmap(600, 400));
    }
    modelTab_->PrepareFirstShow();
    ShowEngineSettings();
    ui_->tabs->setCurrentWidget(ui_->stereogramPage);
}

void MainWindow::ConnectCommands() {
    connect(ui_->exitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui_->aboutAction, &QAction::triggered, this, [this] {
        if (partners_.about != nullptr) {
            partners_.about->exec();
        }
    });
    connect(ui_->helpAction, &QAction::triggered, this, [this] {
        if (partners_.help != nullptr) {
            partners_.help->ShowContents();
        }
    });
    connect(ui_->configurationAction, &QAction::triggered, this, [this] {
        if (partners_.config != nullptr) {
            partners_.config->exec();
        }
    });
    connect(ui_->configurationButton, &QAction::triggered, ui_->configurationAction, &QAction::trigger);
    connect(ui_->loadDepthMapAction, &QAction::triggered, this, &MainWindow::OpenDepthMap);
    connect(ui_->openDepthMapButton, &QAction::triggered, this, &MainWindow::OpenDepthMap);
    connect(ui_->depthPicture, &PictureView::Clicked, this, &MainWindow::AskForDepthMap);
    connect(ui_->renderAction, &QAction::triggered, this, &MainWindow::RenderWithProgress);
    connect(ui_->renderButton, &QAction::triggered, this, &MainWindow::RenderWithProgress);
    connect(ui_->showLastRenderedAction, &QAction::triggered, this, &MainWindow::ShowLastRendered);
    connect(ui_->showLastRenderedButton, &QAction::triggered, this, &MainWindow::ShowLastRendered);
    const auto save = [this] {
        if (partners_.preview != nullptr) {
            partners_.preview->SaveStereogram();
        }
    };
    connect(ui_->saveStereogramAction, &QAction::triggered, this, save);
    connect(ui_->saveButton, &QAction::triggered, this, save);
    connect(ui_->loadModelAction, &QAction::triggered, this, &MainWindow::OpenModel);
    connect(ui_->openModelButton, &QAction::triggered, this, &MainWindow::OpenModel);
    connect(ui_->saveDepthButton, &QToolButton::clicked, this, &MainWindow::SaveDepthImage);
    connect(modelTab_, &ModelTab::RenderAnimationRequested, ui_->renderAnimationAction, &QAction::trigger);
    connect(ui_->renderAnimationAction, &QAction::triggered, this, &MainWindow::RenderAnimationCommand);
    // The depth image is converted for the screen only when its tab shows.
    connect(ui_->tabs, &QTabWidget::currentChanged, this, [this] {
        if (ui_->tabs->currentWidget() == ui_->stereogramPage) {
            ShowDepthImage();
        }
    });
    connect(ui_->loadTextureAction, &QAction::triggered, this, &MainWindow::OpenTexture);
    connect(ui_->loadTextureButton, &QAction::triggered, ui_->loadTextureAction, &QAction::trigger);
    connect(ui_->texturePicture, &PictureView::Clicked, this, &MainWindow::AskForTexture);
    connect(ui_->horizontalMirrorCheck, &QCheckBox::clicked, this, &MainWindow::MirrorTexture);
    connect(ui_->verticalMirrorCheck, &QCheckBox::clicked, this, &MainWindow::MirrorTexture);
    connect(ui_->stretchTextureCheck, &QCheckBox::clicked, this, [this](bool checked) {
        if (partners_.preview != nullptr) {
            partners_.preview->StretchButton()->setChecked(checked);
        }
    });
}

void MainWindow::ConnectSettings() {
    for (QButtonGroup* group : {kindButtons_, blurButtons_, dotColorButtons_, oversamplingButtons_, geometryButtons_}) {
        connect(group, &QButtonGroup::idClicked, this, [this] { SettingsChanged(); });
    }
    connect(ui_->intensitySlider, &QSlider::valueChanged, this, [this](int value) {
        ui_->intensityLabel->setText(QString::number(value));
        SettingsChanged();
    });
    constexpr int kSizeTypedLength = 4;
    InstallNumericKeyFilter(ui_->widthEdit, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->heightEdit, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->dpiEdit);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui_->widthEdit, ui_->heightEdit, ui_->dpiEdit, ui_->stretchTextureCheck}) {
        OnFocusLeave(control, [this] { SettingsChanged(); });
    }
    connect(ui_->sizesButton, &QToolButton::clicked, this, [this] { sizeMenu_->popup(QCursor::pos()); });
    connect(ui_->resolutionsButton, &QToolButton::clicked, this, [this] { dpiMenu_->popup(QCursor::pos()); });
}

void MainWindow::BuildPopupMenus() {
    sizeMenu_ = new QMenu(this);
    sizeMenu_->setObjectName(QStringLiteral("sizeMenu"));
    for (const SizeItem& item : kSizeItems) {
        if (item.caption == nullptr) {
            sizeMenu_->addSeparator();
            continue;
        }
        connect(sizeMenu_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] { SetSize(item.width, item.height); });
    }
    dpiMenu_ = new QMenu(this);
    dpiMenu_->setObjectName(QStringLiteral("dpiMenu"));
    for (const DpiItem& item : kDpiItems) {
        connect(dpiMenu_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] {
                    SetDpiText(QString::number(item.dpi));
                    SettingsChanged();
                });
    }
}

void MainWindow::ConnectPartners() {
    if (partners_.preview != nullptr) {
        partners_.preview->SetTextureHost(this);
        // The preview is where the result is looked at and the texture placed: F12 and Ctrl+S
        // work there as well (the actions' shortcuts match in every window they belong to).
        partners_.preview->addActions({ui_->renderAction, ui_->saveStereogramAction});
    }
    if (partners_.progress != nullptr) {
        partners_.progress->RenderStereogram = [this] { RenderStereogram(); };
        partners_.progress->StopRequested = [this] { stopRequested_ = true; };
        partners_.progress->RunAnimation = [this] {
            if (animation_) {
                animation_->RunAnimation();
            }
        };
    }
    if (ConfigurationDialog* config = partners_.config) {
        connect(config, &ConfigurationDialog::FieldLeft, this, &MainWindow::SettingsChanged);
        connect(config, &ConfigurationDialog::DefaultSizeChosen, this, [this] {
            ui_->widthEdit->setText(QStringLiteral("800"));
            ui_->heightEdit->setText(QStringLiteral("600"));
        });
        // The two DPI fields are views of one value; copying only differing text cannot loop.
        connect(config->DpiEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
            if (ui_->dpiEdit->text() != text) {
                ui_->dpiEdit->setText(text);
            }
        });
        connect(ui_->dpiEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
            if (partners_.config->DpiEdit()->text() != text) {
                partners_.config->DpiEdit()->setText(text);
            }
        });
    }
}

QString MainWindow::DpiText() const {
    return ui_->dpiEdit->text();
}

void MainWindow::SetSize(int width, int height) {
    ui_->widthEdit->setText(QString::number(width));
    ui_->heightEdit->setText(QString::number(height));
    TakeFocusAway();
    SettingsChanged();
}

int MainWindow::StereoTypeItem() const {
    return kindButtons_->checkedId();
}

void MainWindow::ChooseStereoTypeItem(int item) {
    if (QAbstractButton* button = kindButtons_->button(item)) {
        button->click();
    }
}

int MainWindow::OversamplingItem() const {
    return oversamplingButtons_->checkedId();
}

void MainWindow::ChooseOversamplingItem(int item) {
    if (QAbstractButton* button = oversamplingButtons_->button(item)) {
        button->click();
    }
}

void MainWindow::ShowMovieSize(int width, int height) {
    ui_->widthEdit->setText(QString::number(width));
    ui_->heightEdit->setText(QString::number(height));
    engine_.SetWidth(width);
    engine_.SetHeight(height);
}

void MainWindow::ShowModelTab() {
    ui_->tabs->setCurrentWidget(ui_->modelPage);
}

void MainWindow::RenderAnimationCommand() {
    if (animation_) {
        animation_->RenderAnimationCommand();
    }
}

void MainWindow::SetDpiText(const QString& text) {
    ui_->dpiEdit->setText(text);
}

void MainWindow::SettingsChanged() {
    const int typeItem = kindButtons_->checkedId();
    if (previousTypeItem_ != 2 && typeItem == 2) {
        SetItemIndex(oversamplingButtons_, 3);
    }
    previousTypeItem_ = typeItem;
    ApplySettingsToEngine();
    ShowEngineSettings();
}

void MainWindow::ApplySettingsToEngine() {
    engine_.SetStereoType(static_cast<StereogramKind>(std::max(0, kindButtons_->checkedId())));
    engine_.SetBlur(static_cast<BlurLevel>(std::max(0, blurButtons_->checkedId())));
    engine_.SetDotIntensity(ui_->intensitySlider->value());
    engine_.SetRandomDotColor(static_cast<RandomDotColors>(std::max(0, dotColorButtons_->checkedId())));
    engine_.SetOversampling(oversamplingButtons_->checkedId() + 1);
    if (!ApplyFields()) {
        return;  // a field holding no number ends the apply here, without a message
    }
    engine_.SetConverging(geometryButtons_->checkedId() != 0);
    engine_.SetStretchTexture(ui_->stretchTextureCheck->isChecked());
}

// The numeric fields in their fixed order: observation distance, maximum and minimum depth, DPI
// (before the size, so a new DPI is clamped against the previous size), height, width. Empty
// fields are skipped; false at the first field that is not a number.
bool MainWindow::ApplyFields() {
    const auto applyFloat = [](const QLineEdit* edit, auto setter) {
        if (edit->text().isEmpty()) {
            return true;
        }
        const std::optional<double> value = FieldFloat(edit->text());
        if (value) {
            setter(*value);
        }
        return value.has_value();
    };
    const auto applyInteger = [](const QLineEdit* edit, auto setter) {
        if (edit->text().isEmpty()) {
            return true;
        }
        const std::optional<int> value = FieldInteger(edit->text());
        if (value) {
            setter(*value);
        }
        return value.has_value();
    };
    Stereogram& engine = engine_;
    if (const ConfigurationDialog* config = partners_.config) {
        if (!applyFloat(config->ObservationDistanceEdit(), [&](double v) { engine.SetObservDistance(v); }) ||
            !applyFloat(config->MaxDepthEdit(), [&](double v) { engine.SetMax3Ddepth(v); }) ||
            !applyFloat(config->MinDepthEdit(), [&](double v) { engine.SetMin3Ddepth(v); }) ||
            !applyInteger(config->DpiEdit(), [&](int v) { engine.SetDPI(v); })) {
            return false;
        }
    }
    return applyInteger(ui_->heightEdit, [&](int v) { engine.SetHeight(v); }) &&
           applyInteger(ui_->widthEdit, [&](int v) { engine.SetWidth(v); });
}

void MainWindow::ShowEngineSettings() {
    const Stereogram& engine = engine_;
    const int typeItem = static_cast<int>(engine.StereoType());
    if (kindButtons_->checkedId() != typeItem) {
        // A changed type item is a click on the group: its handler applies every control first.
        SetItemIndex(kindButtons_, typeItem);
        SettingsChanged();
    }
    SetItemIndex(blurButtons_, static_cast<int>(engine.Blur()));
    {
        const QSignalBlocker blocker(ui_->intensitySlider);
        ui_->intensitySlider->setValue(engine.DotIntensity());
        ui_->intensityLabel->setText(QString::number(ui_->intensitySlider->value()));
    }
    SetItemIndex(dotColorButtons_, static_cast<int>(engine.RandomDotColor()));
    SetItemIndex(oversamplingButtons_, engine.Oversampling() - 1);
    if (const ConfigurationDialog* config = partners_.config) {
        config->ObservationDistanceEdit()->setText(FloatText(engine.ObservDistance()));
        config->MaxDepthEdit()->setText(FloatText(engine.Max3Ddepth()));
        config->MinDepthEdit()->setText(FloatText(engine.Min3Ddepth()));
        config->SeparationEdit()->setText(QString::number(engine.Separation()));
    }
    ui_->heightEdit->setText(QString::number(engine.Height()));
    ui_->widthEdit->setText(QString::number(engine.Width()));
    ShowDepthImage();
    ui_->textureSizeLabel->setText(SizeText(texturePicture_.Width(), texturePicture_.Height()));
}

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
    for (QSpinBox* field : {preview->OffsetXField(), preview->OffsetYField(), preview->CropLeftField(), preview->CropTopField(),
                            preview->CropRightField(), preview->CropBottomField()}) {
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

void MainWindow::ShowTexture() {
    ui_->textureSizeLabel->setText(SizeText(texturePicture_.Width(), texturePicture_.Height()));
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
    return (ui_->horizontalMirrorCheck->isChecked() ? 1 : 0) + (ui_->verticalMirrorCheck->isChecked() ? 2 : 0);
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
        margins = {
            std::max(0, preview->CropLeftField()->value()), std::max(0, preview->CropTopField()->value()),
            std::max(0, preview->CropRightField()->value()), std::max(0, preview->CropBottomField()->value())};
    }
    int dpi = 0;
    if (textureScale_ != 100.0) {
        const QString text = ui_->dpiEdit->text();
        const std::optional<int> value = FieldInteger(text);
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

void MainWindow::TakeFocusAway() {
    QWidget* focused = focusWidget();
    if (focused == nullptr) {
        return;
    }
    // Without the keyboard focus in this window no focus-out event comes, but the control is
    // left all the same: a field still being edited is applied before the render.
    const bool deliversFocusOut = focused->hasFocus();
    focused->clearFocus();
    const bool appliesOnLeave = focused == ui_->widthEdit || focused == ui_->heightEdit || focused == ui_->dpiEdit ||
                                focused == ui_->stretchTextureCheck;
    if (!deliversFocusOut && appliesOnLeave) {
        SettingsChanged();
    }
}

void MainWindow::RenderWithProgress() {
    TakeFocusAway();
    // What the fields show is what renders: a preset fills the dialog's fields (and the size)
    // without applying them, and the user has no way to tell.
    SettingsChanged();
    if (partners_.progress == nullptr) {
        RenderStereogram();
        return;
    }
    partners_.progress->SetMode(ProgressWindow::kSingleMode);
    partners_.progress->exec();
}

void MainWindow::ShowRenderProgress() {
    if (partners_.progress != nullptr) {
        partners_.progress->ShowProgress(engine_.Progress());
    }
}

void MainWindow::RenderStereogram() {
    engine_.Generate();
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    // The window is sized for the picture as the preview shows it: its own size unless the user
    // zoomed the view.
    const QSize shown = ZoomedSize(QSize(engine_.Width(), engine_.Height()), preview->Zoom());
    const int width = shown.width();
    const int height = shown.height();
    if (width + 15 > 1024) {
        preview->resize(width + 15, preview->height());
    }
    preview->resize(preview->width(), height + preview->ToolbarPanelHeight() + 40);
    preview->PictureLabel()->setFixedSize(width, height);
    preview->SetStereogram(engine_.StereogramPicture().Bitmap());
    EnableResultCommands();
    ShowLastRendered();
}

void MainWindow::ShowLastRendered() {
    if (partners_.preview != nullptr) {
        partners_.preview->show();
        partners_.preview->raise();
        partners_.preview->activateWindow();
    }
}

void MainWindow::EnableRenderCommands() {
    ui_->renderButton->setEnabled(true);
    ui_->renderAction->setEnabled(true);
}

void MainWindow::EnableAnimationCommands() {
    ui_->renderAnimationAction->setEnabled(true);
}

void MainWindow::EnableResultCommands() {
    ui_->showLastRenderedButton->setEnabled(true);
    ui_->showLastRenderedAction->setEnabled(true);
    ui_->saveButton->setEnabled(true);
    ui_->saveStereogramAction->setEnabled(true);
}

}  // namespace vistamaze
