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
    modelTab_ = new ModelTab(*this, folders_, ui_->TabSheet3DModel);
    ui_->TabSheet3DModel->layout()->addWidget(modelTab_);
    radioGroup1_ = MakeRadioGroup(ui_->RadioGroup1);
    radioGroup2_ = MakeRadioGroup(ui_->RadioGroup2);
    radioGroup3_ = MakeRadioGroup(ui_->RadioGroup3);
    radioGroup4_ = MakeRadioGroup(ui_->RadioGroup4);
    rgStereoType_ = MakeRadioGroup(ui_->rgStereoType);
    SetHelpContext(this, kMainWindowHelp);
    SetHelpContext(ui_->TabSheetStereogram, kStereogramTabHelp);
    SetHelpContext(ui_->TabSheet3DModel, kModelTabHelp);
    BuildPopupMenus();
    ConnectCommands();
    ConnectSettings();
    SetStoredEngineValues(stereogram1_);
    stereogram1_.OnGenerate = [this](Stereogram&) { Stereogram1Generate(); };
    stereogram1_.ProcessEvents = [] { QCoreApplication::processEvents(); };
    FormCreate(setup.documentsFolder);
}

MainWindow::~MainWindow() = default;

// The settings groups wrap into a second row in a narrow window (700 pixels at the minimum size)
// instead of squeezing their captions.
void MainWindow::LayOutSettingsPanel() {
    constexpr int kGroupSpacing = 6;
    auto* flow = new FlowLayout(ui_->PanelSettings, kGroupSpacing, kGroupSpacing);
    for (QWidget* group :
         std::initializer_list<QWidget*>{ui_->RadioGroup1, ui_->RadioGroup2, ui_->RadioGroup4,
                                         ui_->GroupBoxIntensity, ui_->RadioGroup3, ui_->rgStereoType}) {
        flow->addWidget(group);
    }
}

void MainWindow::FormCreate(const QString& documentsFolder) {
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
    image3Picture_ = DefaultTexture();
    imageTexture_ = image3Picture_.To24Bit();
    ui_->Image3->SetImage(ToQImage(image3Picture_.Bitmap()));
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
    if (!formShown_) {
        formShown_ = true;
        FormShow();
    }
}

void MainWindow::FormShow() {
    previousTypeItem_ = -1;
    stereogram1_.SetMaskMap(image3Picture_);
    if (partners_.preview != nullptr) {
        partners_.preview->Image1()->setFixedSize(600, 400);
        partners_.preview->SetStereogram(WhiteBitmap(600, 400));
    }
    modelTab_->FormShow();
    ShowEngineSettings();
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetStereogram);
}

