#include "app/MainFrm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "app/AdminTool.h"
#include "app/ToolIcons.h"
#include "app/UserGuide.h"
#include "document/QOBDoc.h"
#include "platform/AppProfile.h"
#include "platform/Strings.h"
#include "platform/Trace.h"
#include "ui/DelExtDlg.h"
#include "ui/HistoryWnd.h"
#include "ui/ListGrid.h"
#include "ui/LogView.h"
#include "ui/MarshalFrame.h"
#include "ui/MessageBox.h"
#include "ui/QOBView.h"
#include "ui/UiText.h"

namespace {

constexpr int kListHeight = 350;
// The layout's entries in the user's profile.
const char* const kPlacementEntry = "WindowPlacement";
const char* const kListHeightEntry = "ListHeight";
const char* const kColumnsEntry = "ListColumns";
// How long closing the window waits for a cancelled command to end.
constexpr int kCloseWaitMs = 5000;

// The first field of the document template's string: the window title.
QString WindowTitle() {
    const QString tmpl = ui::LoadQString(128);
    return tmpl.left(tmpl.indexOf(QLatin1Char('\n')));
}

// The commands that change the document (or the configuration), refused while a command runs.
bool ChangesDocument(int id) {
    switch (id) {
    case ID_CANCEL_COMMAND:
    case ID_FILE_PRINT:
    case ID_LAUNCH_ADMIN:
    case ID_HELP:
    case ID_EDIT_SELECT_ALL:
    case ID_EXPORT_CSV:
    case ID_APP_EXIT:
    case ID_FIND:
    case ID_EDIT_COPY:
    case ID_HISTORY: return false;
    default: return true;
    }
}

// The status-bar prompt of a command: its string before the line feed.
QString CommandPrompt(int id) {
    const QString text = ui::LoadQString(static_cast<uint32_t>(id));
    const int lf = text.indexOf(QLatin1Char('\n'));
    return lf < 0 ? text : text.left(lf);
}

}  // namespace

