#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <functional>

namespace vistamaze::test {

// Runs `inDialog` on the file dialog once it is up (polling, as exec() blocks), then stops. A
// dialog still open after `inDialog` returned false, or after five seconds, is rejected, so that
// a failing test cannot hang.
class DialogDriver {
public:
    explicit DialogDriver(std::function<bool(QFileDialog&)> inDialog) : inDialog_(std::move(inDialog)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Tick(); });
        poll_.start(20);
    }
    [[nodiscard]] bool Ran() const noexcept { return ran_; }

private:
    void Tick() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (++ticks_ > 250) {
            poll_.stop();
            if (dialog != nullptr) {
                dialog->reject();
            }
            return;
        }
        if (dialog == nullptr || !dialog->isVisible() || ran_) {
            return;
        }
        ran_ = true;
        if (!inDialog_(*dialog)) {
            poll_.stop();
            dialog->reject();
        }
    }

    std::function<bool(QFileDialog&)> inDialog_;
    QTimer poll_;
    int ticks_ = 0;
    bool ran_ = false;
};

}  // namespace vistamaze::test
