#include "workspace/ProgramWindows.h"

#include "workspace/HelpWindow.h"
#include "workspace/Unit2t.h"
#include "workspace/fm_About.h"
#include "workspace/fm_AnimProg.h"
#include "workspace/fm_Avi.h"
#include "workspace/fm_Config.h"

#include <QApplication>

namespace vistamaze {

ProgramWindows::ProgramWindows(const MainWindowSetup& setup)
    : fmMain_(std::make_unique<TfmMain>(setup)),
      form2_(std::make_unique<TForm2>(fmMain_->UserDataFolder(),
                                      [main = fmMain_.get()] { return main->DpiText(); })),
      fmAbout_(std::make_unique<TfmAbout>(setup.webPage, setup.mailTo)),
      fmAvi_(std::make_unique<TfmAvi>()),
      fmAnimProg_(std::make_unique<TfmAnimProg>()),
      fmConfig_(std::make_unique<TfmConfig>()),
      help_(std::make_unique<THelpWindow>()) {
    for (QWidget* window : std::initializer_list<QWidget*>{form2_.get(), fmAbout_.get(), fmAvi_.get(),
                                                           fmAnimProg_.get(), fmConfig_.get(), help_.get()}) {
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    fmMain_->AttachWindows(MainWindowPartners{form2_.get(), fmAbout_.get(), fmAvi_.get(), fmAnimProg_.get(),
                                              fmConfig_.get(), help_.get()});
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        THelpWindow::InstallF1(*app, *help_);
    }
}

ProgramWindows::~ProgramWindows() = default;

}  // namespace vistamaze