void MainWindow::ConnectCommands() {
    connect(ui_->Exit1, &QAction::triggered, this, &QWidget::close);
    connect(ui_->About1, &QAction::triggered, this, [this] {
        if (partners_.about != nullptr) {
            partners_.about->exec();
        }
    });
    connect(ui_->Help1, &QAction::triggered, this, [this] {
        if (partners_.help != nullptr) {
            partners_.help->ShowContents();
        }
    });
    connect(ui_->Configuration1, &QAction::triggered, this, [this] {
        if (partners_.config != nullptr) {
            partners_.config->exec();
        }
    });
    connect(ui_->tbConfig, &QAction::triggered, ui_->Configuration1, &QAction::trigger);
    connect(ui_->LoadDepthmap1, &QAction::triggered, this, &MainWindow::LoadDepthmap1Click);
    connect(ui_->tbLoadDepthMap, &QAction::triggered, this, &MainWindow::LoadDepthmap1Click);
    connect(ui_->Image2, &PictureView::Clicked, this, &MainWindow::Image2Click);
    connect(ui_->Render1, &QAction::triggered, this, &MainWindow::tbRenderClick);
    connect(ui_->tbRender, &QAction::triggered, this, &MainWindow::tbRenderClick);
    connect(ui_->Showlastrendered1, &QAction::triggered, this, &MainWindow::ShowLastRendered);
    connect(ui_->tbSee, &QAction::triggered, this, &MainWindow::ShowLastRendered);
    const auto save = [this] {
        if (partners_.preview != nullptr) {
            partners_.preview->SaveStereogram();
        }
    };
    connect(ui_->SaveStereogram1, &QAction::triggered, this, save);
    connect(ui_->tbSave, &QAction::triggered, this, save);
    connect(ui_->Load3DSmodel1, &QAction::triggered, this, &MainWindow::Load3DSmodel1Click);
    connect(ui_->LoadButton3DS, &QAction::triggered, this, &MainWindow::Load3DSmodel1Click);
    connect(ui_->tbsavedepth, &QToolButton::clicked, this, &MainWindow::tbsavedepthClick);
    connect(modelTab_, &ModelTab::RenderAnimationRequested, ui_->Renderanimation1, &QAction::trigger);
    connect(ui_->Renderanimation1, &QAction::triggered, this, &MainWindow::bRenderAnimationClick);
    // The depth image is converted for the screen only when its tab shows.
    connect(ui_->PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (ui_->PageControl1->currentWidget() == ui_->TabSheetStereogram) {
            ShowDepthImage();
        }
    });
    connect(ui_->LoadTexture1, &QAction::triggered, this, &MainWindow::LoadTexture1Click);
    connect(ui_->tbLoadTexture, &QAction::triggered, ui_->LoadTexture1, &QAction::trigger);
    connect(ui_->Image3, &PictureView::Clicked, this, &MainWindow::Image3Click);
    connect(ui_->cbMirror, &QCheckBox::clicked, this, &MainWindow::cbMirrorClick);
    connect(ui_->cbMirror2, &QCheckBox::clicked, this, &MainWindow::cbMirrorClick);
    connect(ui_->cbStretchTexture, &QCheckBox::clicked, this, [this](bool checked) {
        if (partners_.preview != nullptr) {
            partners_.preview->tbStretch()->setChecked(checked);
        }
    });
}

void MainWindow::ConnectSettings() {
    for (QButtonGroup* group : {radioGroup1_, radioGroup2_, radioGroup3_, radioGroup4_, rgStereoType_}) {
        connect(group, &QButtonGroup::idClicked, this, [this] { Zmena(); });
    }
    connect(ui_->TrackBar1, &QSlider::valueChanged, this, [this](int value) {
        ui_->lbInten->setText(QString::number(value));
        Zmena();
    });
    constexpr int kSizeTypedLength = 4;
    InstallNumericKeyFilter(ui_->Edit6, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->Edit7, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->fDPI);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui_->Edit6, ui_->Edit7, ui_->fDPI, ui_->cbStretchTexture}) {
        OnFocusLeave(control, [this] { Zmena(); });
    }
    connect(ui_->SpeedButton1, &QToolButton::clicked, this, [this] { popupMenuRes_->popup(QCursor::pos()); });
    connect(ui_->SpeedButton3, &QToolButton::clicked, this, [this] { popupMenuDpi_->popup(QCursor::pos()); });
}

void MainWindow::BuildPopupMenus() {
    popupMenuRes_ = new QMenu(this);
    popupMenuRes_->setObjectName(QStringLiteral("PopupMenuRES"));
    for (const SizeItem& item : kSizeItems) {
        if (item.caption == nullptr) {
            popupMenuRes_->addSeparator();
            continue;
        }
        connect(popupMenuRes_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] { SetSize(item.width, item.height); });
    }
    popupMenuDpi_ = new QMenu(this);
    popupMenuDpi_->setObjectName(QStringLiteral("PopupMenuDPI"));
    for (const DpiItem& item : kDpiItems) {
        connect(popupMenuDpi_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] {
                    SetDpiText(QString::number(item.dpi));
                    Zmena();
                });
    }
}

