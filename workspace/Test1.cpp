#include "workspace/Test1.h"

#include "ui_Test1.h"
#include "workspace/GuiResources.h"
#include "workspace/fm_About.h"

#include <QAction>
#include <QDir>

namespace vistamaze {

TfmMain::TfmMain(const MainWindowSetup& setup, QWidget* parent)
    : QMainWindow(parent), folders_(setup.folders) {
    InitGuiResources();
    ui_ = std::make_unique<Ui::TfmMain>();
    ui_->setupUi(this);
    ConnectCommands();
    FormCreate(setup.documentsFolder);
}

TfmMain::~TfmMain() = default;

void TfmMain::FormCreate(const QString& documentsFolder) {
    // The user data folder is named before the working directory changes: without a documents
    // folder it is relative to the folder the program was started in.
    userDataFolder_ = UserDataFolderName(documentsFolder);
    CreateUserDataFolder(userDataFolder_);
    userDataFolder_ = QDir(userDataFolder_).absolutePath() + QLatin1Char('/');
    QDir::setCurrent(folders_.program);
    setWindowState(windowState() | Qt::WindowMaximized);
}

void TfmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!formShown_) {
        formShown_ = true;
        FormShow();
    }
}

void TfmMain::FormShow() {
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetStereogram);
}

void TfmMain::ConnectCommands() {
    connect(ui_->Exit1, &QAction::triggered, this, &QWidget::close);
    connect(ui_->About1, &QAction::triggered, this, &TfmMain::About1Click);
}

void TfmMain::About1Click() {
    if (fmAbout_ != nullptr) {
        fmAbout_->exec();
    }
}

void TfmMain::EnableRenderCommands() {
    ui_->tbRender->setEnabled(true);
    ui_->Render1->setEnabled(true);
}

void TfmMain::EnableAnimationCommands() {
    ui_->Renderanimation1->setEnabled(true);
}

void TfmMain::EnableResultCommands() {
    ui_->tbSee->setEnabled(true);
    ui_->Showlastrendered1->setEnabled(true);
    ui_->tbSave->setEnabled(true);
    ui_->SaveStereogram1->setEnabled(true);
}

}  // namespace vistamaze
