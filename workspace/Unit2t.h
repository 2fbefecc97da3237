#pragma once

#include "engine/Picture.h"
#include "workspace/PreviewTextureHost.h"

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
class TForm2;
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
// (PlacePreview with `Image1`'s size), so `Image1` is sized before show(). Give `Image1` its size
// with setFixedSize (or resize): it sits unstretched and centred in the scroll area, which scrolls
// when the picture is larger.
class TForm2 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kToolbarPanelHeight = 54;

    // `userDataFolder` is the save dialog's initial folder; `dpiText` returns the main window's
    // DPI field text at the moment of saving (the writers take it as text).
    TForm2(QString userDataFolder, std::function<QString()> dpiText, QWidget* parent = nullptr);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // The image control inside the scroll area (object name "Image1").
    [[nodiscard]] QLabel* Image1() const;
    // The toolbar panel's height: kToolbarPanelHeight.
    [[nodiscard]] int ToolbarPanelHeight() const;

    // Copies `picture` into Image1: the stored picture that saves write (24-bit; other depths are
    // drawn as 24-bit) and the pixmap shown. Does not resize Image1 or the window.
    void SetStereogram(const PixelBuffer& picture);
    // What Image1 holds.
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

    // `Timer1`: single-shot, 800 ms, stopped; the delayed texture update runs from it.
    [[nodiscard]] QTimer& Timer1() noexcept { return timer1_; }

    // The main window that the texture controls act on; null (the start) leaves them without
    // effect. Not owned; must outlive this window's use of it.
    void SetTextureHost(PreviewTextureHost* host) noexcept { host_ = host; }

    // The texture controls, which the main window reads when it prepares the texture and writes
    // when it loads one.
    [[nodiscard]] QSpinBox* seX() const;
    [[nodiscard]] QSpinBox* seY() const;
    [[nodiscard]] QSpinBox* seTextStartX() const;
    [[nodiscard]] QSpinBox* seTextStartY() const;
    [[nodiscard]] QSpinBox* seTextStopX() const;
    [[nodiscard]] QSpinBox* seTextStopY() const;
    [[nodiscard]] QDoubleSpinBox* tbSize() const;
    [[nodiscard]] QComboBox* cbSeamless() const;
    [[nodiscard]] QAction* tbStretch() const;
    [[nodiscard]] QAction* tbMirror() const;
    [[nodiscard]] QAction* tbMirror2() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SaveThroughDialog(const Picture& picture, int jpegQuality);
    void ConnectControls();
    void ConnectTextureControls();
    // A field changed: the offset reaches the engine at once, the rebuild and render follow
    // 800 ms after the last change.
    void DelayedUpdate();
    void Timer1Timer();
    void ShowPopupMenu(const QPoint& pos);
    void PlaceOnScreen();

    std::unique_ptr<Ui::TForm2> ui_;
    QMenu* popupMenu1_ = nullptr;  // owned by this window (Qt parent)
    QTimer timer1_;
    Picture stereogram_;
    QString userDataFolder_;
    std::function<QString()> dpiText_;
    QString saveFileName_;
    PreviewTextureHost* host_ = nullptr;
};

}  // namespace vistamaze
