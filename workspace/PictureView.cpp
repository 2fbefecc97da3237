#include "workspace/PictureView.h"

#include <QMouseEvent>
#include <QPainter>

namespace vistamaze {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void PictureView::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void PictureView::setPlaceholderText(const QString& text) {
    placeholder_ = text;
    update();
}

QRect PictureView::PictureRect() const {
    if (image_.isNull() || width() <= 0 || height() <= 0) {
        return {};
    }
    const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
    return {QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

void PictureView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PictureRect(), image_);
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace vistamaze
