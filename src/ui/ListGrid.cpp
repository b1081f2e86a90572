#include "ui/ListGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/Trace.h"
#include "ui/CheckGlyphs.h"
#include "ui/ListGridDelegate.h"

namespace {

ListGridCompareFn g_compare = nullptr;

// A click this far from the grid's left edge or nearer hits the check box.
constexpr int kCheckHitZone = 14;
constexpr int kMinEditWidth = 5;

QString WithoutLeadingBlanks(const QString& s) {
    qsizetype b = 0;
    while (b < s.size() && s[b] == QLatin1Char(' ')) ++b;
    return s.mid(b);
}

QString TrimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

// The editor's text, whatever kind of control the owner supplied.
QString EditorText(QWidget* editor) {
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) return combo->currentText();
    const QMetaProperty user = editor->metaObject()->userProperty();
    return user.isValid() ? user.read(editor).toString() : QString();
}

}  // namespace

CListGrid::CListGrid(QWidget* parent, unsigned id, IListGridOwner* owner)
    : QTableView(parent), m_pOwner(owner), m_nID(id) {
    setObjectName(QStringLiteral("grid%1").arg(id));
    CheckGlyphs();  // made once per process, with the first grid
    m_clrWindow = palette().color(QPalette::Active, QPalette::Base);
    m_clrHighlight = palette().color(QPalette::Active, QPalette::Highlight);

    setModel(&m_model);
    setItemDelegate(new CListGridDelegate(this));
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFocusPolicy(Qt::StrongFocus);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(std::max(17, fontMetrics().height() + 3));

    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(0);
    header->setDefaultSectionSize(70);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::sectionClicked, this, &CListGrid::OnHeaderSectionClicked);
    connect(header, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowHeaderMenu(horizontalHeader()->mapToGlobal(pos)); });
    hide();
}

CListGrid::~CListGrid() {
    if (m_pEditCtrl) m_pEditCtrl->removeEventFilter(this);
}

intptr_t CListGrid::Notify(NMLISTGRID& nm) {
    nm.hwndFrom = this;
    nm.idFrom = m_nID;
    return m_pOwner ? m_pOwner->OnListGridNotify(nm) : 0;
}

// ---- columns ----

int CListGrid::SetHeader(const QString& header) { return m_model.SetHeader(header); }

void CListGrid::SetColumnEditable(int column, bool on) {
    if (column < 0 || column >= GetColumnCount()) return;
    uint8_t& flags = m_model.Columns()[static_cast<size_t>(column)].flags;
    flags = on ? (flags | LGCF_EDITABLE) : (flags & ~LGCF_EDITABLE);
}

void CListGrid::SetColumnShaded(int column, bool on) {
    if (column < 0 || column >= GetColumnCount()) return;
    uint8_t& flags = m_model.Columns()[static_cast<size_t>(column)].flags;
    flags = on ? (flags | LGCF_SHADED) : (flags & ~LGCF_SHADED);
    viewport()->update();
}

const GRIDCOLUMN* CListGrid::GetColumn(int column) const {
    if (column < 0 || column >= GetColumnCount()) return nullptr;
    return &m_model.Columns()[static_cast<size_t>(column)];
}

int CListGrid::GetColumnCount() const {
    int items = 0;
    for (int c = 0; c < m_model.ColumnCount(); ++c)
        if (!isColumnHidden(c)) ++items;
    return items;
}

int CListGrid::GetLogicalColumn(int headerPos) const {
    if (headerPos < 0) return -1;
    const QHeaderView* header = horizontalHeader();
    int pos = 0;
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (header->isSectionHidden(logical)) continue;
        if (pos++ == headerPos) return logical;
    }
    return -1;
}

int CListGrid::FirstVisibleColumn() const { return GetLogicalColumn(0); }

void CListGrid::HideColumn(int column) {
    if (column <= 0 || column >= m_model.ColumnCount() || isColumnHidden(column)) return;
    GRIDCOLUMN& c = m_model.Columns()[static_cast<size_t>(column)];
    c.width = columnWidth(column);
    c.order = horizontalHeader()->visualIndex(column);
    c.flags &= ~LGCF_VISIBLE;
    setColumnHidden(column, true);
}

