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

    [[nodiscard]] MainWindow& Main() const noexcept { return *main_; }
    [[nodiscard]] PreviewWindow& Preview() const noexcept { return *preview_; }
    [[nodiscard]] AboutBox& About() const noexcept { return *about_; }
    [[nodiscard]] AnimationOptionsDialog& AnimationOptions() const noexcept { return *animationOptions_; }
    [[nodiscard]] ProgressWindow& Progress() const noexcept { return *progress_; }
    [[nodiscard]] ConfigurationDialog& Config() const noexcept { return *config_; }
    [[nodiscard]] HelpWindow& Help() const noexcept { return *help_; }

private:
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<PreviewWindow> preview_;
    std::unique_ptr<AboutBox> about_;
    std::unique_ptr<AnimationOptionsDialog> animationOptions_;
    std::unique_ptr<ProgressWindow> progress_;
    std::unique_ptr<ConfigurationDialog> config_;
    std::unique_ptr<HelpWindow> help_;
};

}  // namespace vistamaze
