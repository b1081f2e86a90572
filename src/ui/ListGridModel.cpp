#include "ui/ListGridModel.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

constexpr int kNoText = -11;
constexpr int kBlankText = -12;
constexpr qsizetype kMaxTitle = 98;

QStringView TrimBlanks(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

// Where field `column` of a tab-separated text starts and how long it is; false when the text
// has no such field.
bool FindField(QStringView text, int column, qsizetype& start, qsizetype& length) {
    start = 0;
    for (int k = 0; k < column; ++k) {
        const qsizetype tab = text.indexOf(QLatin1Char('\t'), start);
        if (tab < 0) return false;
        start = tab + 1;
    }
    const qsizetype end = text.indexOf(QLatin1Char('\t'), start);
    length = (end < 0 ? text.size() : end) - start;
    return true;
}

QStringView FieldView(QStringView text, int column, bool* found = nullptr) {
    qsizetype start = 0, length = 0;
    const bool ok = FindField(text, column, start, length);
    if (found) *found = ok;
    return ok ? text.sliced(start, length) : QStringView();
}

}  // namespace

CListGridModel::CListGridModel(QObject* parent) : QAbstractTableModel(parent) {}
CListGridModel::~CListGridModel() = default;

int CListGridModel::SetHeader(const QString& header) {
    if (header.isNull()) return kNoText;
    const QString trimmed = header.trimmed();
    if (trimmed.isEmpty()) return kBlankText;
    std::vector<GRIDCOLUMN> added;
    for (QStringView title : QStringView(trimmed).split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
        GRIDCOLUMN c;
        switch (title.front().unicode()) {
            case '<': c.align = 0; title = title.mid(1); break;
            case '>': c.align = 1; title = title.mid(1); break;
            case '^': c.align = 2; title = title.mid(1); break;
            default: break;
        }
        c.title = title.left(kMaxTitle).toString();
        c.subItem = static_cast<int>(m_columns.size() + added.size());
        added.push_back(std::move(c));
    }
    if (added.empty()) return 0;
    const int first = ColumnCount();
    beginInsertColumns(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    for (GRIDCOLUMN& c : added) m_columns.push_back(std::move(c));
    m_header = trimmed;
    endInsertColumns();
    return static_cast<int>(added.size());
}

int CListGridModel::InsertRow(const QString& text, int pos) {
    if (text.isNull()) return kNoText;
    if (text.trimmed().isEmpty()) return kBlankText;
    const int count = RowCount();
    if (pos < 0 || pos > count) pos = count;
    auto row = std::make_unique<Row>(Row{text, text, m_nextSeq++, pos, 0});
    Row* raw = row.get();
    beginInsertRows(QModelIndex(), pos, pos);
    m_display.insert(m_display.begin() + pos, std::move(row));
    if (pos < count) Renumber(static_cast<size_t>(pos));
    IndexAdd(raw);
    endInsertRows();
    return pos;
}

void CListGridModel::RemoveRow(int pos) {
    if (pos < 0 || pos >= RowCount()) return;
    beginRemoveRows(QModelIndex(), pos, pos);
    IndexRemove(m_display[static_cast<size_t>(pos)].get());
    m_display.erase(m_display.begin() + pos);
    Renumber(static_cast<size_t>(pos));
    endRemoveRows();
}

void CListGridModel::RemoveRows(const std::vector<int>& positions) {
    if (positions.empty()) return;
    // Contiguous blocks go one by one, from the bottom; a scattered selection resets the model
    // rather than paying for every block's removal separately.
    std::vector<std::pair<int, int>> blocks;
    for (int p : positions) {
        if (p < 0 || p >= RowCount()) continue;
        if (!blocks.empty() && blocks.back().second + 1 == p) blocks.back().second = p;
        else blocks.emplace_back(p, p);
    }
    if (blocks.empty()) return;
    auto dropMarked = [this](const std::vector<std::pair<int, int>>& bs) {
        for (const auto& [a, b] : bs)
            for (int p = a; p <= b; ++p) {
                IndexRemove(m_display[static_cast<size_t>(p)].get());
                m_display[static_cast<size_t>(p)].reset();
            }
        m_display.erase(std::remove(m_display.begin(), m_display.end(), nullptr), m_display.end());
        Renumber(static_cast<size_t>(bs.front().first));
    };
    if (blocks.size() <= 16) {
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
            beginRemoveRows(QModelIndex(), it->first, it->second);
            dropMarked({*it});
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    dropMarked(blocks);
    endResetModel();
}

void CListGridModel::RemoveAll() {
    if (m_display.empty()) return;
    beginResetModel();
    m_display.clear();
    m_indexes.clear();
    endResetModel();
}

QString CListGridModel::FieldOf(const QString& text, int column) {
    return FieldView(text, column).toString();
}

QString CListGridModel::Field(int pos, int column) const {
    if (pos < 0 || pos >= RowCount() || column < 0) return QString();
    return FieldOf(RowText(pos), column);
}

QString CListGridModel::Cell(int pos, int column) const {
    if (pos < 0 || pos >= RowCount() || column < 0 || column >= ColumnCount()) return QString();
    QStringView shown = TrimBlanks(m_display[static_cast<size_t>(pos)]->shown);
    bool found = false;
    QStringView field = FieldView(shown, column, &found);
    if (!found) return QString();
    qsizetype b = 0;
    while (b < field.size() && field[b].isSpace()) ++b;
    if (b == field.size()) return QStringLiteral("    ");
    return field.mid(b).toString();
}

QStringView CListGridModel::CellView(int pos, int column) const {
    static const QString kBlanks = QStringLiteral("    ");
    if (pos < 0 || pos >= RowCount() || column < 0 || column >= ColumnCount()) return {};
    bool found = false;
    QStringView field = FieldView(TrimBlanks(m_display[static_cast<size_t>(pos)]->shown), column, &found);
    if (!found) return {};
    qsizetype b = 0;
    while (b < field.size() && field[b].isSpace()) ++b;
    return b == field.size() ? QStringView(kBlanks) : field.mid(b);
}

void CListGridModel::ShowText(Row& row, const QString& text) {
    if (!TrimBlanks(text).isEmpty()) row.shown = text;
}

void CListGridModel::SetRowText(int pos, const QString& text) {
    if (pos < 0 || pos >= RowCount()) return;
    Row& row = *m_display[static_cast<size_t>(pos)];
    IndexRemove(&row);
    row.text = text;
    ShowText(row, text);
    IndexAdd(&row);
    emit dataChanged(index(pos, 0), index(pos, std::max(0, ColumnCount() - 1)), {Qt::DisplayRole});
}

bool CListGridModel::SetField(int pos, int column, const QString& text) {
    if (pos < 0 || pos >= RowCount() || column < 0) return false;
    qsizetype start = 0, length = 0;
    if (!FindField(RowText(pos), column, start, length)) return false;
    QString updated = RowText(pos);
    updated.replace(start, length, text);
    SetRowText(pos, updated);
    return true;
}

void CListGridModel::SetCheck(int pos, int state) {
    if (pos < 0 || pos >= RowCount()) return;
    m_display[static_cast<size_t>(pos)]->check = state;
    emit dataChanged(index(pos, 0), index(pos, 0), {Qt::CheckStateRole});
}

QString CListGridModel::KeyOf(const Row& row, int column) const {
    return column < 0 ? row.text : FieldOf(row.text, column);
}

CListGridModel::Index& CListGridModel::IndexFor(int column) {
    auto it = m_indexes.find(column);
    if (it != m_indexes.end()) return it->second;
    Index& index = m_indexes[column];
    index.reserve(static_cast<qsizetype>(m_display.size()));
    for (const auto& row : m_display) index[KeyOf(*row, column)].push_back(row.get());
    return index;
}

void CListGridModel::IndexAdd(Row* row) {
    for (auto& [column, index] : m_indexes) index[KeyOf(*row, column)].push_back(row);
}

void CListGridModel::IndexRemove(Row* row) {
    for (auto& [column, index] : m_indexes) {
        auto it = index.find(KeyOf(*row, column));
        if (it == index.end()) continue;
        std::vector<Row*>& rows = it.value();
        rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
        if (rows.empty()) index.erase(it);
    }
}

int CListGridModel::FindRow(const QString& text, int column) {
    if (column < -1) return -1;
    const Index& index = IndexFor(column);
    auto it = index.find(text);
    if (it == index.end()) return -1;
    const Row* best = nullptr;
    for (const Row* row : it.value()) {
        // The whole text: the first entry; a field: the first displayed row.
        const bool better = !best || (column < 0 ? row->seq < best->seq : row->pos < best->pos);
        if (better) best = row;
    }
    return best ? best->pos : -1;
}

void CListGridModel::Renumber(size_t from) {
    for (size_t i = from; i < m_display.size(); ++i) m_display[i]->pos = static_cast<int>(i);
}

int64_t CListGridModel::NumericValue(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 1;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        if (value < kLimit) value = value * 10 + (text[i].unicode() - '0');
    return negative ? -value : value;
}

void CListGridModel::Sort(int column, int type, bool ascending, ListGridCompareFn fn) {
    const size_t n = m_display.size();
    if (n < 2) return;
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    // Each row's key is worked out once, so a comparison costs no more than comparing two keys.
    auto sortBy = [&](auto cmp) {
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return ascending ? cmp(a, b) < 0 : cmp(a, b) > 0; });
    };
    if (column == -1) {
        sortBy([this](int a, int b) { return m_display[a]->check - m_display[b]->check; });
    } else if (type == 1) {
        std::vector<QString> keys(n);
        for (size_t i = 0; i < n; ++i) keys[i] = Cell(static_cast<int>(i), column).toCaseFolded();
        sortBy([&keys](int a, int b) { return QStringView(keys[a]).compare(QStringView(keys[b])); });
    } else if (type == 2) {
        std::vector<int64_t> keys(n);
        for (size_t i = 0; i < n; ++i) keys[i] = NumericValue(Cell(static_cast<int>(i), column));
        sortBy([&keys](int a, int b) { return keys[a] < keys[b] ? -1 : keys[a] > keys[b] ? 1 : 0; });
    } else if (type == 9 && fn) {
        sortBy([fn, column](int a, int b) { return fn(a, b, column); });
    } else {
        return;  // every row compares equal
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPos(n);
    std::vector<std::unique_ptr<Row>> sorted(n);
    for (size_t i = 0; i < n; ++i) {
        newPos[static_cast<size_t>(order[i])] = static_cast<int>(i);
        sorted[i] = std::move(m_display[static_cast<size_t>(order[i])]);
    }
    m_display.swap(sorted);
    Renumber(0);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.append(index(newPos[static_cast<size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CListGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount(); }
int CListGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount(); }

QVariant CListGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return QVariant();
    return Cell(index.row(), index.column());
}

Qt::ItemFlags CListGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QVariant CListGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return QVariant();
    const GRIDCOLUMN& c = m_columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return c.title;
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment h = c.align == 1 ? Qt::AlignRight : c.align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    return QVariant();
}
