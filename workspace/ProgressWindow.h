#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;

namespace Ui {
class ProgressWindow;
}

namespace vistamaze {

// The modal progress window of one job: a single stereogram (mode 0) or an animation (mode 1).
// Shown with exec(); 20 ms after it appears its timer runs the job once, and the window closes
// itself when the job ends, also when the job throws (the exception then goes on to the
// application's error report).
class ProgressWindow : public QDialog {
    Q_OBJECT

public:
    static constexpr int kSingleMode = 0;
    static constexpr int kAnimationMode = 1;
    static constexpr int kFullHeight = 136;
    static constexpr int kStopPanelHeight = 41;

    explicit ProgressWindow(QWidget* parent = nullptr);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // The jobs and the stop request, supplied by the main window. A missing job does nothing.
    std::function<void()> RenderStereogram;
    std::function<void()> RunAnimation;
    std::function<void()> StopRequested;

    // Mode 0: caption "Rendering Stereogram", "Progress ...", no stop panel, 95 pixels high.
    // Mode 1: caption "Rendering Animation", empty status, the "Stop" panel, 136 pixels high.
    // Any other value is only stored.
    void SetMode(int mode);
    [[nodiscard]] int Mode() const noexcept { return mode_; }

    // Moves the gauge to `percent` only when that differs from what it shows by more than 3
    // points, so that small steps do not cost a repaint each.
    void ShowProgress(int percent);

    [[nodiscard]] QLabel* StatusLabel() const;
    [[nodiscard]] QProgressBar* ProgressBar() const;
    [[nodiscard]] const QTimer& Timer() const noexcept { return timer_; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void RunJob();

    std::unique_ptr<Ui::ProgressWindow> ui_;
    QTimer timer_;
    int mode_ = kSingleMode;
    bool jobRunning_ = false;
};

}  // namespace vistamaze
