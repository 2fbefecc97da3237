#include "workspace/DepthView.h"

#include <QPainter>
#include <utility>

namespace vistamaze {

DepthView::DepthView(QWidget* parent) : QWidget(parent) {
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void DepthView::SetImage(QImage image, bool show) {
    image_ = std::move(image);
    if (show) {
        update();
    }
}

void DepthView::paintEvent(QPaintEvent* /*event*/) {
    if (image_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image_);
}

}  // namespace vistamaze
