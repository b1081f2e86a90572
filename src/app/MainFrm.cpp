#include "app/MainFrm.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/AdminTool.h"
#include "app/ToolIcons.h"
#include "app/UserGuide.h"
#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "platform/Trace.h"
#include "ui/DelExtDlg.h"
#include "ui/ListGrid.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/QOBView.h"
#include "ui/UiText.h"

namespace {

constexpr int kListHeight = 350;
constexpr int kPaintEveryMs = 40;

// The first field of the document template's string: the window title.
QString WindowTitle() {
    const QString tmpl = ui::LoadQString(128);
    return tmpl.left(tmpl.indexOf(QLatin1Char('\n')));
}

// The status-bar prompt of a command: its string before the line feed.
QString CommandPrompt(int id) {
    const QString text = ui::LoadQString(static_cast<uint32_t>(id));
    const int lf = text.indexOf(QLatin1Char('\n'));
    return lf < 0 ? text : text.left(lf);
}

}  // namespace

CMainFrame::CMainFrame(CQOBDoc* doc, const std::string& workDir) : m_pDoc(doc) {
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
    m_progress->setTextVisible(false);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
    // The idle text whenever no other message stands (after a prompt, for instance).
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty()) statusBar()->showMessage(ui::LoadQString(57345));
    });
    statusBar()->showMessage(ui::LoadQString(57345));

    CreateClient();
    m_pLogView->SetLogFile(workDir.empty() ? std::string("QOB.log") : workDir + "/QOB.log");

    AddCommand(ID_SITES_DOWNLOAD, [this] { OnSitesDownload(); }, true);
    AddCommand(ID_CHECK_UNCHECK, [this] { m_pView->OnCheckUncheckSelected(); }, true);
    AddCommand(ID_SYNCHRONIZE, [this] { m_pView->OnSynchronize(); }, true);
    AddCommand(ID_EDIT_MAP, [this] { OnEditmap(); }, true);
    AddCommand(ID_DELETE_EXT, [this] { m_pView->OnDelete(); }, true);
    AddCommand(ID_OPTIONS, [this] { OnOptions(); }, true);
    AddCommand(ID_FILE_PRINT, [this] { m_pView->OnFilePrint(); }, true)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    AddCommand(ID_LAUNCH_ADMIN, [this] { OnLaunchAdmin(); }, true);
    AddCommand(ID_HELP, [this] { OnHelp(); }, true)->setShortcut(QKeySequence(Qt::Key_F1));
    AddCommand(ID_FILE_NEW, [this] { if (m_fnNewDocument) m_fnNewDocument(); }, false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(ID_EDIT_SELECT_ALL, [this] { m_pView->OnSelectAll(); }, false)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { MovePaneFocus(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { MovePaneFocus(false); });

    const AdminTool tool = FindAdminTool();
    m_strAdminDir = tool.dir;
    m_strAdminExe = tool.exe;
    m_strHelpFile = FindUserGuide(QCoreApplication::applicationDirPath());
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(int id, const std::function<void()>& handler, bool onToolBar) {
    auto* action = new QAction(this);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    const QString tip = ui::CommandText(static_cast<uint32_t>(id));
    action->setText(tip);
    action->setToolTip(tip);
    action->setStatusTip(CommandPrompt(id));
    if (onToolBar) {
        action->setIcon(ToolIcon(id));
        m_wndToolBar->addAction(action);
    }
    addAction(action);  // its shortcut works wherever the focus is in the window
    connect(action, &QAction::triggered, this, [this, handler] {
        if (IsBusy()) return;  // a command runs to its end before the next starts
        handler();
        UpdateCommandUI();
    });
    m_commands[id] = action;
    return action;
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
    const bool downloaded = m_pDoc->m_bDownloaded;
    for (int id : {ID_CHECK_UNCHECK, ID_SYNCHRONIZE, ID_DELETE_EXT}) m_commands[id]->setEnabled(downloaded);
    m_commands[ID_LAUNCH_ADMIN]->setEnabled(!m_strAdminDir.empty());
}

void CMainFrame::MovePaneFocus(bool forward) {
    // Two panes: the next and the previous are the same other pane.
    (void)forward;
    if (m_pLogView->hasFocus())
        m_pView->m_listExt->setFocus(Qt::ShortcutFocusReason);
    else
        m_pLogView->setFocus(Qt::ShortcutFocusReason);
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

void CMainFrame::Log(uint32_t level, const std::string& text) {
    m_pLogView->OnLogMessage(level, text);
    KeepPainted();
}

int CMainFrame::MessageBox(const std::string& text, unsigned type, const std::string& caption) {
    // The user answers with the ordinary pointer even in the middle of a long command.
    const bool waiting = IsBusy();
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = ui::QobMessageBox(this, ui::FromCodePage(text), type, ui::FromCodePage(caption));
    if (waiting) QApplication::restoreOverrideCursor();
    return answer;
}

void CMainFrame::SetStatusText(const std::string& text) {
    statusBar()->showMessage(ui::FromCodePage(text));
    KeepPainted();
}

void CMainFrame::UpdateViews(int code, const std::string& hint) { m_pView->OnUpdate(code, hint); }

void CMainFrame::BeginWaitCursor() {
    if (m_nBusy++ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_wndToolBar->setEnabled(false);
        m_sincePaint.start();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void CMainFrame::EndWaitCursor() {
    if (m_nBusy == 0) return;
    if (--m_nBusy == 0) {
        m_wndToolBar->setEnabled(true);
        QApplication::restoreOverrideCursor();
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
    m_progress->show();
    KeepPainted();
}

void CMainFrame::KeepPainted() {
    if (!IsBusy() || m_sincePaint.elapsed() < kPaintEveryMs) return;
    m_sincePaint.restart();
    // Paint and socket events only: clicks and keys wait in the queue, and the toolbar is
    // disabled meanwhile, so nothing starts in the middle of the command.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
