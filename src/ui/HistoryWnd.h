// The History window: the commands of the change journal, newest first, and the changes of the
// one selected, site by site. From here a command is checked against what its sites hold now,
// undone, or run again for what it did not do; the main window does the work and reports back.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/JournalFormat.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

class CHistoryWnd : public QDialog {
    Q_OBJECT
public:
    explicit CHistoryWnd(QWidget* parent = nullptr);

    // Reads the journal again; the selection stays on the same command when it is still there.
    // False (the reason shown in the window) when the journal cannot be read.
    bool Reload(const std::string& journalPath);
    void Select(uint64_t id);
    uint64_t SelectedId() const;
    const document::JournalCommand* Selected() const;
    // A message above the list (a command the program died in); empty hides it.
    void SetBanner(const QString& text);
    // Lines under the selected command's changes: what a check or an undo found.
    void ShowResult(uint64_t id, const QString& title, const std::vector<std::string>& lines);
    // While a command runs the buttons that start one are off.
    void SetBusy(bool busy);

    // What the buttons ask of the main window, with the selected command's number.
    std::function<void(uint64_t)> onCheck, onUndo, onRetry;

    QTreeWidget* m_listCommands;
    QPlainTextEdit* m_textDetails;
    QLabel* m_labelBanner;
    QPushButton* m_btnCheck;
    QPushButton* m_btnUndo;
    QPushButton* m_btnRetry;
    QPushButton* m_btnRefresh;

private:
    void ShowSelected();
    void UpdateButtons();
    document::JournalContents m_journal;
    std::string m_strPath;
    bool m_bBusy = false;
    uint64_t m_resultId = 0;
    QString m_result;
};