void CListGrid::ShowColumn(int column) {
    if (column < 0 || column >= m_model.ColumnCount() || !isColumnHidden(column)) return;
    GRIDCOLUMN& c = m_model.Columns()[static_cast<size_t>(column)];
    c.flags |= LGCF_VISIBLE;
    setColumnHidden(column, false);
    setColumnWidth(column, c.width);
}

void CListGrid::SetHeaderClickable(bool on) { horizontalHeader()->setSectionsClickable(on); }

void CListGrid::SetExtendedStyle(uint32_t style) {
    m_dwGridStyle = style & LGS_EX_GRIDMASK;
    m_dwExStyle = style & ~LGS_EX_GRIDMASK;
    viewport()->update();
}

// ---- rows ----

int CListGrid::InsertRow(const QString& text, int pos) { return m_model.InsertRow(text, pos); }

int CListGrid::FindRow(const QString& text, int column) { return m_model.FindRow(text, column); }

QString CListGrid::GetCellText(int row, int column, bool headerPos) const {
    if (row < 0 || row >= GetItemCount()) return QString();
    if (column == -1) return m_model.RowText(row);
    if (headerPos) column = GetLogicalColumn(column);
    return column < 0 ? QString() : m_model.Field(row, column);
}

void CListGrid::SetCellText(const QString& text, int row, int column, bool headerPos) {
    if (row < 0 || row >= GetItemCount()) return;
    if (headerPos && column >= 0) {
        column = GetLogicalColumn(column);
        if (column < 0) return;
    }
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == QLatin1Char('\n')) ++b;
    while (e > b && text[e - 1] == QLatin1Char('\n')) --e;
    const QString value = text.mid(b, e - b);
    if (column == -1) {
        qsizetype first = 0;
        while (first < value.size() && value[first].isSpace()) ++first;
        if (first == value.size()) return;
        m_model.SetRowText(row, value);
        return;
    }
    if (column < 0) return;
    m_model.SetField(row, column, value);
}

void CListGrid::SetCheck(int row, int state) {
    if (row < 0 || row >= GetItemCount() || state < 0 || state > 3) return;
    const int old = m_model.Check(row);
    if (old == state) return;
    m_model.SetCheck(row, state);
    NotifyCheckChange(row, old, state);
}

int CListGrid::GetCheck(int row) const {
    if (row < 0 || row >= GetItemCount()) return 0;
    return m_model.Check(row);
}

void CListGrid::NotifyCheckChange(int row, int oldState, int newState) {
    if (!m_pOwner) return;
    NMLISTVIEW nm;
    nm.hwndFrom = this;
    nm.idFrom = m_nID;
    nm.iItem = row;
    nm.uChanged = LGN_CHECKCHANGED;
    nm.uNewState = static_cast<uint32_t>(newState);
    nm.uOldState = static_cast<uint32_t>(oldState);
    m_pOwner->OnListGridItemChanged(nm);
}

int CListGrid::GetSelectedRows(std::vector<int>& rows) const {
    rows.clear();
    if (!selectionModel()) return 0;
    // Ranges, not indexes: a selection of every row costs one range.
    for (const QItemSelectionRange& r : selectionModel()->selection())
        for (int row = r.top(); row <= r.bottom(); ++row) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return static_cast<int>(rows.size());
}

int CListGrid::GetFocusedRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CListGrid::SetFocusedRow(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    selectionModel()->setCurrentIndex(m_model.index(row, 0), QItemSelectionModel::NoUpdate);
}

void CListGrid::SelectAll() { selectAll(); }

void CListGrid::DeleteItem(int row) {
    if (m_bEditing && row == m_nEditRow) DropEdit();
    m_model.RemoveRow(row);
}

void CListGrid::DeleteAllItems() {
    DropEdit();
    m_model.RemoveAll();
}

bool CListGrid::IsRowSelected(int row) const {
    return row >= 0 && row < GetItemCount() && selectionModel()->isRowSelected(row, QModelIndex());
}

