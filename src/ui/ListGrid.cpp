#include "ui/ListGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

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
    // A width the grid did not set itself is the user's.
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (m_nSizing == 0 && column >= 0) SetColumnUserSized(column, true);
    });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        ScheduleFit(first);
        FilterRows(first, last);
    });
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& a, const QModelIndex& b, const QList<int>& roles) {
                // A check state changes no text: nothing to measure.
                if (!(roles.size() == 1 && roles.front() == Qt::CheckStateRole)) ScheduleFitRows(a.row(), b.row());
                FilterRows(a.row(), b.row());
            });
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, [this] { FilterRows(0, GetItemCount() - 1); });
    connect(&m_model, &QAbstractItemModel::columnsInserted, this, [this] { ScheduleFit(0); });
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
    SetWidth(column, c.width);
}

// ---- column widths ----

void CListGrid::SetWidth(int column, int width) {
    ++m_nSizing;
    setColumnWidth(column, width);
    --m_nSizing;
}

void CListGrid::SetColumnWidth(int column, int width) {
    if (column < 0) return;
    if (m_baseWidth.size() <= static_cast<size_t>(column)) m_baseWidth.resize(static_cast<size_t>(column) + 1, 0);
    m_baseWidth[static_cast<size_t>(column)] = width;
    SetWidth(column, m_bFit && !IsColumnUserSized(column) ? std::max(width, ColumnNeed(column)) : width);
}

bool CListGrid::IsColumnUserSized(int column) const {
    return column >= 0 && static_cast<size_t>(column) < m_userSized.size() && m_userSized[static_cast<size_t>(column)];
}

void CListGrid::SetColumnUserSized(int column, bool on) {
    if (column < 0) return;
    if (m_userSized.size() <= static_cast<size_t>(column)) m_userSized.resize(static_cast<size_t>(column) + 1, false);
    m_userSized[static_cast<size_t>(column)] = on;
}

void CListGrid::SetFitColumns(bool on) {
    m_bFit = on;
    if (on) ScheduleFit(0);
}

void CListGrid::ScheduleFit(int fromRow) {
    if (!m_bFit) return;
    m_nMeasureFrom = m_nMeasureFrom < 0 ? fromRow : std::min(m_nMeasureFrom, fromRow);
    if (m_bFitScheduled) return;
    m_bFitScheduled = true;
    QMetaObject::invokeMethod(this, [this] { ApplyFit(); }, Qt::QueuedConnection);
}

void CListGrid::ScheduleFitRows(int first, int last) {
    if (!m_bFit || first < 0) return;
    for (int r = first; r <= last && m_measureRows.size() < 4096; ++r) m_measureRows.push_back(r);
    ScheduleFit(m_measureRows.size() >= 4096 ? first : GetItemCount());
}

void CListGrid::FitColumnsNow() {
    if (m_bFit) ApplyFit();
}

int CListGrid::ColumnNeed(int column) {
    if (column < 0 || column >= m_model.ColumnCount()) return 0;
    if (m_bFitScheduled) ApplyFit();
    const int measured = static_cast<size_t>(column) < m_need.size() ? m_need[static_cast<size_t>(column)] : 0;
    return std::max(measured, horizontalHeader()->sectionSizeHint(column));
}