void MainWindow::ConnectPartners() {
    if (partners_.preview != nullptr) {
        partners_.preview->SetTextureHost(this);
        // The preview is where the result is looked at and the texture placed: F12 and Ctrl+S
        // work there as well (the actions' shortcuts match in every window they belong to).
        partners_.preview->addActions({ui_->Render1, ui_->SaveStereogram1});
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
        connect(config, &ConfigurationDialog::FieldLeft, this, &MainWindow::Zmena);
        connect(config, &ConfigurationDialog::DefaultSizeChosen, this, [this] {
            ui_->Edit6->setText(QStringLiteral("800"));
            ui_->Edit7->setText(QStringLiteral("600"));
        });
        // The two DPI fields are views of one value; copying only differing text cannot loop.
        connect(config->Edit5(), &QLineEdit::textChanged, this, [this](const QString& text) {
            if (ui_->fDPI->text() != text) {
                ui_->fDPI->setText(text);
            }
        });
        connect(ui_->fDPI, &QLineEdit::textChanged, this, [this](const QString& text) {
            if (partners_.config->Edit5()->text() != text) {
                partners_.config->Edit5()->setText(text);
            }
        });
    }
}

QString MainWindow::DpiText() const {
    return ui_->fDPI->text();
}

void MainWindow::SetSize(int width, int height) {
    ui_->Edit6->setText(QString::number(width));
    ui_->Edit7->setText(QString::number(height));
    TakeFocusAway();
    Zmena();
}

int MainWindow::StereoTypeItem() const {
    return radioGroup1_->checkedId();
}

void MainWindow::ChooseStereoTypeItem(int item) {
    if (QAbstractButton* button = radioGroup1_->button(item)) {
        button->click();
    }
}

int MainWindow::OversamplingItem() const {
    return radioGroup4_->checkedId();
}

void MainWindow::ChooseOversamplingItem(int item) {
    if (QAbstractButton* button = radioGroup4_->button(item)) {
        button->click();
    }
}

void MainWindow::ShowMovieSize(int width, int height) {
    ui_->Edit6->setText(QString::number(width));
    ui_->Edit7->setText(QString::number(height));
    stereogram1_.SetWidth(width);
    stereogram1_.SetHeight(height);
}

void MainWindow::ShowModelTab() {
    ui_->PageControl1->setCurrentWidget(ui_->TabSheet3DModel);
}

void MainWindow::bRenderAnimationClick() {
    if (animation_) {
        animation_->bRenderAnimationClick();
    }
}

void MainWindow::SetDpiText(const QString& text) {
    ui_->fDPI->setText(text);
}

void MainWindow::Zmena() {
    const int typeItem = radioGroup1_->checkedId();
    if (previousTypeItem_ != 2 && typeItem == 2) {
        SetItemIndex(radioGroup4_, 3);
    }
    previousTypeItem_ = typeItem;
    ApplySettingsToEngine();
    ShowEngineSettings();
}

void MainWindow::ApplySettingsToEngine() {
    stereogram1_.SetStereoType(static_cast<StereogramKind>(std::max(0, radioGroup1_->checkedId())));
    stereogram1_.SetBlur(static_cast<BlurLevel>(std::max(0, radioGroup2_->checkedId())));
    stereogram1_.SetDotIntensity(ui_->TrackBar1->value());
    stereogram1_.SetRandomDotColor(static_cast<RandomDotColors>(std::max(0, radioGroup3_->checkedId())));
    stereogram1_.SetOversampling(radioGroup4_->checkedId() + 1);
    if (!ApplyFields()) {
        return;  // a field holding no number ends the apply here, without a message
    }
    stereogram1_.SetConverging(rgStereoType_->checkedId() != 0);
    stereogram1_.SetStretchTexture(ui_->cbStretchTexture->isChecked());
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
    Stereogram& engine = stereogram1_;
    if (const ConfigurationDialog* config = partners_.config) {
        if (!applyFloat(config->Edit1(), [&](double v) { engine.SetObservDistance(v); }) ||
            !applyFloat(config->Edit2(), [&](double v) { engine.SetMax3Ddepth(v); }) ||
            !applyFloat(config->Edit3(), [&](double v) { engine.SetMin3Ddepth(v); }) ||
            !applyInteger(config->Edit5(), [&](int v) { engine.SetDPI(v); })) {
            return false;
        }
    }
    return applyInteger(ui_->Edit7, [&](int v) { engine.SetHeight(v); }) &&
           applyInteger(ui_->Edit6, [&](int v) { engine.SetWidth(v); });
}

