#pragma once

#include "engine/Picture.h"
#include "workspace/PreviewTextureHost.h"

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QSpinBox;

namespace Ui {
class PreviewWindow;
}

namespace vistamaze {

// Where the preview window goes when it is shown: maximised, or a normal window at `geometry`
// (top-left corner of the frame and the window's size, in screen pixels).
struct PreviewPlacement {
    bool maximised = false;
    QRect geometry;
};

// The placement for a picture control of `image` size on a screen area `screen`: maximised when
// the picture is wider and taller than the area; otherwise the picture's width + 15 by its height
// + `toolbarHeight` + 38, centred on the area (a coordinate that would fall before the area's
// start is the area's start).
[[nodiscard]] PreviewPlacement PlacePreview(const QRect& screen, QSize image, int toolbarHeight);

// The preview window: the last rendered stereogram at one picture pixel per screen pixel, the
// texture placement fields and tool buttons, and the stereogram's save command. A top-level
// window created once and hidden or shown, never re-created; closing it (close box, Esc, the
// popup's "Close") only hides it and keeps the picture and the fields.
//
// Each time it goes from hidden to shown it places itself on the available area of its screen
// (PlacePreview with `pictureLabel`'s size and the toolbar panel's height at that width), so `pictureLabel`
// is sized before show(). SetStereogram gives `pictureLabel` the size of the picture as shown (setFixedSize
// also works): it sits unstretched and centred in the scroll area, which scrolls when the picture
// is larger. The tool bar and the field groups flow into more rows when the window is narrow.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kToolbarPanelHeight = 54;

    // `userDataFolder` is the save dialog's initial folder; `dpiText` returns the main window's
    // DPI field text at the moment of saving (the writers take it as text).
    PreviewWindow(QString userDataFolder, std::function<QString()> dpiText, QWidget* parent = nullptr);
    ~PreviewWindow() override;
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // The image control inside the scroll area (object name "pictureLabel").
    [[nodiscard]] QLabel* PictureLabel() const;
    // The toolbar panel's height at the window's current width: kToolbarPanelHeight when the
    // tool bar and the fields fit in one row, more when they flow into more rows.
    [[nodiscard]] int ToolbarPanelHeight() const;
    // The toolbar panel's height in a window `windowWidth` pixels wide.
    [[nodiscard]] int PanelHeightFor(int windowWidth) const;

    // Copies `picture` into pictureLabel: the stored picture that saves write (24-bit; other depths are
    // drawn as 24-bit) and the pixmap shown at the current zoom. pictureLabel gets the zoomed picture's
    // size (the picture's own size at 100 %); the window is not resized.
    void SetStereogram(const PixelBuffer& picture);

    // The view's zoom factor (1: one picture pixel per screen pixel, the start), kept while the
    // window lives, across renders. Only what is shown is scaled, never what is saved.
    // Ctrl+wheel over the picture and Ctrl++ / Ctrl+- step it, Ctrl+0 and "1:1" set 1, "Fit"
    // fits the picture into the picture area; `zoomLabel` shows it.
    [[nodiscard]] double Zoom() const noexcept { return zoom_; }
    void SetZoom(double zoom);
    void FitToWindow();
    // What pictureLabel holds.
    [[nodiscard]] const Picture& Stereogram() const noexcept { return stereogram_; }

    // Asks for a file name through the application's dialogs (initial folder: the user data
    // folder; the previous save's name is offered again) and writes the stereogram with
    // SavePictureByExtension at JPEG quality 95 and the DPI text. Cancel does nothing; an unknown
    // extension writes nothing and says nothing. Writer errors (vistamaze::Error) propagate; the
    // busy cursor shown meanwhile is restored first.
    void SaveStereogram();
    // Saves `picture` through the same dialog, which opens with an empty file name (and keeps the
    // chosen one for the next save), at the given JPEG quality and the DPI text.
    void SavePictureThroughDialog(const Picture& picture, int jpegQuality);

    // `updateTimer`: single-shot, 800 ms, stopped; the delayed texture update runs from it.
    [[nodiscard]] QTimer& UpdateTimer() noexcept { return updateTimer_; }

    // The main window that the texture controls act on; null (the start) leaves them without
    // effect. Not owned; must outlive this window's use of it.
    void SetTextureHost(PreviewTextureHost* host) noexcept { host_ = host; }

    // The texture controls, which the main window reads when it prepares the texture and writes
    // when it loads one.
    [[nodiscard]] QSpinBox* OffsetXField() const;
    [[nodiscard]] QSpinBox* OffsetYField() const;
    [[nodiscard]] QSpinBox* CropLeftField() const;
    [[nodiscard]] QSpinBox* CropTopField() const;
    [[nodiscard]] QSpinBox* CropRightField() const;
    [[nodiscard]] QSpinBox* CropBottomField() const;
    [[nodiscard]] QDoubleSpinBox* TextureScaleField() const;
    [[nodiscard]] QComboBox* SeamlessBox() const;
    [[nodiscard]] QAction* StretchButton() const;
    [[nodiscard]] QAction* HorizontalMirrorButton() const;
    [[nodiscard]] QAction* VerticalMirrorButton() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayOutPanel();
    void ConnectZoom();
    void ShowZoomed();
    void SaveThroughDialog(const Picture& picture, int jpegQuality);
    void ConnectControls();
    void ConnectTextureControls();
    // A field changed: the offset reaches the engine at once, the rebuild and render follow
    // 800 ms after the last change.
    void DelayedUpdate();
    void ApplyDelayedUpdate();
    void ShowPopupMenu(const QPoint& pos);
    void PlaceOnScreen();

    std::unique_ptr<Ui::PreviewWindow> ui_;
    QMenu* contextMenu_ = nullptr;  // owned by this window (Qt parent)
    QTimer updateTimer_;
    Picture stereogram_;
    QPixmap fullPixmap_;  // the stereogram at its own size; pictureLabel shows it zoomed
    double zoom_ = 1.0;
    int wheelDelta_ = 0;  // Ctrl+wheel rotation not yet a whole step
    QString userDataFolder_;
    std::function<QString()> dpiText_;
    QString saveFileName_;
    PreviewTextureHost* host_ = nullptr;
};

}  // namespace vistamaze
