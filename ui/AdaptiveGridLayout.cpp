#include "ui/AdaptiveGridLayout.h"

#include <QWidget>
#include <algorithm>

namespace lumora {

AdaptiveGridLayout::AdaptiveGridLayout(int minColumnWidth, int horizontalSpacing,
                                       int verticalSpacing, int fixedColumns, QWidget* parent)
    : QLayout(parent), m_minColumnWidth(std::max(1, minColumnWidth)), m_hSpacing(horizontalSpacing),
      m_vSpacing(verticalSpacing), m_fixedColumns(fixedColumns) {
    setContentsMargins(0, 0, 0, 0);
}

AdaptiveGridLayout::~AdaptiveGridLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

int AdaptiveGridLayout::columnsFor(int width) const {
    if (m_fixedColumns > 0) {
        return m_fixedColumns;
    }
    return std::max(1, (width + m_hSpacing) / (m_minColumnWidth + m_hSpacing));
}

void AdaptiveGridLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
    invalidate();
}

int AdaptiveGridLayout::count() const {
    return int(m_items.size());
}

QLayoutItem* AdaptiveGridLayout::itemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* AdaptiveGridLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size()) {
        return nullptr;
    }
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations AdaptiveGridLayout::expandingDirections() const {
    return Qt::Horizontal;
}

bool AdaptiveGridLayout::hasHeightForWidth() const {
    return true;
}

int AdaptiveGridLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize AdaptiveGridLayout::sizeHint() const {
    const int columns = m_fixedColumns > 0 ? m_fixedColumns : 1;
    int width = columns * m_minColumnWidth + (columns - 1) * m_hSpacing;
    const QMargins margins = contentsMargins();
    width += margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize AdaptiveGridLayout::minimumSize() const {
    return sizeHint();
}

void AdaptiveGridLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int AdaptiveGridLayout::arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    QList<QLayoutItem*> visible;
    for (QLayoutItem* item : m_items) {
        if (!item->isEmpty()) {
            visible.append(item);
        }
    }
    if (visible.isEmpty()) {
        return 0;
    }
    const int columns = columnsFor(area.width());
    const int columnWidth = std::max(1, (area.width() - (columns - 1) * m_hSpacing) / columns);

    int y = area.top();
    for (qsizetype first = 0; first < visible.size(); first += columns) {
        const qsizetype last = std::min(first + columns, visible.size());
        int rowHeight = 0;
        for (qsizetype i = first; i < last; ++i) {
            QLayoutItem* item = visible[i];
            int h = item->hasHeightForWidth() ? item->heightForWidth(columnWidth)
                                              : item->sizeHint().height();
            h = std::max(h, item->minimumSize().height());
            rowHeight = std::max(rowHeight, h);
        }
        if (apply) {
            for (qsizetype i = first; i < last; ++i) {
                const int column = int(i - first);
                const int x = area.left() + column * (columnWidth + m_hSpacing);
                visible[i]->setGeometry(QRect(x, y, columnWidth, rowHeight));
            }
        }
        y += rowHeight;
        if (last < visible.size()) {
            y += m_vSpacing;
        }
    }
    const QMargins margins = contentsMargins();
    return y - area.top() + margins.top() + margins.bottom();
}

} // namespace lumora