void CListGrid::SetRowSelected(int row, bool on) {
    if (row < 0 || row >= GetItemCount()) return;
    selectionModel()->select(m_model.index(row, 0), (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                                         QItemSelectionModel::Rows);
}

// ---- sorting ----

void CListGrid::SetCompareFunction(ListGridCompareFn fn) { g_compare = fn; }

void CListGrid::OnColumnclick(int column) {
    try {
        if (m_nSortType == 0 || column < -1 || column >= GetColumnCount()) return;
        m_bAscending = column == m_nSortColumn ? !m_bAscending : true;
        m_nSortColumn = column;
        m_model.Sort(column, m_nSortType, m_bAscending, g_compare);
    } catch (...) {
        platform::Trace("Exception in CListReport::OnColumnclick()\n");
    }
}

void CListGrid::OnHeaderSectionClicked(int section) {
    OnColumnclick(section);
    emit headerClicked(section);
}

// ---- the mouse ----

void CListGrid::mousePressEvent(QMouseEvent* event) {
    m_bSwallowRelease = false;
    m_nEditCandidateRow = -1;
    const QPoint pos = event->position().toPoint();
    const QModelIndex hit = indexAt(pos);
    if (event->button() == Qt::LeftButton && HasCheckBoxes() && hit.isValid() && pos.x() <= kCheckHitZone) {
        // The box is not a cell: the selection stays as it is.
        setFocus(Qt::MouseFocusReason);
        if (!m_bChangesLocked) OnCheckClick(hit.row(), event->modifiers());
        m_bSwallowRelease = true;
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && hit.isValid() &&
        hit.row() == GetFocusedRow() && IsRowSelected(hit.row()))
        m_nEditCandidateRow = hit.row();
    QTableView::mousePressEvent(event);
}

void CListGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bSwallowRelease) {
        m_bSwallowRelease = false;
        event->accept();
        return;
    }
    const int candidate = m_nEditCandidateRow;
    m_nEditCandidateRow = -1;
    QTableView::mouseReleaseEvent(event);
    if (candidate < 0 || event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const QModelIndex hit = indexAt(pos);
    if (!hit.isValid() || hit.row() != candidate) return;
    const int column = ColumnAtX(pos.x());
    if (column >= 0) StartEdit(candidate, column);
}

void CListGrid::OnCheckClick(int row, Qt::KeyboardModifiers modifiers) {
    std::vector<int> selected;
    GetSelectedRows(selected);
    const bool rowSelected = IsRowSelected(row);
    const int state = GetCheck(row);
    if ((!rowSelected || (selected.size() == 1 && selected[0] == row)) && !(state & LGCS_LOCKED))
        SetCheck(row, state ^ LGCS_CHECKED);
    if (modifiers == Qt::ControlModifier && selected.size() > 1) {
        for (int r : selected) {
            const int s = GetCheck(r);
            if (!(s & LGCS_LOCKED)) SetCheck(r, s ^ LGCS_CHECKED);
        }
    }
}

int CListGrid::ColumnAtX(int x) const {
    // The edges are the column widths added up from the left, in the content's coordinates.
    const int contentX = x + horizontalScrollBar()->value();
    const QHeaderView* header = horizontalHeader();
    int left = 0;
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (header->isSectionHidden(logical)) continue;
        const int right = left + header->sectionSize(logical);
        if (contentX > left && contentX < right) return logical;
        left = right;
    }
    return -1;
}

// ---- editing ----

void CListGrid::SetChangesLocked(bool locked) {
    m_bChangesLocked = locked;
    if (locked && m_bEditing) DropEdit();
}

bool CListGrid::StartEdit(int row, int column) {
    try {
        if (m_bChangesLocked) return false;
        if (row < 0 || row >= GetItemCount()) return false;
        if (column < 0 || column >= m_model.ColumnCount() || isColumnHidden(column)) return false;
        const QModelIndex index = m_model.index(row, column);
        scrollTo(index);
        if (columnWidth(column) < kMinEditWidth) return false;
        if (m_bEditing) EndEdit(true);

        NMLISTGRID nm;
        nm.code = LGN_NEEDCTRL;
        nm.iRow = row;
        nm.iColumn = column;
        nm.pszText = WithoutLeadingBlanks(m_model.Cell(row, column));
        nm.cchText = static_cast<int>(nm.pszText.size()) + 1;
        if (Notify(nm) == 0 || !nm.pEditCtrl) return false;

        m_pEditCtrl = nm.pEditCtrl;
        m_nEditEndCode = nm.nExtra;
        m_pEditCtrl->setFont(font());
        const GRIDCOLUMN* c = GetColumn(column);
        if (!c || !(c->flags & LGCF_EDITABLE)) return false;

        m_nEditRow = row;
        m_nEditCol = column;
        QRect rect = visualRect(index);
        if (HasCheckBoxes() && column == FirstVisibleColumn()) rect.setLeft(rect.left() + CListGridDelegate::kCheckReserve);
        if (m_pEditCtrl->parentWidget() != viewport()) m_pEditCtrl->setParent(viewport());
        m_pEditCtrl->setGeometry(rect);
        m_pEditCtrl->installEventFilter(this);
        m_pEditCtrl->raise();
        m_pEditCtrl->show();
        m_pEditCtrl->setFocus(Qt::OtherFocusReason);
        m_bEditing = true;
        emit editBegun(row, column);
        return true;
    } catch (...) {
        platform::Trace("Exception in CListReport::OnBeginLabelEdit\n");
        return false;
    }
}

