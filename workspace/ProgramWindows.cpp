#include "workspace/ProgramWindows.h"

#include "workspace/HelpWindow.h"
#include "workspace/PreviewWindow.h"
#include "workspace/AboutBox.h"
#include "workspace/ProgressWindow.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/ConfigurationDialog.h"

#include <QApplication>

namespace vistamaze {

ProgramWindows::ProgramWindows(const MainWindowSetup& setup)
    : fmMain_(std::make_unique<MainWindow>(setup)),
      form2_(std::make_unique<PreviewWindow>(fmMain_->UserDataFolder(),
                                      [main = fmMain_.get()] { return main->DpiText(); })),
      fmAbout_(std::make_unique<AboutBox>(setup.webPage, setup.mailTo)),
      fmAvi_(std::make_unique<AnimationOptionsDialog>()),
      fmAnimProg_(std::make_unique<ProgressWindow>()),
      fmConfig_(std::make_unique<ConfigurationDialog>()),
      help_(std::make_unique<HelpWindow>()) {
    for (QWidget* window : std::initializer_list<QWidget*>{form2_.get(), fmAbout_.get(), fmAvi_.get(),
                                                           fmAnimProg_.get(), fmConfig_.get(), help_.get()}) {
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    fmMain_->AttachWindows(MainWindowPartners{form2_.get(), fmAbout_.get(), fmAvi_.get(), fmAnimProg_.get(),
                                              fmConfig_.get(), help_.get()});
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        HelpWindow::InstallF1(*app, *help_);
    }
}

ProgramWindows::~ProgramWindows() = default;

}  // namespace vistamaze
