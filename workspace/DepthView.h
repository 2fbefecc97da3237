#pragma once

#include <QImage>
#include <QWidget>

namespace vistamaze {

// The depth view beside the 3D view: a black area that shows the last captured depth map, or the
// stereogram made from it, at its own size with its top-left corner at the area's top-left corner;
// or, when that stereogram cannot be made, a note saying why.
class DepthView : public QWidget {
    Q_OBJECT

public:
    explicit DepthView(QWidget* parent = nullptr);

    // Shows `image` from the next paint on. Painting is left to the event loop: a synchronous repaint
    // waits for the window's next frame, which would hold up every capture of a drag. With `show`
    // false no paint is asked for: the view shows `image` when something else repaints it.
    void SetImage(QImage image, bool show = true);
    [[nodiscard]] const QImage& Image() const noexcept { return image_; }
    // Shows `text` in the middle of the area instead of a picture, until the next SetImage.
    void ShowNote(const QString& text);
    [[nodiscard]] const QString& Note() const noexcept { return note_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QString note_;
};

}  // namespace vistamaze
