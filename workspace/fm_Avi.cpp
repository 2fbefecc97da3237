#include "workspace/fm_Avi.h"

#include "ui_fm_Avi.h"
#include "workspace/HelpContext.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

namespace vistamaze {

TfmAvi::TfmAvi(QWidget* parent) : QDialog(parent) {
    ui_ = std::make_unique<Ui::TfmAvi>();
    ui_->setupUi(this);
    SetHelpContext(this, kHelpAnimation);
}

TfmAvi::~TfmAvi() = default;

void TfmAvi::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // QDialog centres a dialog on its parent; this one belongs in the middle of the screen.
    const QScreen* area = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (area != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(area->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace vistamaze
