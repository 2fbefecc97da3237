#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace vistamaze {

// An image control that shows its picture drawn to fit, centred and in proportion (enlarged or
// shrunk), and a caption in its place while it holds no picture. A left click emits Clicked.
class PictureView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString placeholderText READ placeholderText WRITE setPlaceholderText)

public:
    explicit PictureView(QWidget* parent = nullptr);

    // Shows `image`; a null image shows the caption again.
    void SetImage(QImage image);
    [[nodiscard]] const QImage& Image() const noexcept { return image_; }
    [[nodiscard]] QString placeholderText() const { return placeholder_; }
    // Qt-style names: the caption is a designer property of the form.
    void setPlaceholderText(const QString& text);
    // Where the picture is drawn inside the control (empty when there is no picture).
    [[nodiscard]] QRect PictureRect() const;

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage image_;
    QString placeholder_;
};

}  // namespace vistamaze
