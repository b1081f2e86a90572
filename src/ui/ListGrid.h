// The program's table control: a report list of rows held as tab-separated texts, with check
// boxes of four states, shaded read-only columns, sorting by a header click, in-place editing with
// an editor the owner supplies, header and row menus, clipboard transfer and dragging rows out.
// It reports to the window that contains it through IListGridOwner (ListGridDefs.h).
#pragma once

#include <QColor>
#include <QHash>
#include <QPointer>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/ListGridDefs.h"
#include "ui/ListGridModel.h"

class QMenu;
class QMimeData;

class CListGrid : public QTableView {
    Q_OBJECT
public:
    // Created hidden, with grid lines and whole-row selection; several rows may be selected.
    CListGrid(QWidget* parent, unsigned id, IListGridOwner* owner = nullptr);
    ~CListGrid() override;

    void SetOwner(IListGridOwner* owner) { m_pOwner = owner; }
    unsigned GetDlgCtrlID() const { return m_nID; }

    // Columns from a tab-separated header text; titles may start with "<", ">" or "^" (left,
    // right, centred header caption). The number created, -11 for no text, -12 for a blank one.
    int SetHeader(const QString& header);
    void SetColumnEditable(int column, bool on);
    void SetColumnShaded(int column, bool on);
    const GRIDCOLUMN* GetColumn(int column) const;
    int GetColumnCount() const;
    // A header position's column number (they differ only while columns are hidden).
    int GetLogicalColumn(int headerPos) const;
    void HideColumn(int column);
    void ShowColumn(int column);
    // Without clickable headers a header click sorts nothing (dialog grids).
    void SetHeaderClickable(bool on);

    // 0 no sorting, 1 text ignoring case, 2 integer, 9 the installed function; others: all equal.
    void SetSortType(int type);
    int GetSortType() const { return m_nSortType; }
    int GetSortColumn() const { return m_nSortColumn; }
    bool IsSortAscending() const { return m_bAscending; }
    // The comparison for sort type 9, for every grid of the process.
    static void SetCompareFunction(ListGridCompareFn fn);
    // Sorts as a click on the header of `column` does (-1: by check state).
    void OnColumnclick(int column);
    // Sorts the rows again as they were last sorted (after new rows came); nothing if never sorted.
    void Resort();
    // The columns' widths and order, which of them the user sized, and the sort, as one text to
    // keep between runs; restoring ignores what does not fit this grid's columns.
    QString ColumnState() const;
    void RestoreColumnState(const QString& state);

    // Bits 0x0F000000 are the grid's (LGS_EX_...), the rest the list's (LVS_EX_CHECKBOXES).
    void SetExtendedStyle(uint32_t style);
    uint32_t GetExtendedStyle() const { return m_dwExStyle | m_dwGridStyle; }
    bool HasCheckBoxes() const { return (m_dwExStyle & LVS_EX_CHECKBOXES) != 0; }

    // The new row's index (-1: after the last row), -11 for no text, -12 for a blank one.
    int InsertRow(const QString& text, int pos = -1);
    // The first row whose whole text (column -1) or stored field equals the text; -1 if none.
    int FindRow(const QString& text, int column);
    // The field or whole row text (column -1) as stored; empty when out of range.
    QString GetCellText(int row, int column, bool headerPos = false) const;
    // Replaces a field or the whole row text (column -1, only with a text that is not blank).
    void SetCellText(const QString& text, int row, int column, bool headerPos = false);

    void SetCheck(int row, int state);
    int GetCheck(int row) const;

    // The selected rows' indexes in display order; their number.
    int GetSelectedRows(std::vector<int>& rows) const;
    int GetFocusedRow() const;
    void SetFocusedRow(int row);
    // Makes the row the focused and only selected one, scrolled into view.
    void SelectRow(int row);
    void SelectAll();

    // What the owner uses of the list itself.
    int GetItemCount() const { return m_model.RowCount(); }
    void DeleteItem(int row);
    void DeleteAllItems();
    bool IsRowSelected(int row) const;
    void SetRowSelected(int row, bool on);
    // The owner's width of a column; while columns fit their contents, the least it gets.
    void SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const { return columnWidth(column); }
    // A cell's displayed text.
    QString GetItemText(int row, int column) const { return m_model.Cell(row, column); }

    // Rows the predicate refuses are hidden (it is asked again as rows arrive and change); none
    // hidden without one. Hidden rows are not selected.
    void SetRowFilter(std::function<bool(int row)> accept);
    void ApplyRowFilter();
    bool IsRowShown(int row) const { return row >= 0 && row < GetItemCount() && !isRowHidden(row); }
    int ShownRowCount() const;
    // The selected rows as text: the shown columns' titles, then each row's shown cells, tab-separated.
    QString SelectionAsText() const;
    // Puts SelectionAsText on the clipboard as plain text.
    void CopyAsText();
    // A frame in the highlight colour while the grid has the keyboard focus.
    void SetFocusFrame(bool on) { m_bFocusFrame = on; }
    // The row menu's Copy copies the selection as text, whatever the clipboard style.
    void SetCopyAsText(bool on) { m_bCopyText = on; }