CMainFrame::CMainFrame(CQOBDoc* doc, const std::string& workDir)
    : m_pDoc(doc), m_strWorkDir(workDir), m_nListHeight(kListHeight) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(WindowTitle());
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    resize(800 + 2 * scrollBar, 600);

    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("toolbar128"));
    m_wndToolBar->setIconSize(QSize(32, 32));
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_wndToolBar->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    setContextMenuPolicy(Qt::NoContextMenu);

    statusBar()->setObjectName(QStringLiteral("statusbar"));
    m_progress = new QProgressBar(statusBar());
    m_progress->setMaximumWidth(160);
    m_progress->setTextVisible(true);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
    m_statusLine = new QLabel(statusBar());
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setMinimumWidth(1);
    statusBar()->addWidget(m_statusLine, 1);
    m_statusLine->setText(ui::LoadQString(57345));

    CreateClient();
    m_pLogView->SetLogFile(workDir.empty() ? std::string("QOB.log") : workDir + "/QOB.log");

    AddCommand(ID_SITES_DOWNLOAD, [this] { OnSitesDownload(); }, true);
    AddCommand(ID_CHECK_UNCHECK, [this] { m_pView->OnCheckUncheckSelected(); }, true);
    AddCommand(ID_SYNCHRONIZE, [this] { m_pView->OnSynchronize(); }, true);
    AddCommand(ID_EDIT_MAP, [this] { OnEditmap(); }, true);
    AddCommand(ID_DELETE_EXT, [this] { m_pView->OnDelete(); }, true);
    AddCommand(ID_OPTIONS, [this] { OnOptions(); }, true);
    AddCommand(ID_FILE_PRINT, [this] { m_pView->OnFilePrint(); }, true);
    AddCommand(ID_LAUNCH_ADMIN, [this] { OnLaunchAdmin(); }, true);
    AddCommand(ID_HELP, [this] { OnHelp(); }, true);
    QAction* cancel = AddCommand(ID_CANCEL_COMMAND, [this] { OnCancelCommand(); }, true);
    cancel->setShortcutContext(Qt::WindowShortcut);
    AddCommand(ID_FILE_NEW, [this] { if (m_fnNewDocument) m_fnNewDocument(); }, false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(ID_EDIT_SELECT_ALL, [this] { m_pView->OnSelectAll(); }, false, 47108);
    AddCommand(ID_EXPORT_CSV, [this] { OnExportList(); }, false);
    AddCommand(ID_APP_EXIT, [this] { close(); }, false);
    AddCommand(ID_FIND, [this] { m_pView->FocusFilter(); }, false);
    AddCommand(ID_EDIT_COPY, [this] { m_pView->OnCopy(); }, false);
    AddCommand(ID_HISTORY, [this] { OnHistory(); }, false);
    AddCommand(ID_RETRY_FAILED, [this] { OnRetryFailed(); }, false);
    // Standard keys where a standard exists; the others free of any standard's meaning.
    SetShortcut(ID_SITES_DOWNLOAD, QKeySequence(Qt::Key_F5));
    SetShortcut(ID_SYNCHRONIZE, QKeySequence(Qt::Key_F9));
    SetShortcut(ID_DELETE_EXT, QKeySequence(QKeySequence::Delete));
    SetShortcut(ID_EDIT_MAP, QKeySequence(Qt::CTRL | Qt::Key_M));
    SetShortcut(ID_OPTIONS, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    SetShortcut(ID_FILE_PRINT, QKeySequence(QKeySequence::Print));
    SetShortcut(ID_HELP, QKeySequence(Qt::Key_F1));
    SetShortcut(ID_CANCEL_COMMAND, QKeySequence(Qt::Key_Escape));
    SetShortcut(ID_EDIT_SELECT_ALL, QKeySequence(QKeySequence::SelectAll));
    SetShortcut(ID_EXPORT_CSV, QKeySequence(Qt::CTRL | Qt::Key_E));
    SetShortcut(ID_APP_EXIT, QKeySequence(Qt::CTRL | Qt::Key_Q));
    SetShortcut(ID_FIND, QKeySequence(QKeySequence::Find));
    SetShortcut(ID_EDIT_COPY, QKeySequence(QKeySequence::Copy));
    SetShortcut(ID_HISTORY, QKeySequence(Qt::CTRL | Qt::Key_H));
    CreateMenus();
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { MovePaneFocus(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { MovePaneFocus(false); });

    const AdminTool tool = FindAdminTool();
    m_strAdminDir = tool.dir;
    m_strAdminExe = tool.exe;
    m_strHelpFile = FindUserGuide(QCoreApplication::applicationDirPath(),
                                  platform::StringLanguageInForce() == platform::StringLanguage::Chinese);

    m_pMarshal = new CMarshalFrame(*this, m_pDoc, this);
    m_pMarshal->SetRowSink([this](const RowUpdate& update) { m_pView->ApplyRow(update); });
    m_pView->SetCommandHost(this);
    UpdateCommandUI();
    RestoreLayout();
}

CMainFrame::~CMainFrame() {
    // Nothing the command reports to may go before it ended.
    m_bClosing = true;
    m_pMarshal->SetClosing(true);
    m_engine.Cancel();
    m_engine.Wait();
    m_pMarshal->Flush();
    if (m_bCommand && m_pDoc->GetFrame() == m_pMarshal) m_pDoc->SetFrame(m_pIdleFrame);
}

QAction* CMainFrame::AddCommand(int id, const std::function<void()>& handler, bool onToolBar, int textId) {
    auto* action = new QAction(this);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    const int text = textId ? textId : id;
    const QString tip = ui::CommandText(static_cast<uint32_t>(text));
    action->setText(tip);
    action->setToolTip(tip);
    action->setStatusTip(CommandPrompt(text));
    if (onToolBar) {
        action->setIcon(ToolIcon(id, palette()));
        m_wndToolBar->addAction(action);
        // Reachable from the keyboard: F6 leads there, Tab goes along.
        if (QWidget* button = m_wndToolBar->widgetForAction(action)) button->setFocusPolicy(Qt::TabFocus);
    }
    addAction(action);  // its shortcut works wherever the focus is in the window
    connect(action, &QAction::triggered, this, [this, id, handler] {
        // While a command runs only what leaves the document alone; nothing waits for later.
        if (IsBusy() && ChangesDocument(id)) return;
        handler();
        UpdateCommandUI();
    });
    m_commands[id] = action;
    return action;
}

void CMainFrame::SetShortcut(int id, const QKeySequence& key) {
    QAction* action = Command(id);
    if (!action) return;
    action->setShortcut(key);
    action->setToolTip(ui::CommandText(static_cast<uint32_t>(id == ID_EDIT_SELECT_ALL ? 47108 : id)) +
                       QStringLiteral(" (%1)").arg(key.toString(QKeySequence::NativeText)));
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menubar"));
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) menu->addSeparator();
            else menu->addAction(Command(id));
        }
    };
    QMenu* file = bar->addMenu(ui::LoadQString(47100));
    file->setObjectName(QStringLiteral("menuFile"));
    add(file, {ID_EXPORT_CSV, ID_FILE_PRINT, 0, ID_APP_EXIT});
    QMenu* edit = bar->addMenu(ui::LoadQString(47101));
    edit->setObjectName(QStringLiteral("menuEdit"));
    add(edit, {ID_EDIT_COPY, ID_EDIT_SELECT_ALL, 0, ID_FIND});
    QMenu* sites = bar->addMenu(ui::LoadQString(47102));
    sites->setObjectName(QStringLiteral("menuSites"));
    add(sites, {ID_SITES_DOWNLOAD, ID_CHECK_UNCHECK, ID_SYNCHRONIZE, ID_DELETE_EXT, ID_CANCEL_COMMAND, 0, ID_HISTORY,
                ID_RETRY_FAILED, 0, ID_EDIT_MAP, ID_OPTIONS, 0, ID_LAUNCH_ADMIN});
    QMenu* help = bar->addMenu(ui::LoadQString(47103));
    help->setObjectName(QStringLiteral("menuHelp"));
    add(help, {ID_HELP});
}

