// The list grid's two context menus: the header menu (sorting, hiding columns) and the row menu
// (clipboard commands and one "Edit" entry per editable column).
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>

#include "ui/ListGrid.h"
#include "ui/UiText.h"

namespace {

constexpr int kMaxMenuColumns = 100;

QAction* AddCommand(QMenu& menu, const QString& text, int id) {
    QAction* action = menu.addAction(text);
    action->setData(id);
    return action;
}

// A column title as a menu text: an "&" in it is a character, not a mnemonic.
QString MenuTitle(const QString& title) {
    QString t = title;
    return t.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

void CListGrid::contextMenuEvent(QContextMenuEvent* event) {
    const QRect headerRect(horizontalHeader()->mapToGlobal(QPoint(0, 0)), horizontalHeader()->size());
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (headerRect.contains(QCursor::pos())) {
            ShowHeaderMenu(QCursor::pos());
        } else {
            // Beside the focused row's lower left corner (the first row's when none has the focus).
            const int focused = GetFocusedRow();
            const int row = focused >= 0 ? focused : 0;
            QPoint at(10, 0);
            if (row < GetItemCount()) at.ry() = rowViewportPosition(row) + (focused >= 0 ? rowHeight(row) : 0);
            ShowRowMenu(viewport()->mapToGlobal(at));
        }
    } else {
        ShowRowMenu(event->globalPos());
    }
    event->accept();
}

void CListGrid::ShowHeaderMenu(const QPoint& globalPos) {
    QMenu menu(this);
    const int columns = std::min(m_model.ColumnCount(), kMaxMenuColumns);
    if (m_dwGridStyle & LGS_EX_HIDECOLUMN) {
        QMenu* hide = menu.addMenu(ui::LoadQString(47001));
        for (int c = 1; c < columns; ++c) {
            QAction* a = AddCommand(*hide, MenuTitle(m_model.Columns()[static_cast<size_t>(c)].title), LG_CMD_HIDE_FIRST + c);
            a->setCheckable(true);
            a->setChecked(!isColumnHidden(c));
        }
    }
    if (m_nSortType != 0) {
        QMenu* sort = menu.addMenu(ui::LoadQString(47002));
        if (HasCheckBoxes()) {
            QAction* a = AddCommand(*sort, ui::LoadQString(47003), LG_CMD_SORT_CHECKBOX);
            a->setCheckable(true);
            a->setChecked(m_nSortColumn == -1);
        }
        for (int c = 0; c < columns; ++c) {
            QAction* a = AddCommand(*sort, MenuTitle(m_model.Columns()[static_cast<size_t>(c)].title), LG_CMD_SORT_FIRST + c);
            a->setCheckable(true);
            a->setChecked(m_nSortColumn == c);
        }
        sort->setEnabled(GetItemCount() >= 2);
    }
    if (menu.isEmpty()) return;
    if (QAction* chosen = menu.exec(globalPos)) OnMenuCommand(chosen->data().toInt());
}

void CListGrid::ShowRowMenu(const QPoint& globalPos) {
    QMenu menu(this);
    const bool clipboard = (m_dwGridStyle & LGS_EX_CLIPBOARD) != 0;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const bool pasteable = data && data->hasFormat(QString::fromLatin1(ClipboardFormat()));
    AddCommand(menu, ui::CommandText(LG_CMD_CUT), LG_CMD_CUT)->setEnabled(clipboard && GetItemCount() > 0);
    AddCommand(menu, ui::CommandText(LG_CMD_COPY), LG_CMD_COPY)->setEnabled((clipboard || m_bCopyText) && GetItemCount() > 0);
    AddCommand(menu, ui::CommandText(LG_CMD_PASTE), LG_CMD_PASTE)->setEnabled(clipboard && pasteable);
    menu.addSeparator();
    const bool focused = GetFocusedRow() >= 0;
    const int columns = std::min(m_model.ColumnCount(), kMaxMenuColumns);
    for (int c = 0; c < columns; ++c) {
        const GRIDCOLUMN& col = m_model.Columns()[static_cast<size_t>(c)];
        if (!(col.flags & LGCF_EDITABLE)) continue;
        QString text = ui::LoadQString(47004);
        text.replace(text.indexOf(QStringLiteral("%s")), 2, MenuTitle(col.title));
        AddCommand(menu, text, LG_CMD_EDIT_FIRST + c)->setEnabled(focused);
    }
    if (QAction* chosen = menu.exec(globalPos)) OnMenuCommand(chosen->data().toInt());
}

void CListGrid::OnMenuCommand(int id) {
    if (id == LG_CMD_SORT_CHECKBOX) {
        OnColumnclick(-1);
    } else if (id >= LG_CMD_SORT_FIRST && id < LG_CMD_HIDE_FIRST) {
        OnColumnclick(id - LG_CMD_SORT_FIRST);
    } else if (id >= LG_CMD_HIDE_FIRST && id < LG_CMD_EDIT_FIRST) {
        const int column = id - LG_CMD_HIDE_FIRST;
        if (isColumnHidden(column)) ShowColumn(column);
        else HideColumn(column);
    } else if (id >= LG_CMD_EDIT_FIRST && id < LG_CMD_EDIT_FIRST + kMaxMenuColumns) {
        const int column = id - LG_CMD_EDIT_FIRST;
        const GRIDCOLUMN* c = GetColumn(column);
        const int row = GetFocusedRow();
        if (row >= 0 && c && (c->flags & LGCF_EDITABLE)) StartEdit(row, column);
    } else if (id == LG_CMD_COPY && m_bCopyText && !(m_dwGridStyle & LGS_EX_CLIPBOARD)) {
        CopyAsText();
    } else {
        emit menuCommand(id);
    }
}