    // Columns grow to show their titles and cells whole, measured with the grid's font as rows
    // arrive and change; a column the user sized by hand keeps the user's width.
    void SetFitColumns(bool on);
    bool IsColumnUserSized(int column) const;
    void SetColumnUserSized(int column, bool on);
    // The width a column needs for its title and the cells measured so far.
    int ColumnNeed(int column);
    // Fits the columns now rather than when the window is next idle.
    void FitColumnsNow();

    // Clipboard transfer of rows; nothing happens unless LGS_EX_CLIPBOARD is set.
    void Copy();
    void Cut();
    void Paste();
    // The header text and, for each selected row, CR LF and its text.
    QString RowTransferText() const;
    // Removes the selected rows with LGN_DELETEBEGIN and one LGN_ROWDELETED each.
    void DeleteSelectedRows();

    // Opens the owner's editor over a cell, as a click or the row menu does; false if refused.
    bool StartEdit(int row, int column);
    bool IsEditing() const { return m_bEditing; }
    // While locked the user can neither tick a check box nor start an edit (an edit open is
    // dropped); reading, selecting, sorting, scrolling and copying go on.
    void SetChangesLocked(bool locked);
    bool ChangesLocked() const { return m_bChangesLocked; }
    QWidget* GetEditCtrl() const { return m_pEditCtrl; }

    // The name of the clipboard format of rows.
    static const char* ClipboardFormat() { return "ListGrid"; }

    // Drawing.
    // The palette's, as it is now (a theme may change it while the program runs).
    QColor WindowColor() const { return palette().color(QPalette::Active, QPalette::Base); }
    QColor HighlightColor() const { return palette().color(QPalette::Active, QPalette::Highlight); }
    int FirstVisibleColumn() const;

signals:
    void headerClicked(int column);
    void editBegun(int row, int column);
    void editEnded(int row, int column);
    void dragDone(Qt::DropAction action);
    // A menu command the grid does not handle itself (Cut, Copy, Paste).
    void menuCommand(int id);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

public:
    // Typing letters or digits goes to the first row whose first column starts with them.
    void keyboardSearch(const QString& search) override;
    // Space: ticks the selected rows that are free, or when none is, unticks the ticked ones;
    // locked rows never change, nor anything while changes are locked.
    void ToggleSelectedChecks();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    intptr_t Notify(NMLISTGRID& nm);
    void NotifyCheckChange(int row, int oldState, int newState);
    void OnCheckClick(int row, Qt::KeyboardModifiers modifiers);
    void OnHeaderSectionClicked(int section);
    // The column under a viewport x, -1 on an edge or past the last column.
    int ColumnAtX(int x) const;
    void EndEdit(bool apply);
    // Whether the focus is in the editor or in a popup it opened.
    bool EditorOwnsFocus() const;
    void DropEdit();
    QMimeData* MakeMimeData() const;
    // Column fitting: rows to measure, then widths widened when the window is next idle.
    void ScheduleFit(int fromRow);
    void ScheduleFitRows(int first, int last);
    void ApplyFit();
    void SetWidth(int column, int width);

    // Menus (ListGridMenus.cpp).
    void ShowHeaderMenu(const QPoint& globalPos);
    void ShowRowMenu(const QPoint& globalPos);
    void OnMenuCommand(int id);

    CListGridModel m_model;
    IListGridOwner* m_pOwner;
    unsigned m_nID;
    uint32_t m_dwExStyle = 0;
    uint32_t m_dwGridStyle = 0;
    int m_nSortType = 0;
    int m_nSortColumn = 0;
    bool m_bAscending = true;
    bool m_bSorted = false;

    bool m_bEditing = false;
    bool m_bChangesLocked = false;
    int m_nEditRow = -1;
    int m_nEditCol = -1;
    QPointer<QWidget> m_pEditCtrl;
    int m_nEditEndCode = 0;

    // Column fitting.
    bool m_bFit = false;
    bool m_bFitScheduled = false;
    int m_nSizing = 0;                   // widths being set by the grid, not by the user
    int m_nMeasureFrom = -1;             // rows from here to the end wait to be measured
    std::vector<int> m_measureRows;      // and these single rows
    std::vector<int> m_baseWidth;        // the owner's widths
    std::vector<int> m_need;             // the widest cell measured, per column
    std::vector<bool> m_userSized;
    std::vector<qreal> m_charWidths;      // by character, in the grid's font; -1 not yet measured
    QHash<char16_t, qreal> m_wideChars;

    std::function<bool(int)> m_rowFilter;
    bool m_bFocusFrame = false;
    bool m_bCopyText = false;
    void FilterRows(int first, int last);

    // What was typed for the type-ahead search, and when.
    QString m_strSearch;
    qint64 m_nSearchAt = 0;

    // A press on the focused, selected row may start an edit when the button comes up there.
    int m_nEditCandidateRow = -1;
    bool m_bSwallowRelease = false;
};
