#include "workspace/ProgramWindows.h"

#include "workspace/AboutBox.h"
#include "workspace/AnimationOptionsDialog.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/HelpWindow.h"
#include "workspace/PreviewWindow.h"
#include "workspace/ProgressWindow.h"

#include <QApplication>

namespace vistamaze {

ProgramWindows::ProgramWindows(const MainWindowSetup& setup)
    : main_(std::make_unique<MainWindow>(setup)),
      preview_(std::make_unique<PreviewWindow>(main_->UserDataFolder(),
                                               [main = main_.get()] { return main->DpiText(); })),
      about_(std::make_unique<AboutBox>(setup.webPage, setup.mailTo)),
      animationOptions_(std::make_unique<AnimationOptionsDialog>()),
      progress_(std::make_unique<ProgressWindow>()),
      config_(std::make_unique<ConfigurationDialog>()),
      help_(std::make_unique<HelpWindow>()) {
    for (QWidget* window :
         std::initializer_list<QWidget*>{preview_.get(), about_.get(), animationOptions_.get(),
                                         progress_.get(), config_.get(), help_.get()}) {
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    main_->AttachWindows(MainWindowPartners{preview_.get(), about_.get(), animationOptions_.get(),
                                            progress_.get(), config_.get(), help_.get()});
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        HelpWindow::InstallF1(*app, *help_);
    }
}

ProgramWindows::~ProgramWindows() = default;

}  // namespace vistamaze