void CListGrid::EndEdit(bool apply) {
    QWidget* editor = m_pEditCtrl;
    if (!m_bEditing || !editor || !editor->isVisible()) {
        DropEdit();
        return;
    }
    const int row = m_nEditRow;
    const int column = m_nEditCol;
    const QString typed = EditorText(editor);
    // Closed before the editor is hidden: hiding it moves the focus, which would end it again.
    m_bEditing = false;
    editor->removeEventFilter(this);
    editor->hide();
    m_pEditCtrl = nullptr;
    m_nEditEndCode = 0;
    m_nEditRow = m_nEditCol = -1;

    if (apply && row < GetItemCount()) {
        const QString value = TrimBlanks(typed);
        if (value != WithoutLeadingBlanks(m_model.Cell(row, column))) {
            NMLISTGRID nm;
            nm.code = LGN_EDITITEM;
            nm.iRow = row;
            nm.iColumn = column;
            nm.pszText = m_model.RowText(row);
            nm.cchText = static_cast<int>(nm.pszText.size());
            nm.strExtra = value.isEmpty() ? QStringLiteral("   ") : value;
            nm.nExtra = static_cast<int>(nm.strExtra.size());
            if (Notify(nm) == 0) SetCellText(nm.strExtra, row, column);
        }
    }
    emit editEnded(row, column);
}

void CListGrid::DropEdit() {
    if (m_pEditCtrl) {
        m_pEditCtrl->removeEventFilter(this);
        m_bEditing = false;
        m_pEditCtrl->hide();
    }
    m_bEditing = false;
    m_pEditCtrl = nullptr;
    m_nEditEndCode = 0;
    m_nEditRow = m_nEditCol = -1;
}

bool CListGrid::eventFilter(QObject* watched, QEvent* event) {
    if (!m_bEditing || watched != m_pEditCtrl) return QTableView::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        const auto* focus = static_cast<QFocusEvent*>(event);
        const bool endsOnFocusLoss = m_nEditEndCode == EN_KILLFOCUS || m_nEditEndCode == CBN_KILLFOCUS;
        // A drop-down list's own popup takes the focus without ending anything.
        if (endsOnFocusLoss && focus->reason() != Qt::PopupFocusReason) EndEdit(true);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Return takes the text and Escape drops it; neither reaches the dialog's buttons.
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            EndEdit(key != Qt::Key_Escape);
            setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void CListGrid::resizeEvent(QResizeEvent* event) {
    if (m_bEditing && m_pEditCtrl && m_pEditCtrl->isVisible()) DropEdit();
    QTableView::resizeEvent(event);
}

// ---- drawing ----

void CListGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    const int row = GetFocusedRow();
    if (!hasFocus() || row < 0) return;
    const int top = rowViewportPosition(row);
    const QHeaderView* header = horizontalHeader();
    int right = -horizontalScrollBar()->value();
    for (int c = 0; c < header->count(); ++c)
        if (!header->isSectionHidden(c)) right += header->sectionSize(c);
    QPainter p(viewport());
    p.setPen(QPen(IsRowSelected(row) ? Qt::white : Qt::black, 1, Qt::DotLine));
    p.drawRect(QRect(QPoint(-horizontalScrollBar()->value(), top), QPoint(right - 1, top + rowHeight(row) - 2)));
}

void CListGrid::focusInEvent(QFocusEvent* event) {
    // Taking the focus gives no row the focus: only a click or a key does.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CListGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}
