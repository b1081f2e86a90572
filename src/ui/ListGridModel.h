// The list grid's rows: the header text and one stored text per row, fields separated by
// tabs, exactly as the owner gave them; the displayed cells are worked out from them when shown.
// Entries are never reordered: sorting reorders the displayed rows only.
//
// Finding a row by its text or by a field, replacing a row's text and sorting stay below quadratic
// in the number of rows: each row knows its displayed position, and the lookups go through
// indexes built on first use and kept up to date from then on.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ui/ListGridDefs.h"

// A comparison the application may install for sort type 9: (first row, second row, column).
using ListGridCompareFn = int (*)(int, int, int);

class CListGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CListGridModel(QObject* parent = nullptr);
    ~CListGridModel() override;

    // Appends the columns that the header text names; the number created, -11 or -12.
    int SetHeader(const QString& header);
    const QString& HeaderText() const { return m_header; }
    std::vector<GRIDCOLUMN>& Columns() { return m_columns; }
    const std::vector<GRIDCOLUMN>& Columns() const { return m_columns; }
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }

    int RowCount() const { return static_cast<int>(m_display.size()); }
    // The new row's index, -11 (no text) or -12 (blank text).
    int InsertRow(const QString& text, int pos);
    void RemoveRow(int pos);
    // Removes the rows at these displayed positions (ascending, no repeats).
    void RemoveRows(const std::vector<int>& positions);
    void RemoveAll();

    const QString& RowText(int pos) const { return m_display[static_cast<size_t>(pos)]->text; }
    // The stored field, empty when the row has no such field.
    QString Field(int pos, int column) const;
    // The displayed cell: the field without leading white space, four blanks when that is empty.
    QString Cell(int pos, int column) const;
    // The displayed cell's text without copying it (four blanks for an empty field).
    QStringView CellView(int pos, int column) const;
    void SetRowText(int pos, const QString& text);
    // Replaces one field, keeping all others; false when the row has no such field.
    bool SetField(int pos, int column, const QString& text);

    int Check(int pos) const { return m_display[static_cast<size_t>(pos)]->check; }
    void SetCheck(int pos, int state);

    // The first displayed row whose whole text (column -1: first in entry order) or stored field
    // equals the text; -1 if none.
    int FindRow(const QString& text, int column);

    // Sorts the displayed rows; column -1 compares check states.
    void Sort(int column, int type, bool ascending, ListGridCompareFn fn);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The value the integer sort reads from a text: leading white space, an optional sign and the
    // digits that follow; 0 when there are none.
    static int64_t NumericValue(QStringView text);

private:
    struct Row {
        QString text;   // as the owner gave it
        QString shown;  // the text the cells show: the last one with more than blanks in it
        uint64_t seq;   // the entry's place in entry order
        int pos;        // displayed position
        int check = 0;
    };
    using Index = QHash<QString, std::vector<Row*>>;

    static QString FieldOf(const QString& text, int column);
    QString KeyOf(const Row& row, int column) const;
    void IndexAdd(Row* row);
    void IndexRemove(Row* row);
    Index& IndexFor(int column);
    void Renumber(size_t from);
    void ShowText(Row& row, const QString& text);

    QString m_header;
    std::vector<GRIDCOLUMN> m_columns;
    std::vector<std::unique_ptr<Row>> m_display;
    uint64_t m_nextSeq = 0;
    std::map<int, Index> m_indexes;  // by column, -1 for whole texts
};