QAction* CMainFrame::Command(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainFrame::CreateClient() {
    m_wndSplitter = new QSplitter(Qt::Vertical, this);
    m_wndSplitter->setObjectName(QStringLiteral("splitter"));
    m_wndSplitter->setChildrenCollapsible(false);
    m_pView = new CQOBView(m_pDoc, this, m_wndSplitter);
    m_pLogView = new CLogView(m_wndSplitter);
    m_pLogView->setMinimumSize(100, 10);
    m_wndSplitter->addWidget(m_pView);
    m_wndSplitter->addWidget(m_pLogView);
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    m_wndSplitter->setSizes({kListHeight, 100});
    setCentralWidget(m_wndSplitter);
    m_pView->setFocus();
}

void CMainFrame::UpdateCommandUI() {
    const bool running = IsBusy();
    // The document is the engine's while a command runs: its flag is not read then.
    const bool downloaded = !running && m_pDoc->m_bDownloaded;
    for (int id : {ID_CHECK_UNCHECK, ID_SYNCHRONIZE, ID_DELETE_EXT}) m_commands[id]->setEnabled(downloaded);
    for (int id : {ID_SITES_DOWNLOAD, ID_EDIT_MAP, ID_OPTIONS, ID_FILE_NEW, ID_RETRY_FAILED})
        m_commands[id]->setEnabled(!running);
    if (m_pHistory) m_pHistory->SetBusy(running);
    m_commands[ID_CANCEL_COMMAND]->setEnabled(m_bCommand);
    m_commands[ID_LAUNCH_ADMIN]->setEnabled(!m_strAdminDir.empty());
}

void CMainFrame::LoadJobs() {
    if (!m_bCommand) m_pDoc->SetJobs(LoadJobsSetting());
}

bool CMainFrame::RunCommand(std::function<void()> work, std::function<void()> after) {
    if (IsBusy() || m_bClosing) return false;
    m_bCommand = true;
    m_pLogView->BeginCommand();
    m_fnAfter = std::move(after);
    m_pIdleFrame = m_pDoc->GetFrame();
    m_pDoc->SetFrame(m_pMarshal);
    m_pView->SetCommandRunning(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    UpdateCommandUI();
    CQOBDoc* doc = m_pDoc;
    const bool started = m_engine.Start(
        [doc, work = std::move(work)](std::stop_token token) {
            doc->SetStopToken(std::move(token));
            try {
                work();
            } catch (...) {
                platform::Trace("An exception ended the command on the engine thread\n");
            }
        },
        [this] { QMetaObject::invokeMethod(this, [this] { OnCommandEnded(); }, Qt::QueuedConnection); });
    if (!started) {
        // Cannot happen while the flag above is kept right; the window is given back as it was.
        m_fnAfter = nullptr;
        OnCommandEnded();
    }
    return started;
}

void CMainFrame::PostToWindow(std::function<void()> fn) { m_pMarshal->Post(std::move(fn)); }

void CMainFrame::OnCommandEnded() {
    if (!m_bCommand) return;
    m_engine.Wait();  // only the thread's own return is left
    m_pMarshal->Flush();
    m_pDoc->SetFrame(m_pIdleFrame);
    m_bCommand = false;
    m_pView->SetCommandRunning(false);
    QApplication::restoreOverrideCursor();
    m_progress->hide();
    if (m_pDoc->Cancelled()) SetStatusText(platform::LoadString(46257));
    std::function<void()> after = std::move(m_fnAfter);
    m_fnAfter = nullptr;
    if (after) after();
    // Rows a download brought come in number order: the list is sorted again as the user chose.
    m_pView->m_listExt->Resort();
    // What the command wrote to the journal shows at once.
    if (m_pHistory && m_pHistory->isVisible()) m_pHistory->Reload(m_pDoc->JournalPath());
    UpdateCommandUI();
}

void CMainFrame::OnCancelCommand() {
    if (!m_bCommand) return;
    m_engine.Cancel();
    ShowStatus(ui::LoadQString(46251));
}

bool CMainFrame::EndCommand(int timeoutMs) {
    if (!m_bCommand) return true;
    m_engine.Cancel();
    // The window is going: a question the command still asks is answered as cancelled.
    m_pMarshal->SetClosing(true);
    const bool ended = m_engine.Wait(std::chrono::milliseconds(timeoutMs));
    m_pMarshal->SetClosing(false);
    if (ended) OnCommandEnded();
    return ended;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_bCommand) {
        m_bClosing = true;  // what comes after the command starts nothing new
        ShowStatus(ui::LoadQString(46258));
        const bool ended = EndCommand(kCloseWaitMs);
        m_bClosing = false;
        if (!ended) {
            // Still in a call the document could not abandon: the window stays, the user may try again.
            event->ignore();
            return;
        }
    }
    SaveLayout();
    QMainWindow::closeEvent(event);
}

void CMainFrame::SaveLayout() {
    // The place of the frame (what move() takes) and the size inside it.
    const QRect r = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
    platform::WriteProfileString(kPlacementEntry, QStringLiteral("%1,%2,%3,%4,%5")
                                                      .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                                                      .arg(isMaximized() ? 1 : 0)
                                                      .toStdString());
    if (m_bShown) platform::WriteProfileInt(kListHeightEntry, static_cast<uint32_t>(m_wndSplitter->sizes().value(0)));
    platform::WriteProfileString(kColumnsEntry, m_pView->m_listExt->ColumnState().toStdString());
}

void CMainFrame::RestoreLayout() {
    const QStringList p = QString::fromStdString(platform::GetProfileString(kPlacementEntry)).split(QLatin1Char(','));
    if (p.size() == 5) {
        QRect r(p[0].toInt(), p[1].toInt(), p[2].toInt(), p[3].toInt());
        QScreen* screen = QGuiApplication::screenAt(r.center());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen && r.width() > 100 && r.height() > 100) {
            // On the screen it was on when that is still there, else on the main one; never
            // larger than the screen, and wholly on it.
            const QRect avail = screen->availableGeometry();
            if (!avail.contains(r)) {
                // Room for the window manager's frame around it.
                r.setSize(r.size().boundedTo(avail.size() * 9 / 10));
                r.moveCenter(avail.center());
            }
            resize(r.size());
            move(r.topLeft());
            if (p[4] == QLatin1String("1")) setWindowState(windowState() | Qt::WindowMaximized);
        }
    }
    const uint32_t list = platform::GetProfileInt(kListHeightEntry, kListHeight);
    if (list >= 50 && list <= 10000) m_nListHeight = static_cast<int>(list);
    m_pView->m_listExt->RestoreColumnState(QString::fromStdString(platform::GetProfileString(kColumnsEntry)));
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::PaletteChange && event->type() != QEvent::StyleChange) return;
    for (QAction* a : m_wndToolBar->actions()) a->setIcon(ToolIcon(a->objectName().mid(3).toInt(), palette()));
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_bShown) return;
    m_bShown = true;
    // The list starts at its height and the log takes the rest; from then on a larger window
    // gives the list the room and the log keeps its height.
    if (layout()) layout()->activate();
    const QList<int> sizes = m_wndSplitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (total > m_nListHeight + 10) m_wndSplitter->setSizes({m_nListHeight, total - m_nListHeight});
    m_wndSplitter->setStretchFactor(0, 1);
    m_wndSplitter->setStretchFactor(1, 0);
}