void CListGrid::ApplyFit() {
    m_bFitScheduled = false;
    const int columns = m_model.ColumnCount();
    const int rows = GetItemCount();
    if (m_need.size() < static_cast<size_t>(columns)) m_need.resize(static_cast<size_t>(columns), 0);
    // A cell is reckoned as the sum of its characters' widths, each measured once in the grid's
    // font (kerning only makes a text narrower than that sum): a hundred thousand rows cost a pass
    // over their characters, not the shaping of every text.
    const QFontMetricsF fm(font());
    if (m_charWidths.size() != 256) m_charWidths.assign(256, -1.0);
    auto charWidth = [&](QChar ch) {
        const char16_t u = ch.unicode();
        if (u < 256) {
            qreal& w = m_charWidths[u];
            if (w < 0) w = fm.horizontalAdvance(ch);
            return w;
        }
        auto it = m_wideChars.find(u);
        if (it == m_wideChars.end()) it = m_wideChars.insert(u, fm.horizontalAdvance(ch));
        return it.value();
    };
    const int first = FirstVisibleColumn();
    auto measure = [&](int row) {
        if (row < 0 || row >= rows) return;
        for (int c = 0; c < columns; ++c) {
            qreal text = 0;
            for (QChar ch : m_model.CellView(row, c)) text += charWidth(ch);
            // The text's inset, and one pixel more: a text is shortened unless narrower than its room.
            int need = static_cast<int>(std::ceil(text)) + CListGridDelegate::kTextInset + 4;
            if (HasCheckBoxes() && c == first) need += CListGridDelegate::kCheckReserve;
            int& most = m_need[static_cast<size_t>(c)];
            most = std::max(most, need);
        }
    };
    if (m_nMeasureFrom >= 0)
        for (int r = m_nMeasureFrom; r < rows; ++r) measure(r);
    for (int r : m_measureRows) measure(r);
    m_nMeasureFrom = -1;
    m_measureRows.clear();
    for (int c = 0; c < columns; ++c) {
        if (IsColumnUserSized(c) || isColumnHidden(c)) continue;
        const int base = static_cast<size_t>(c) < m_baseWidth.size() ? m_baseWidth[static_cast<size_t>(c)] : 0;
        const int want = std::max({base, m_need[static_cast<size_t>(c)], horizontalHeader()->sectionSizeHint(c)});
        if (want > columnWidth(c)) SetWidth(c, want);
    }
}

void CListGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_bFit) {
        // Measured again in the new font, from the owner's widths up.
        m_need.assign(m_need.size(), 0);
        m_charWidths.clear();
        m_wideChars.clear();
        for (int c = 0; c < m_model.ColumnCount(); ++c)
            if (!IsColumnUserSized(c) && static_cast<size_t>(c) < m_baseWidth.size()) SetWidth(c, m_baseWidth[static_cast<size_t>(c)]);
        ScheduleFit(0);
    }
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
    // Ranges, not indexes: a selection of every row costs one range. A row filtered out is not
    // what the user sees selected.
    for (const QItemSelectionRange& r : selectionModel()->selection())
        for (int row = r.top(); row <= r.bottom(); ++row)
            if (!isRowHidden(row)) rows.push_back(row);
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

