#include "workspace/MainWindow.h"

#include "resources/DefaultTexture.h"
#include "ui_MainWindow.h"
#include "workspace/AboutBox.h"
#include "workspace/AnimationRun.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/FlowLayout.h"
#include "workspace/GuiResources.h"
#include "workspace/HelpContext.h"
#include "workspace/HelpWindow.h"
#include "workspace/PictureConversion.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgressWindow.h"
#include "workspace/VistamazeApplication.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QRadioButton>

namespace vistamaze {
namespace {

constexpr int kMainWindowHelp = 130;
constexpr int kStereogramTabHelp = 140;
constexpr int kModelTabHelp = 150;

// Gives the radio buttons of `box` the item indexes 0, 1, ... in the order the form lists them.
QButtonGroup* MakeRadioGroup(QGroupBox* box) {
    auto* group = new QButtonGroup(box);
    int index = 0;
    for (QRadioButton* button : box->findChildren<QRadioButton*>()) {
        group->addButton(button, index++);
    }
    return group;
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

void MainWindow::ShowModelTab() {
    ui_->tabs->setCurrentWidget(ui_->modelPage);
}

void MainWindow::RenderAnimationCommand() {
    if (animation_) {
        animation_->RenderAnimationCommand();
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