void CMainFrame::MovePaneFocus(bool forward) {
    // The list, the log and the toolbar in turn (F6 forward, Shift+F6 back).
    QToolButton* first = nullptr;
    for (QAction* a : m_wndToolBar->actions())
        if (auto* b = qobject_cast<QToolButton*>(m_wndToolBar->widgetForAction(a)); b && b->isEnabled()) {
            first = b;
            break;
        }
    QWidget* panes[] = {m_pView->m_listExt, m_pLogView, first};
    int at = 0;
    QWidget* focus = QApplication::focusWidget();
    if (focus && m_pLogView->isAncestorOf(focus)) at = 1;
    else if (focus == m_pLogView) at = 1;
    else if (focus && m_wndToolBar->isAncestorOf(focus)) at = 2;
    for (int step = 1; step <= 3; ++step) {
        QWidget* next = panes[(at + (forward ? step : 3 - step)) % 3];
        if (next) {
            next->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    }
}

void CMainFrame::Activate() {
    platform::Trace("Brought to the front by another copy\n");
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// --- The document's frame ---

void CMainFrame::Log(uint32_t level, const std::string& text) { m_pLogView->OnLogMessage(level, text); }

int CMainFrame::MessageBox(const std::string& text, unsigned type, const std::string& caption) {
    // The user answers with the ordinary pointer even in the middle of a long command.
    const bool waiting = IsBusy();
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = ui::QobMessageBox(this, ui::FromCodePage(text), type, ui::FromCodePage(caption));
    if (waiting) QApplication::restoreOverrideCursor();
    return answer;
}

void CMainFrame::SetStatusText(const std::string& text) { ShowStatus(ui::FromCodePage(text)); }

void CMainFrame::ShowStatus(const QString& text) {
    m_statusLine->setText(text);
    // A prompt still shown would hide the news.
    statusBar()->clearMessage();
}

QString CMainFrame::StatusText() const {
    const QString prompt = statusBar()->currentMessage();
    return prompt.isEmpty() ? m_statusLine->text() : prompt;
}

void CMainFrame::UpdateViews(int code, const std::string& hint) { m_pView->OnUpdate(code, hint); }

void CMainFrame::BeginWaitCursor() {
    if (m_nBusy++ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        UpdateCommandUI();
    }
}

void CMainFrame::EndWaitCursor() {
    if (m_nBusy == 0) return;
    if (--m_nBusy == 0) {
        QApplication::restoreOverrideCursor();
        UpdateCommandUI();
    }
}

void CMainFrame::RequestMapEdit() {
    if (m_fnRequestMapEdit) m_fnRequestMapEdit();
}

bool CMainFrame::AskDeleteScope(DeleteScopePrompt& prompt) { return ui::AskDeleteScopeDialog(this, prompt); }

void CMainFrame::ShowProgress(int done, int total) {
    if (total <= 0) {
        m_progress->hide();
        return;
    }
    m_progress->setRange(0, total);
    m_progress->setValue(done);
    m_progress->setFormat(ui::FromCodePage(platform::FormatString(46253, done, total)));
    m_progress->show();
}
