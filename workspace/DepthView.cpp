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
    note_.clear();
    if (show) {
        update();
    }
}

void DepthView::ShowNote(const QString& text) {
    image_ = QImage();
    note_ = text;
    update();
}

void DepthView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!note_.isEmpty()) {
        constexpr int kMargin = 8;
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin),
                         Qt::AlignCenter | Qt::TextWordWrap, note_);
        return;
    }
    if (!image_.isNull()) {
        painter.drawImage(QPoint(0, 0), image_);
    }
}

}  // namespace vistamaze