void MainWindow::ShowEngineSettings() {
    const Stereogram& engine = stereogram1_;
    const int typeItem = static_cast<int>(engine.StereoType());
    if (radioGroup1_->checkedId() != typeItem) {
        // A changed type item is a click on the group: its handler applies every control first.
        SetItemIndex(radioGroup1_, typeItem);
        Zmena();
    }
    SetItemIndex(radioGroup2_, static_cast<int>(engine.Blur()));
    {
        const QSignalBlocker blocker(ui_->TrackBar1);
        ui_->TrackBar1->setValue(engine.DotIntensity());
        ui_->lbInten->setText(QString::number(ui_->TrackBar1->value()));
    }
    SetItemIndex(radioGroup3_, static_cast<int>(engine.RandomDotColor()));
    SetItemIndex(radioGroup4_, engine.Oversampling() - 1);
    if (const ConfigurationDialog* config = partners_.config) {
        config->Edit1()->setText(FloatText(engine.ObservDistance()));
        config->Edit2()->setText(FloatText(engine.Max3Ddepth()));
        config->Edit3()->setText(FloatText(engine.Min3Ddepth()));
        config->Edit4()->setText(QString::number(engine.Separation()));
    }
    ui_->Edit7->setText(QString::number(engine.Height()));
    ui_->Edit6->setText(QString::number(engine.Width()));
    ShowDepthImage();
    ui_->Label14->setText(SizeText(image3Picture_.Width(), image3Picture_.Height()));
}

// The depth image control always shows the engine's depth map. Converting a large picture for
// the screen costs milliseconds, so it is redone only when the engine got a new one.
void MainWindow::ShowDepthImage() {
    if (shownDepthGeneration_ != depthMapGeneration_) {
        shownDepthGeneration_ = depthMapGeneration_;
        image2Picture_ = stereogram1_.DepthMap();
        ui_->Image2->SetImage(ToQImage(image2Picture_.Bitmap()));
    }
    ui_->Label13->setText(SizeText(image2Picture_.Width(), image2Picture_.Height()));
}

void MainWindow::Load3DSmodel1Click() {
    ui_->PageControl1->setCurrentWidget(ui_->TabSheet3DModel);
    modelTab_->LoadModel();
}

void MainWindow::PublishDepthMap(const PixelBuffer& depthImage) {
    image2Picture_.Assign(depthImage);
    stereogram1_.SetDepthMap(image2Picture_);
    ++depthMapGeneration_;
    if (ui_->Image2->isVisible()) {
        ShowDepthImage();
    }
    ui_->Label13->setText(SizeText(image2Picture_.Width(), image2Picture_.Height()));
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

void MainWindow::tbsavedepthClick() {
    constexpr int kDepthJpegQuality = 80;
    if (partners_.preview != nullptr) {
        partners_.preview->SavePictureThroughDialog(image2Picture_, kDepthJpegQuality);
    }
}

void MainWindow::LoadDepthmap1Click() {
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetStereogram);
    Image2Click();
}

