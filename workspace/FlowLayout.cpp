#include "workspace/FlowLayout.h"

#include <QWidget>
#include <algorithm>

namespace vistamaze {

FlowLayout::FlowLayout(QWidget* parent, int horizontalSpacing, int verticalSpacing)
    : QLayout(parent), horizontalSpacing_(horizontalSpacing), verticalSpacing_(verticalSpacing) {}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void FlowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

int FlowLayout::count() const {
    return static_cast<int>(items_.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

Qt::Orientations FlowLayout::expandingDirections() const {
    return {};
}

bool FlowLayout::hasHeightForWidth() const {
    return true;
}

int FlowLayout::heightForWidth(int width) const {
    return DoLayout(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const {
    // As wide as the widest item: anything narrower would cut it.
    QSize size;
    for (const QLayoutItem* item : items_) {
        if (!item->isEmpty()) {
            size = size.expandedTo(item->sizeHint());
        }
    }
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FlowLayout::sizeHint() const {
    // Everything in one row.
    int width = 0;
    int height = 0;
    int visible = 0;
    for (const QLayoutItem* item : items_) {
        if (item->isEmpty()) {
            continue;
        }
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
        ++visible;
    }
    width += std::max(0, visible - 1) * horizontalSpacing_;
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    DoLayout(rect, true);
}

int FlowLayout::DoLayout(const QRect& rect, bool place) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    // First split the items into rows, then place each row centred on its own height.
    QList<QList<QLayoutItem*>> rows(1);
    int x = 0;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty()) {
            continue;
        }
        const int width = item->sizeHint().width();
        if (!rows.back().isEmpty() && x + horizontalSpacing_ + width > area.width()) {
            rows.append(QList<QLayoutItem*>());
            x = 0;
        }
        x += (rows.back().isEmpty() ? 0 : horizontalSpacing_) + width;
        rows.back().append(item);
    }
    int y = area.y();
    for (const QList<QLayoutItem*>& row : rows) {
        int rowHeight = 0;
        for (const QLayoutItem* item : row) {
            rowHeight = std::max(rowHeight, item->sizeHint().height());
        }
        if (place) {
            int left = area.x();
            for (QLayoutItem* item : row) {
                const QSize hint = item->sizeHint();
                item->setGeometry(QRect(QPoint(left, y + (rowHeight - hint.height()) / 2), hint));
                left += hint.width() + horizontalSpacing_;
            }
        }
        y += rowHeight + verticalSpacing_;
    }
    const QMargins margins = contentsMargins();
    return y - verticalSpacing_ - area.y() + margins.top() + margins.bottom();
}

}  // namespace vistamaze
