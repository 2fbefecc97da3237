#include "workspace/Gauge.h"

#include <QPainter>
#include <QPalette>

namespace vistamaze {

Gauge::Gauge(QWidget* parent) : QProgressBar(parent) {
    setContentsMargins(12, 0, 12, 0);
}

void Gauge::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect frame = contentsRect().adjusted(0, 0, -1, -1);
    const QPalette& colours = palette();
    painter.fillRect(frame, colours.color(QPalette::Base));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawRect(frame);
    const QRect inside = frame.adjusted(1, 1, 0, 0);
    const int span = maximum() - minimum();
    const int filled = span > 0 ? inside.width() * (value() - minimum()) / span : 0;
    const QRect bar(inside.left(), inside.top(), filled, inside.height());
    painter.fillRect(bar, colours.color(QPalette::Highlight));
    if (!isTextVisible()) {
        return;
    }
    const QString label = text();
    painter.setClipRect(inside.adjusted(filled, 0, 0, 0));
    painter.drawText(inside, Qt::AlignCenter, label);
    painter.setClipRect(bar);
    painter.setPen(colours.color(QPalette::HighlightedText));
    painter.drawText(inside, Qt::AlignCenter, label);
}

}  // namespace vistamaze