void MainWindow::Image2Click() {
    FileDialogRequest request;
    request.caption = QStringLiteral("Select depth map");
    request.filter = PictureDialogFilter();
    request.initialFolder = depthDialogFolder_;
    if (const std::optional<QString> file = VistamazeApplication::AppDialogs().OpenFile(this, request)) {
        ReportPictureLoad(*file, LoadImage(image2Picture_, *file));
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
    ui_->Label13->setText(SizeText(image2Picture_.Width(), image2Picture_.Height()));
    stereogram1_.SetDepthMap(image2Picture_);
    ++depthMapGeneration_;
    ShowEngineSettings();
}

void MainWindow::OpenFile(const QString& file) {
    const std::string extension = QFileInfo(file).suffix().toStdString();
    if (ModelFormatForExtension(extension) != ModelFormat::mfUnknown) {
        ui_->PageControl1->setCurrentWidget(ui_->TabSheet3DModel);
        modelTab_->LoadModelFile(file);
        EnableModelCommands();
        return;
    }
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetStereogram);
    ReportPictureLoad(file, LoadImage(image2Picture_, file));
    EnableRenderCommands();
    HandDepthImageToEngine();
}

void MainWindow::LoadTexture1Click() {
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetStereogram);
    Image3Click();
}

void MainWindow::Image3Click() {
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
        ReportPictureLoad(path, LoadImage(image3Picture_, path));
        textureDialogFolder_.clear();
        RefreshTextureList();
        imageTexture_ = image3Picture_.To24Bit();
        SetTextureRanges(imageTexture_.Width(), imageTexture_.Height());
        PrepareTexture();
    }
    ApplyTexture();
}

// A new texture starts unplaced: scale 100, no offset or crop, no blending, stretched.
void MainWindow::LoadTextureControls() {
    ui_->cbStretchTexture->setChecked(true);
    stereogram1_.SetStretchTexture(true);
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    preview->tbSize()->setValue(100.0);
    for (QSpinBox* field : {preview->seX(), preview->seY(), preview->seTextStartX(), preview->seTextStartY(),
                            preview->seTextStopX(), preview->seTextStopY()}) {
        field->setValue(0);
    }
    preview->tbStretch()->setChecked(true);
    preview->cbSeamless()->setCurrentIndex(0);
}

void MainWindow::SetTextureRanges(int width, int height) {
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    for (QSpinBox* field : {preview->seX(), preview->seTextStartX(), preview->seTextStopX()}) {
        field->setMaximum(std::max(0, width - 1));
    }
    for (QSpinBox* field : {preview->seY(), preview->seTextStartY(), preview->seTextStopY()}) {
        field->setMaximum(std::max(0, height - 1));
    }
}

void MainWindow::ShowTexture() {
    ui_->Label14->setText(SizeText(image3Picture_.Width(), image3Picture_.Height()));
    ui_->Image3->SetImage(ToQImage(image3Picture_.Bitmap()));
}

void MainWindow::ApplyTexture() {
    ShowTexture();
    PrepareTexture();
    if (const int mode = MirrorMode(); mode != 0) {
        imageMirror_ = BuildMirroredTexture(imageTexture_, mode);
        stereogram1_.SetMaskMap(Picture(imageMirror_));
    } else {
        stereogram1_.SetMaskMap(Picture(imageTexture_));
    }
    ShowEngineSettings();
}

int MainWindow::MirrorMode() const {
    return (ui_->cbMirror->isChecked() ? 1 : 0) + (ui_->cbMirror2->isChecked() ? 2 : 0);
}

void MainWindow::cbMirrorClick() {
    if (PreviewWindow* preview = partners_.preview) {
        preview->tbMirror()->setChecked(ui_->cbMirror->isChecked());
        preview->tbMirror2()->setChecked(ui_->cbMirror2->isChecked());
    }
    PrepareTexture();
    const int seamless = partners_.preview != nullptr ? partners_.preview->cbSeamless()->currentIndex() : 0;
    const bool stretched = ui_->cbStretchTexture->isChecked();
    // Crop and scale, then mirror, then blend the edges, then hand over.
    PixelBuffer& texture = MirrorMode() == 0 ? imageTexture_ : imageMirror_;
    if (MirrorMode() != 0) {
        imageMirror_ = BuildMirroredTexture(imageTexture_, MirrorMode());
    }
    if (seamless >= 1) {
        MakeSeamlessTexture(seamless, texture, stretched, stereogram1_.Separation());
    }
    stereogram1_.SetMaskMap(Picture(texture));
}

