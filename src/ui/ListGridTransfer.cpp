// Rows leaving and entering the list grid: the clipboard (only when the owner switched it on) and
// dragging selected rows out. Both carry the row transfer text in the "ListGrid" format and as
// plain text.
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QMimeData>

#include "ui/ListGrid.h"
#include "ui/RowTransfer.h"

QString CListGrid::RowTransferText() const {
    std::vector<int> selected;
    GetSelectedRows(selected);
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(selected.size()));
    for (int row : selected) rows.append(m_model.RowText(row));
    return BuildRowTransferText(m_model.HeaderText(), rows);
}

QMimeData* CListGrid::MakeMimeData() const {
    auto* data = new QMimeData;
    const QString text = RowTransferText();
    data->setData(QString::fromLatin1(ClipboardFormat()), text.toUtf8());
    data->setText(text);
    return data;
}

void CListGrid::Copy() {
    if (!(m_dwGridStyle & LGS_EX_CLIPBOARD)) return;
    QApplication::clipboard()->setMimeData(MakeMimeData());
}

void CListGrid::Cut() {
    if (!(m_dwGridStyle & LGS_EX_CLIPBOARD)) return;
    Copy();
    DeleteSelectedRows();
}

void CListGrid::Paste() {
    if (!(m_dwGridStyle & LGS_EX_CLIPBOARD)) return;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const QString format = QString::fromLatin1(ClipboardFormat());
    if (!data || !data->hasFormat(format)) return;
    QStringList rows;
    // Rows of another grid's columns would land in the wrong columns.
    if (!ParseRowTransferText(QString::fromUtf8(data->data(format)), m_model.HeaderText(), rows)) return;

    NMLISTGRID begin;
    begin.code = LGN_PASTEBEGIN;
    Notify(begin);
    for (const QString& row : rows) {
        NMLISTGRID nm;
        nm.code = LGN_PASTEROW;
        nm.strExtra = row;
        nm.nExtra = static_cast<int>(row.size()) + 200;
        Notify(nm);
        InsertRow(nm.strExtra.left(nm.nExtra), -1);
    }
    NMLISTGRID end;
    end.code = LGN_PASTEEND;
    Notify(end);
}

void CListGrid::DeleteSelectedRows() {
    NMLISTGRID begin;
    begin.code = LGN_DELETEBEGIN;
    Notify(begin);
    std::vector<int> rows;
    GetSelectedRows(rows);
    if (rows.empty()) return;
    if (m_bEditing && std::binary_search(rows.begin(), rows.end(), m_nEditRow)) DropEdit();
    std::vector<QString> texts;
    texts.reserve(rows.size());
    for (int row : rows) texts.push_back(m_model.RowText(row));
    // Removed together, then reported one by one in display order: removing them one at a time
    // would cost a pass over the rows for each.
    m_model.RemoveRows(rows);
    for (const QString& text : texts) {
        NMLISTGRID nm;
        nm.code = LGN_ROWDELETED;
        nm.pszText = text;
        nm.cchText = static_cast<int>(text.size()) + 1;
        Notify(nm);
    }
}

void CListGrid::startDrag(Qt::DropActions) {
    m_nEditCandidateRow = -1;
    if (GetItemCount() == 0 || !selectionModel()->hasSelection()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(MakeMimeData());
    // Rows leave as a copy: only an owner that lets rows be cut may have them moved out, because
    // owners address their own data by row (a site's index, say).
    const bool movable = (m_dwGridStyle & LGS_EX_CLIPBOARD) != 0;
    const Qt::DropAction done = drag->exec(movable ? (Qt::CopyAction | Qt::MoveAction) : Qt::CopyAction, Qt::CopyAction);
    if (done == Qt::MoveAction && movable) DeleteSelectedRows();
    emit dragDone(done);
}
