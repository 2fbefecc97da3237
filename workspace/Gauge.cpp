#include "workspace/Gauge.h"

#include <QPainter>

namespace vistamaze {

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
    setContentsMargins(12, 0, 12, 0);
}

void TGauge::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect frame = contentsRect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(frame);
    const QRect inside = frame.adjusted(1, 1, 0, 0);
    const int span = maximum() - minimum();
    const int filled = span > 0 ? inside.width() * (value() - minimum()) / span : 0;
    const QRect bar(inside.left(), inside.top(), filled, inside.height());
    painter.fillRect(bar, Qt::black);
    if (!isTextVisible()) {
        return;
    }
    const QString label = text();
    painter.setClipRect(inside.adjusted(filled, 0, 0, 0));
    painter.drawText(inside, Qt::AlignCenter, label);
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inside, Qt::AlignCenter, label);
}

}  // namespace vistamaze
