#include "ui_MainWindow.h"
#include "workspace/MainWindow.h"
#include "workspace/PreviewWindow.h"
#include "workspace/PreviewZoom.h"
#include "workspace/ProgressWindow.h"

#include <QLabel>

// The render command: the fields are applied, the engine runs inside the progress window and its
// result goes to the preview window.

namespace vistamaze {

void MainWindow::TakeFocusAway() {
    QWidget* focused = focusWidget();
    if (focused == nullptr) {
        return;
    }
    // Without the keyboard focus in this window no focus-out event comes, but the control is
    // left all the same: a field still being edited is applied before the render.
    const bool deliversFocusOut = focused->hasFocus();
    focused->clearFocus();
    const bool appliesOnLeave = focused == ui_->widthEdit || focused == ui_->heightEdit ||
                                focused == ui_->dpiEdit || focused == ui_->stretchTextureCheck;
    if (!deliversFocusOut && appliesOnLeave) {
        SettingsChanged();
    }
}

void MainWindow::RenderWithProgress() {
    TakeFocusAway();
    // What the fields show is what renders: a preset fills the dialog's fields (and the size)
    // without applying them, and the user has no way to tell.
    SettingsChanged();
    if (partners_.progress == nullptr) {
        RenderStereogram();
        return;
    }
    partners_.progress->SetMode(ProgressWindow::kSingleMode);
    partners_.progress->exec();
}

void MainWindow::ShowRenderProgress() {
    if (partners_.progress != nullptr) {
        partners_.progress->ShowProgress(engine_.Progress());
    }
}

void MainWindow::RenderStereogram() {
    engine_.Generate();
    PreviewWindow* preview = partners_.preview;
    if (preview == nullptr) {
        return;
    }
    // The window is sized for the picture as the preview shows it: its own size unless the user
    // zoomed the view.
    const QSize shown = ZoomedSize(QSize(engine_.Width(), engine_.Height()), preview->Zoom());
    const int width = shown.width();
    const int height = shown.height();
    if (width + 15 > 1024) {
        preview->resize(width + 15, preview->height());
    }
    preview->resize(preview->width(), height + preview->ToolbarPanelHeight() + 40);
    preview->PictureLabel()->setFixedSize(width, height);
    preview->SetStereogram(engine_.StereogramPicture().Bitmap());
    EnableResultCommands();
    ShowLastRendered();
}

void MainWindow::ShowLastRendered() {
    if (partners_.preview != nullptr) {
        partners_.preview->show();
        partners_.preview->raise();
        partners_.preview->activateWindow();
    }
}

}  // namespace vistamaze