void CListGrid::SelectRow(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    const QModelIndex index = m_model.index(row, std::max(0, FirstVisibleColumn()));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
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

void CListGrid::SetSortType(int type) {
    m_nSortType = type;
    // Room for the indicator in every title from the start; none is shown until a sort.
    horizontalHeader()->setSortIndicatorShown(type != 0);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void CListGrid::OnColumnclick(int column) {
    try {
        if (m_nSortType == 0 || column < -1 || column >= GetColumnCount()) return;
        m_bAscending = column == m_nSortColumn ? !m_bAscending : true;
        m_nSortColumn = column;
        m_bSorted = true;
        m_model.Sort(column, m_nSortType, m_bAscending, g_compare);
        // The header says how the rows are sorted (by check state: no column's title).
        horizontalHeader()->setSortIndicator(column, m_bAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    } catch (...) {
        platform::Trace("Exception in CListReport::OnColumnclick()\n");
    }
}

void CListGrid::Resort() {
    if (!m_bSorted || m_nSortType == 0) return;
    m_model.Sort(m_nSortColumn, m_nSortType, m_bAscending, g_compare);
    horizontalHeader()->setSortIndicator(m_nSortColumn, m_bAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString CListGrid::ColumnState() const {
    // "width:position:user-sized" per column, then "|sort column:ascending" once sorted.
    QStringList columns;
    for (int c = 0; c < m_model.ColumnCount(); ++c)
        columns << QStringLiteral("%1:%2:%3").arg(columnWidth(c)).arg(horizontalHeader()->visualIndex(c)).arg(IsColumnUserSized(c) ? 1 : 0);
    QString state = columns.join(QLatin1Char(','));
    if (m_bSorted) state += QStringLiteral("|%1:%2").arg(m_nSortColumn).arg(m_bAscending ? 1 : 0);
    return state;
}

void CListGrid::RestoreColumnState(const QString& state) {
    const QStringList parts = state.split(QLatin1Char('|'));
    const QStringList columns = parts.value(0).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (columns.size() != m_model.ColumnCount()) return;  // another grid's, or another version's
    std::vector<std::pair<int, int>> positions;  // (position, column)
    for (int c = 0; c < columns.size(); ++c) {
        const QStringList f = columns[c].split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        const int width = f.value(0).toInt(&ok1);
        const int pos = f.value(1).toInt(&ok2);
        if (!ok1 || !ok2 || width < 0 || width > 4000) return;
        const bool user = f.value(2) == QLatin1String("1");
        SetColumnUserSized(c, user);
        if (user) SetWidth(c, width);
        positions.emplace_back(pos, c);
    }
    std::sort(positions.begin(), positions.end());
    QHeaderView* header = horizontalHeader();
    for (int v = 0; v < static_cast<int>(positions.size()); ++v)
        header->moveSection(header->visualIndex(positions[static_cast<size_t>(v)].second), v);
    const QStringList sort = parts.value(1).split(QLatin1Char(':'));
    bool ok = false;
    const int column = sort.value(0).toInt(&ok);
    if (sort.size() == 2 && ok && column >= -1 && column < m_model.ColumnCount() && m_nSortType != 0) {
        m_nSortColumn = column;
        m_bAscending = sort.value(1) == QLatin1String("1");
        m_bSorted = true;
        Resort();
    }
    if (m_bFit) ScheduleFit(0);
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

// ---- filtering and copying ----

void CListGrid::SetRowFilter(std::function<bool(int)> accept) {
    const bool had = static_cast<bool>(m_rowFilter);
    m_rowFilter = std::move(accept);
    if (!m_rowFilter && had)
        for (int row = 0; row < GetItemCount(); ++row)
            if (isRowHidden(row)) setRowHidden(row, false);
    ApplyRowFilter();
}

void CListGrid::ApplyRowFilter() { FilterRows(0, GetItemCount() - 1); }

void CListGrid::FilterRows(int first, int last) {
    // Without a filter every row is shown, and a new or changed row needs no look.
    if (first < 0 || !m_rowFilter) return;
    last = std::min(last, GetItemCount() - 1);
    for (int row = first; row <= last; ++row) {
        const bool hide = m_rowFilter && !m_rowFilter(row);
        if (hide == isRowHidden(row)) continue;
        setRowHidden(row, hide);
        if (hide && IsRowSelected(row)) SetRowSelected(row, false);
    }
}

int CListGrid::ShownRowCount() const {
    int shown = 0;
    for (int row = 0; row < GetItemCount(); ++row) shown += !isRowHidden(row);
    return shown;
}

QString CListGrid::SelectionAsText() const {
    // The columns as the header shows them, in its order.
    const QHeaderView* header = horizontalHeader();
    std::vector<int> columns;
    for (int v = 0; v < header->count(); ++v)
        if (!header->isSectionHidden(header->logicalIndex(v))) columns.push_back(header->logicalIndex(v));
    QStringList lines;
    QStringList titles;
    for (int c : columns) titles << m_model.Columns()[static_cast<size_t>(c)].title;
    lines << titles.join(QLatin1Char('\t'));
    std::vector<int> rows;
    GetSelectedRows(rows);
    for (int row : rows) {
        QStringList cells;
        for (int c : columns) cells << m_model.Cell(row, c).trimmed();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void CListGrid::CopyAsText() { QApplication::clipboard()->setText(SelectionAsText()); }

// ---- the keyboard ----

void CListGrid::ToggleSelectedChecks() {
    if (!HasCheckBoxes() || m_bChangesLocked) return;
    std::vector<int> selected;
    GetSelectedRows(selected);
    if (selected.empty() && GetFocusedRow() >= 0) selected.push_back(GetFocusedRow());
    bool anyFree = false;
    for (int row : selected) anyFree = anyFree || GetCheck(row) == LGCS_UNCHECKED;
    for (int row : selected) {
        const int state = GetCheck(row);
        if (anyFree && state == LGCS_UNCHECKED) SetCheck(row, LGCS_CHECKED);
        else if (!anyFree && state == LGCS_CHECKED) SetCheck(row, LGCS_UNCHECKED);
    }
}

void CListGrid::keyPressEvent(QKeyEvent* event) {
    if (HasCheckBoxes() && event->key() == Qt::Key_Space && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        // A blank is no number to search for: Space ticks. (Without check boxes it selects the
        // current row, as in any list; the search ignores the blank.)
        ToggleSelectedChecks();
        event->accept();
        return;
    }
    if (m_bCopyText && event->matches(QKeySequence::Copy)) {
        // The selected rows, not the one cell the view would copy.
        CopyAsText();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CListGrid::event(QEvent* event) {
    // Del is the window's (its Delete command), not the view's.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
        event->ignore();
        return true;
    }
    return QTableView::event(event);
}

QModelIndex CListGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and last row, not along the row.
    const int rows = GetItemCount();
    if (rows > 0 && (cursorAction == MoveHome || cursorAction == MoveEnd)) {
        const int column = std::max(0, currentIndex().isValid() ? currentIndex().column() : FirstVisibleColumn());
        return m_model.index(cursorAction == MoveHome ? 0 : rows - 1, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void CListGrid::keyboardSearch(const QString& search) {
    if (search.isEmpty() || GetItemCount() == 0) return;
    for (QChar ch : search)
        if (!ch.isLetterOrNumber()) return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_nSearchAt > QApplication::keyboardInputInterval()) m_strSearch.clear();
    m_nSearchAt = now;
    m_strSearch += search;
    const int column = std::max(0, FirstVisibleColumn());
    for (int row = 0; row < GetItemCount(); ++row) {
        if (!m_model.Cell(row, column).startsWith(m_strSearch, Qt::CaseInsensitive)) continue;
        SelectRow(row);
        return;
    }
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
        // Never narrower than the editor needs to show its entries (a drop-down list's longest).
        const bool list = qobject_cast<QComboBox*>(m_pEditCtrl.data()) != nullptr;
        rect.setWidth(std::max(rect.width(), list ? m_pEditCtrl->sizeHint().width() : m_pEditCtrl->minimumSizeHint().width()));
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
        // A drop-down list's own popup takes the focus without ending anything. Under a window
        // manager the popup is a window of its own and the focus leaves for another reason, so
        // the popup itself is looked at, now and once the focus has settled.
        if (endsOnFocusLoss && focus->reason() != Qt::PopupFocusReason && !EditorOwnsFocus()) {
            if (QApplication::focusWidget())
                EndEdit(true);  // another widget of the program took it
            else
                QMetaObject::invokeMethod(this, [this, editor = m_pEditCtrl] {
                    if (m_bEditing && m_pEditCtrl == editor && !EditorOwnsFocus()) EndEdit(true);
                }, Qt::QueuedConnection);
        }
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

bool CListGrid::EditorOwnsFocus() const {
    QWidget* editor = m_pEditCtrl;
    if (!editor) return false;
    // The editor, or a window it opened (a drop-down list's popup), has the focus or is shown.
    auto ownedByEditor = [editor](QWidget* w) {
        for (; w; w = w->parentWidget())
            if (w == editor) return true;
        return false;
    };
    if (ownedByEditor(QApplication::focusWidget())) return true;
    if (ownedByEditor(QApplication::activePopupWidget())) return true;
    if (auto* combo = qobject_cast<QComboBox*>(editor)) return combo->view() && combo->view()->isVisible();
    return false;
}

void CListGrid::resizeEvent(QResizeEvent* event) {
    if (m_bEditing && m_pEditCtrl && m_pEditCtrl->isVisible()) DropEdit();
    QTableView::resizeEvent(event);
}

// ---- drawing ----

void CListGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (m_bFocusFrame && hasFocus()) {
        QPainter frame(viewport());
        frame.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        frame.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    }
    const int row = GetFocusedRow();
    if (!hasFocus() || row < 0) return;
    const int top = rowViewportPosition(row);
    const QHeaderView* header = horizontalHeader();
    int right = -horizontalScrollBar()->value();
    for (int c = 0; c < header->count(); ++c)
        if (!header->isSectionHidden(c)) right += header->sectionSize(c);
    QPainter p(viewport());
    p.setPen(QPen(palette().color(QPalette::Active, IsRowSelected(row) ? QPalette::HighlightedText : QPalette::Text), 1,
                  Qt::DotLine));
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
