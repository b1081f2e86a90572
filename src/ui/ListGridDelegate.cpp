#include "ui/ListGridDelegate.h"

#include <QPainter>

#include "platform/Trace.h"
#include "ui/CheckGlyphs.h"
#include "ui/ListGrid.h"
#include "ui/ReArrangeText.h"

CListGridDelegate::CListGridDelegate(CListGrid* grid) : QStyledItemDelegate(grid), m_pGrid(grid) {}

void CListGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    try {
        const int row = index.row();
        const int column = index.column();
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        QRect cell = option.rect;
        painter->save();
        if (m_pGrid->HasCheckBoxes() && column == m_pGrid->FirstVisibleColumn()) {
            painter->fillRect(QRect(cell.left(), cell.top(), kCheckReserve, cell.height()), m_pGrid->WindowColor());
            const int state = m_pGrid->GetCheck(row) & 3;
            const QColor tick = m_pGrid->palette().color(QPalette::Active, QPalette::Text);
            painter->drawPixmap(cell.topLeft(), CheckGlyphs(tick)[static_cast<size_t>(state)]);
            cell.setLeft(cell.left() + kCheckReserve);
        }
        painter->fillRect(cell, selected ? m_pGrid->HighlightColor() : m_pGrid->WindowColor());

        const GRIDCOLUMN* c = m_pGrid->GetColumn(column);
        // The palette's ink: dark on a light theme, light on a dark one.
        const QPalette& pal = m_pGrid->palette();
        QColor textColor = pal.color(QPalette::Active, QPalette::Text);
        if (selected) {
            textColor = pal.color(QPalette::Active, QPalette::HighlightedText);
        } else if (c && (c->flags & LGCF_SHADED)) {
            painter->fillRect(cell.adjusted(1, 1, -1, -1), pal.color(QPalette::Active, QPalette::Button));
            const QColor ink = pal.color(QPalette::Active, QPalette::ButtonText);
            // The classic dark red where the button face is light.
            textColor = ink.lightness() < 128 ? QColor(17, 0, 0) : ink;
        }
        const QString text = m_pGrid->GetItemText(row, column).left(kMaxCellText);
        QRect textRect = cell;
        textRect.setLeft(cell.left() + kTextInset);
        painter->setFont(option.font);
        painter->setPen(textColor);
        const QString shown = ReArrangeText(QFontMetrics(option.font), text, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
        painter->restore();
    } catch (...) {
        platform::Trace("Exception is catched in drawing one item\n");
    }
}
