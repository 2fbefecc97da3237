#pragma once

#include "workspace/Test1.h"

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

    [[nodiscard]] TfmMain& Main() const noexcept { return *fmMain_; }
    [[nodiscard]] TForm2& Preview() const noexcept { return *form2_; }
    [[nodiscard]] TfmAbout& About() const noexcept { return *fmAbout_; }
    [[nodiscard]] TfmAvi& AnimationOptions() const noexcept { return *fmAvi_; }
    [[nodiscard]] TfmAnimProg& Progress() const noexcept { return *fmAnimProg_; }
    [[nodiscard]] TfmConfig& Config() const noexcept { return *fmConfig_; }
    [[nodiscard]] THelpWindow& Help() const noexcept { return *help_; }

private:
    std::unique_ptr<TfmMain> fmMain_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TfmAbout> fmAbout_;
    std::unique_ptr<TfmAvi> fmAvi_;
    std::unique_ptr<TfmAnimProg> fmAnimProg_;
    std::unique_ptr<TfmConfig> fmConfig_;
    std::unique_ptr<THelpWindow> help_;
};

}  // namespace vistamaze
