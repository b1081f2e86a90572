// The program's only window: the toolbar of the nine commands and Cancel, the status bar, and a
// splitter with the extension list above the log. It is the document's frame: the document logs,
// asks and announces its row updates through it. Long commands run on the engine thread; while
// one runs the document reports through a marshalling frame that brings its calls here.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <string>

#include "document/Engine.h"
#include "document/Frame.h"
#include "ui/CommandHost.h"

class CHelpWindow;
class CHistoryWnd;
class CMarshalFrame;
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
// Stops the command that runs (also Esc).
constexpr int ID_CANCEL_COMMAND = 46250;
// The menus' own commands.
constexpr int ID_EXPORT_CSV = 47104;
constexpr int ID_APP_EXIT = 47105;
constexpr int ID_FIND = 47106;
constexpr int ID_EDIT_COPY = 47107;
constexpr int ID_HISTORY = 47200;
constexpr int ID_RETRY_FAILED = 47201;

class CMainFrame : public QMainWindow, public IQOBFrame, public ICommandHost {
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
    void OnCancelCommand();
    // File > Export list to CSV: the list as shown, into the file the user names.
    void OnExportList();
    // The History window (MainFrmHistory.cpp): the commands that changed sites; from there one is
    // checked against its sites, undone or run again for what it did not do, each after a
    // download of its sites through Sites Download's dialog. `banner` says why it opened.
    void OnHistory(uint64_t select = 0, const QString& banner = {});
    void OnRetryFailed();
    void CheckCommand(uint64_t id);
    void UndoCommand(uint64_t id);
    void RetryCommand(uint64_t id);
    CHistoryWnd* GetHistoryWindow() const;
    // Enables the commands by the rules: the list's three after a download, Launch when found;
    // while a command runs none that would change the document, and Cancel only then.
    void UpdateCommandUI();

    // ICommandHost.
    bool RunCommand(std::function<void()> work, std::function<void()> after = {}) override;
    void PostToWindow(std::function<void()> fn) override;
    bool IsCommandRunning() const { return m_bCommand; }
    // Cancels the command that runs and waits for it to end, at most `timeoutMs`; true when none
    // runs any more (the command's own ending has then been done).
    bool EndCommand(int timeoutMs);
    // How many sites a command works on at once, from the user's profile (at start and after Options).
    void LoadJobs();

    QAction* Command(int id) const;
    CQOBView* GetListView() const { return m_pView; }
    CLogView* GetLogView() const { return m_pLogView; }
    QToolBar* GetToolBar() const { return m_wndToolBar; }
    QSplitter* GetSplitter() const { return m_wndSplitter; }
    // What the status bar's message line shows now.
    QString StatusText() const;
    bool IsBusy() const { return m_bCommand || m_nBusy > 0; }
    CMarshalFrame* GetMarshalFrame() const { return m_pMarshal; }
    // The window's place and size, the panes' split, the list's columns and sort and the last
    // chosen sites, kept in the user's profile between runs. Restoring fits the window into the
    // screen it lands on (the screens may have changed since).
    void SaveLayout();
    void RestoreLayout();

    // Brings the window to the front, restored when minimised (another copy asked for it).
    void Activate();

    // What New (Ctrl+N) and a request of the map table editor do: the application's business.
    std::function<void()> m_fnNewDocument;
    std::function<void()> m_fnRequestMapEdit;

    std::string m_strAdminDir;
    std::string m_strAdminExe;
    // The user guide Help opens, in the program's language; found next to the program when the
    // window is made.
    QString m_strHelpFile;
    // The guide's own window, while it is open.
    QPointer<CHelpWindow> m_pHelpWindow;
    QPointer<CHistoryWnd> m_pHistory;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A new palette or style (a theme): the toolbar's pictures are drawn again in its colours.
    void changeEvent(QEvent* event) override;

private:
    QAction* AddCommand(int id, const std::function<void()>& handler, bool onToolBar, int textId = 0);
    // A command's key, named in its tool tip and shown in the menus.
    void SetShortcut(int id, const QKeySequence& key);
    void CreateClient();
    void CreateMenus();
    void MovePaneFocus(bool forward);
    // On this thread once the engine's command returned: the document is the window's again.
    void OnCommandEnded();
    // Shows a text on the message line until the next one.
    void ShowStatus(const QString& text);
    // Sites Download's dialog with `preselected` chosen, then the download on the engine and,
    // when every chosen site was downloaded and nothing cancelled, `then` there too; `after` on
    // this thread once it all ended. False when the user closed the dialog.
    bool DownloadThen(const std::vector<std::string>& preselected, std::function<void()> then,
                      std::function<void()> after = {});

    CQOBDoc* m_pDoc;
    std::string m_strWorkDir;
    QToolBar* m_wndToolBar = nullptr;
    QSplitter* m_wndSplitter = nullptr;
    CQOBView* m_pView = nullptr;
    CLogView* m_pLogView = nullptr;
    QProgressBar* m_progress = nullptr;
    // The message line: what runs, or what the last command ended with. A button's prompt shows
    // over it while the pointer is on the button and leaves it as it was.
    QLabel* m_statusLine = nullptr;
    std::map<int, QAction*> m_commands;
    int m_nBusy = 0;

    CMarshalFrame* m_pMarshal = nullptr;
    IQOBFrame* m_pIdleFrame = nullptr;  // the document's frame outside commands
    std::function<void()> m_fnAfter;
    bool m_bCommand = false;
    bool m_bClosing = false;
    bool m_bShown = false;
    int m_nListHeight;
    // Last member: destroyed first, so the command ends before anything it reports to goes.
    CEngine m_engine;
};
