#include "workspace/ProgressWindow.h"

#include "ui_ProgressWindow.h"

#include <QPushButton>
#include <cstdlib>

namespace vistamaze {

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::ProgressWindow>()) {
    ui_->setupUi(this);
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &ProgressWindow::RunJob);
    connect(ui_->stopButton, &QPushButton::clicked, this, [this] {
        if (StopRequested) {
            StopRequested();
        }
    });
    SetMode(kSingleMode);
}

ProgressWindow::~ProgressWindow() = default;

QLabel* ProgressWindow::StatusLabel() const {
    return ui_->statusLabel;
}

QProgressBar* ProgressWindow::ProgressBar() const {
    return ui_->gauge;
}

void ProgressWindow::SetMode(int mode) {
    mode_ = mode;
    if (mode == kSingleMode) {
        setWindowTitle(QStringLiteral("Rendering Stereogram"));
        ui_->statusLabel->setText(QStringLiteral("Progress ..."));
        ui_->stopPanel->hide();
        setFixedHeight(kFullHeight - kStopPanelHeight);
    } else if (mode == kAnimationMode) {
        setWindowTitle(QStringLiteral("Rendering Animation"));
        ui_->statusLabel->clear();
        ui_->stopPanel->show();
        setFixedHeight(kFullHeight);
    }
}

void ProgressWindow::ShowProgress(int percent) {
    if (std::abs(percent - ui_->gauge->value()) > 3) {
        ui_->gauge->setValue(percent);
    }
}

void ProgressWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ui_->gauge->setValue(0);
    timer_.start();
}

void ProgressWindow::reject() {
    // Esc and the close box cannot end a running job: the window closes when the job ends.
    if (!jobRunning_) {
        QDialog::reject();
    }
}

void ProgressWindow::RunJob() {
    timer_.stop();
    // Closes the window however the job ends; an exception then goes on to the error report.
    struct CloseWhenDone {
        ProgressWindow& window;
        ~CloseWhenDone() {
            window.jobRunning_ = false;
            window.done(QDialog::Accepted);
        }
    } closeWhenDone{*this};
    jobRunning_ = true;
    const auto& job = mode_ == kAnimationMode ? RunAnimation : RenderStereogram;
    if (job) {
        job();
    }
}

}  // namespace vistamaze
