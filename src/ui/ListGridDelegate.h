// Draws the list grid's cells as the grid's rows look: the check glyph and its 18-pixel reserve in
// the first column, the selection in the highlight colour with white text, shaded read-only
// columns on the button-face colour, every text on one line, shortened with "..." to fit.
#pragma once

#include <QStyledItemDelegate>

class CListGrid;

class CListGridDelegate : public QStyledItemDelegate {
public:
    explicit CListGridDelegate(CListGrid* grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kCheckReserve = 18;
    static constexpr int kTextInset = 3;
    static constexpr int kMaxCellText = 255;

private:
    CListGrid* m_pGrid;
};
