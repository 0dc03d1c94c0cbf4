#pragma once

#include <QLayout>
#include <QList>

namespace lumora {

// A grid that fills rows left to right with columns of equal width. With a fixed column count
// it always uses that many; otherwise it fits as many columns as the width allows while each
// stays at least `minColumnWidth` wide. All items of a row get the row's tallest height, and
// heights follow the width (wrapping text), so the grid can live inside a scrolling page.
class AdaptiveGridLayout : public QLayout {
public:
    AdaptiveGridLayout(int minColumnWidth, int horizontalSpacing, int verticalSpacing,
                       int fixedColumns = 0, QWidget* parent = nullptr);
    ~AdaptiveGridLayout() override;

    int columnsFor(int width) const;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in `rect` (only when `apply`) and returns the height used.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_minColumnWidth;
    int m_hSpacing;
    int m_vSpacing;
    int m_fixedColumns;
};

} // namespace lumora
