// The extension list: one row per merged extension number of the last download, in a list grid.
// The user checks rows for synchronisation, chooses another home site in the Home Server column,
// synchronises, deletes and prints; the view follows the document's row updates.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/Frame.h"
#include "document/QOBDoc.h"
#include "ui/ListGridDefs.h"

struct RowUpdate;
class ICommandHost;

class CListGrid;
class CQOBDoc;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPrinter;

class CQOBView : public QWidget, private IListGridOwner {
    Q_OBJECT
public:
    // `frame` is where the view logs, asks and shows its progress (the main window).
    CQOBView(CQOBDoc* doc, IQOBFrame* frame, QWidget* parent = nullptr);

    // Where Synchronize and Delete run their work on the document (the main window's engine);
    // without one they run to their end on this thread.
    void SetCommandHost(ICommandHost* host) { m_pHost = host; }
    // A document update: code 10 adds the number's row, 11 refreshes its text and check state,
    // 12 its text only; other codes change nothing. Reads the document: not while a command runs.
    void OnUpdate(int code, const std::string& number);
    // The same update from a copy of the merged row made where the document was read.
    void ApplyRow(const RowUpdate& update);
    // While a command runs nothing the user does in the list reads or changes the document: no
    // check box, no Home Server editor.
    void SetCommandRunning(bool running);

    // Commands.
    void OnCheckUncheckSelected();
    void OnSynchronize();
    void OnDelete();
    void OnSelectAll();
    void RemoveAllRows();
    // On the engine: synchronises or deletes the numbers as a journalled command described by
    // `info` (its sites and numbers are filled in here); false when a number was not done. A
    // retry of a command runs through these too.
    bool SyncJournalled(std::vector<CQOBDoc::SyncRequest>& requests, document::JournalCommandInfo info);
    bool DeleteJournalled(const std::vector<std::string>& numbers, document::JournalCommandInfo info,
                          std::vector<std::string>& deleted);
    // On the window's thread, after a deletion: the deleted numbers' rows go.
    void RemoveDeletedRows(const std::vector<std::string>& deleted);
    // Copies the selected rows with their column titles, tab-separated.
    void OnCopy();
    // Writes the list as shown (its columns and the rows the filter lets through) to a CSV file
    // in UTF-8; false when it could not be written.
    bool ExportCsv(const QString& path, int* rows = nullptr) const;
    // The filter above the list.
    void FocusFilter();
    void SetFilterText(const QString& text);
    QString CountText() const;

    // Printing: through the print dialog, without it, in a preview, or into a PDF file.
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();
    bool PrintToPdf(const QString& path);
    // Pages for the rows there are now; a page shows kRowsPerPage rows.
    int PageCount() const;
    static constexpr int kRowsPerPage = 50;

    CListGrid* m_listExt;
    QComboBox* m_comboHomeServer;
    QLineEdit* m_editFilter;
    QCheckBox* m_checkUnsynchronized;
    QCheckBox* m_checkChecked;
    QComboBox* m_comboFilterHome;
    QLabel* m_labelCount;
    bool m_bUpdating = false;

    static constexpr unsigned kListId = 1000;
    static constexpr int kHomeColumn = 6;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    intptr_t OnListGridNotify(NMLISTGRID& nm) override;
    void OnListGridItemChanged(const NMLISTVIEW& nm) override;
    intptr_t OnExtListNeedCtrl(NMLISTGRID& nm);
    intptr_t OnExtListEditItem(NMLISTGRID& nm);
    void OnExtItemChanged(int row, int oldState, int newState);
    // A field of a row, white space trimmed, in the code page.
    std::string Field(int row, int column) const;
    void SetField(int row, int column, const std::string& text);
    int RowOf(const std::string& number);
    // The numbers Delete works on: the checked rows', or the selected rows' when none is checked.
    std::vector<std::string> DeleteTargets() const;
    // Synchronises the numbers on the engine: each row's state becomes 3 on success, 0 on
    // failure, as its number is done; then the list is downloaded again when Reload is on.
    void StartSync(std::vector<CQOBDoc::SyncRequest> list);
    bool Run(std::function<void()> work, std::function<void()> after);
    void PostToWindow(std::function<void()> fn);

    // The filter (QOBViewFilter.cpp): whether a row passes it, the filter applied again, the
    // count and the home sites offered brought up to date when the window is next idle.
    bool PassesFilter(int row) const;
    void ApplyFilter();
    void ScheduleCount();
    void UpdateCount();
    void CreateFilterBar(QWidget* bar);
    bool m_bCountScheduled = false;

    // Printing (QOBViewPrint.cpp).
    void Print(QPrinter& printer);
    void PrintPage(QPainter& p, const QRect& printable, int page);

    CQOBDoc* m_pDoc;
    IQOBFrame* m_pFrame;
    ICommandHost* m_pHost = nullptr;
};