void MainWindow::PrepareTexture() {
    if (textureScale_ > 100.0) {
        return;
    }
    const int width = image3Picture_.Width();
    const int height = image3Picture_.Height();
    TextureMargins margins;
    if (PreviewWindow* preview = partners_.preview) {
        if (preview->seTextStartX()->value() > width) {
            preview->seTextStartX()->setValue(width - 1);
        }
        if (preview->seTextStartY()->value() > height) {
            preview->seTextStartY()->setValue(height - 1);
        }
        margins = {
            std::max(0, preview->seTextStartX()->value()), std::max(0, preview->seTextStartY()->value()),
            std::max(0, preview->seTextStopX()->value()), std::max(0, preview->seTextStopY()->value())};
    }
    int dpi = 0;
    if (textureScale_ != 100.0) {
        const QString text = ui_->fDPI->text();
        const std::optional<int> value = FieldInteger(text);
        if (!value) {
            throw Error("'" + text.toStdString() + "' is not a valid integer value");
        }
        dpi = *value;
    }
    imageTexture_ = CropAndScaleTexture(image3Picture_.Bitmap(), margins, textureScale_, dpi);
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
        tbRenderClick();
    }
}

void MainWindow::PreviousTexture() {
    if (const std::optional<std::filesystem::path> file = textureList_.Previous()) {
        LoadTexture(QFile::decodeName(file->c_str()));
        tbRenderClick();
    }
}

void MainWindow::SetTextureOffset(int x, int y) {
    stereogram1_.SetPatOfX(x);
    stereogram1_.SetPatOfY(y);
}

void MainWindow::SetStretchTexture(bool stretch) {
    ui_->cbStretchTexture->setChecked(stretch);
    Zmena();
}

void MainWindow::SetHorizontalMirror(bool on) {
    ui_->cbMirror->setChecked(on);
}

void MainWindow::SetVerticalMirror(bool on) {
    ui_->cbMirror2->setChecked(on);
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
    const bool appliesOnLeave = focused == ui_->Edit6 || focused == ui_->Edit7 || focused == ui_->fDPI ||
                                focused == ui_->cbStretchTexture;
    if (!deliversFocusOut && appliesOnLeave) {
        Zmena();
    }
}

void MainWindow::tbRenderClick() {
    TakeFocusAway();
    // What the fields show is what renders: a preset fills the dialog's fields (and the size)
    // without applying them, and the user has no way to tell.
    Zmena();
    if (partners_.progress == nullptr) {
        RenderStereogram();
        return;
    }
    partners_.progress->SetMode(ProgressWindow::kSingleMode);
    partners_.progress->exec();
}

void MainWindow::Stereogram1Generate() {
    if (partners_.progress != nullptr) {
        partners_.progress->ShowProgress(stereogram1_.Progress());
    }
}

void MainWindow::RenderStereogram() {
    stereogram1_.Generate();
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    // The window is sized for the picture as the preview shows it: its own size unless the user
    // zoomed the view.
    const QSize shown = ZoomedSize(QSize(stereogram1_.Width(), stereogram1_.Height()), preview->Zoom());
    const int width = shown.width();
    const int height = shown.height();
    if (width + 15 > 1024) {
        preview->resize(width + 15, preview->height());
    }
    preview->resize(preview->width(), height + preview->ToolbarPanelHeight() + 40);
    preview->Image1()->setFixedSize(width, height);
    preview->SetStereogram(stereogram1_.StereogramPicture().Bitmap());
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
    ui_->tbRender->setEnabled(true);
    ui_->Render1->setEnabled(true);
}

void MainWindow::EnableAnimationCommands() {
    ui_->Renderanimation1->setEnabled(true);
}

void MainWindow::EnableResultCommands() {
    ui_->tbSee->setEnabled(true);
    ui_->Showlastrendered1->setEnabled(true);
    ui_->tbSave->setEnabled(true);
    ui_->SaveStereogram1->setEnabled(true);
}

}  // namespace vistamaze
