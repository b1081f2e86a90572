// The program's only window: the toolbar of the nine commands, the status bar, and a splitter with
// the extension list above the log. It is the document's frame: the document logs, asks and
// announces its row updates through it.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <map>
#include <string>

#include "document/Frame.h"

class CLogView;
class CQOBDoc;
class CQOBView;
class QAction;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolBar;

// Command identifiers of the toolbar and the accelerators.
constexpr int ID_SITES_DOWNLOAD = 32772;
constexpr int ID_CHECK_UNCHECK = 32773;
constexpr int ID_SYNCHRONIZE = 32774;
constexpr int ID_EDIT_MAP = 32775;
constexpr int ID_DELETE_EXT = 32787;
constexpr int ID_LAUNCH_ADMIN = 32788;
constexpr int ID_OPTIONS = 32789;
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_EDIT_SELECT_ALL = 57642;
constexpr int ID_HELP = 57670;

class CMainFrame : public QMainWindow, public IQOBFrame {
    Q_OBJECT
public:
    // `workDir` stands for the current directory (the log file is written there); empty: the
    // process's own.
    explicit CMainFrame(CQOBDoc* doc, const std::string& workDir = {});
    ~CMainFrame() override;

    // IQOBFrame.
    void Log(uint32_t level, const std::string& text) override;
    int MessageBox(const std::string& text, unsigned type = MB_OK, const std::string& caption = "QOB") override;
    void SetStatusText(const std::string& text) override;
    void UpdateViews(int code, const std::string& hint) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void RequestMapEdit() override;
    bool AskDeleteScope(DeleteScopePrompt& prompt) override;
    void ShowProgress(int done, int total) override;

    // Commands.
    void OnSitesDownload();
    void OnEditmap();
    void OnOptions();
    void OnLaunchAdmin();
    void OnHelp();
    // Enables the commands by the rules: the list's three after a download, Launch when found.
    void UpdateCommandUI();

    QAction* Command(int id) const;
    CQOBView* GetListView() const { return m_pView; }
    CLogView* GetLogView() const { return m_pLogView; }
    QToolBar* GetToolBar() const { return m_wndToolBar; }
    QSplitter* GetSplitter() const { return m_wndSplitter; }
    bool IsBusy() const { return m_nBusy > 0; }
    // Brings the window to the front, restored when minimised (another copy asked for it).
    void Activate();

    // What New (Ctrl+N) and a request of the map table editor do: the application's business.
    std::function<void()> m_fnNewDocument;
    std::function<void()> m_fnRequestMapEdit;

    std::string m_strAdminDir;
    std::string m_strAdminExe;
    // The user guide Help opens; found next to the program when the window is made.
    QString m_strHelpFile;

private:
    QAction* AddCommand(int id, const std::function<void()>& handler, bool onToolBar);
    void CreateClient();
    void MovePaneFocus(bool forward);
    // Lets the window repaint while a long command runs; input waits until the command ends.
    void KeepPainted();

    CQOBDoc* m_pDoc;
    QToolBar* m_wndToolBar = nullptr;
    QSplitter* m_wndSplitter = nullptr;
    CQOBView* m_pView = nullptr;
    CLogView* m_pLogView = nullptr;
    QProgressBar* m_progress = nullptr;
    std::map<int, QAction*> m_commands;
    int m_nBusy = 0;
    QElapsedTimer m_sincePaint;
};
