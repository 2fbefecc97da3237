#pragma once

#include "workspace/MainWindow.h"

#include <memory>

namespace vistamaze {

// Every window of the program, created once in start-up order (main window, preview, about box,
// animation options, progress window, configuration, help) and destroyed in reverse order. Only
// the main window ends the program when it closes; the others just hide. Requires a running
// QApplication.
class ProgramWindows {
public:
    explicit ProgramWindows(const MainWindowSetup& setup);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    [[nodiscard]] MainWindow& Main() const noexcept { return *fmMain_; }
    [[nodiscard]] PreviewWindow& Preview() const noexcept { return *form2_; }
    [[nodiscard]] AboutBox& About() const noexcept { return *fmAbout_; }
    [[nodiscard]] AnimationOptionsDialog& AnimationOptions() const noexcept { return *fmAvi_; }
    [[nodiscard]] ProgressWindow& Progress() const noexcept { return *fmAnimProg_; }
    [[nodiscard]] ConfigurationDialog& Config() const noexcept { return *fmConfig_; }
    [[nodiscard]] HelpWindow& Help() const noexcept { return *help_; }

private:
    std::unique_ptr<MainWindow> fmMain_;
    std::unique_ptr<PreviewWindow> form2_;
    std::unique_ptr<AboutBox> fmAbout_;
    std::unique_ptr<AnimationOptionsDialog> fmAvi_;
    std::unique_ptr<ProgressWindow> fmAnimProg_;
    std::unique_ptr<ConfigurationDialog> fmConfig_;
    std::unique_ptr<HelpWindow> help_;
};

}  // namespace vistamaze
