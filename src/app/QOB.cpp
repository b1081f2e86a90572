#include "app/QOB.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "app/MainFrm.h"
#include "app/UserGuide.h"
#include "com/ProxyRegistration.h"
#include "com/Runtime.h"
#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "platform/Trace.h"
#include "ui/MessageBox.h"
#include "ui/UiText.h"

namespace {

// While a command runs the idle moment has not come yet.
constexpr int kBusyRetryMs = 50;
// How often the end of the program says it still waits for a cancelled command.
constexpr int kExitWaitMs = 5000;

}  // namespace

CQOBApp::CQOBApp() = default;

CQOBApp::~CQOBApp() {
    if (m_bRuntime) ExitInstance();
}

QString CQOBApp::InstanceName(const std::string& workDir) {
    const QString dir = workDir.empty() ? QDir::currentPath() : QString::fromStdString(workDir);
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash((canonical.isEmpty() ? dir : canonical).toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(kInstanceName) + QLatin1Char('-') + QString::fromLatin1(hash.toHex().left(16));
}

bool CQOBApp::IsFirstInstance(const std::string& workDir) {
    if (!CSingleInstance::HandOver(InstanceName(workDir))) return true;
    m_bHandedOver = true;
    return false;
}

bool CQOBApp::InitInstance(const std::string& workDir) {
    if (!IsFirstInstance(workDir)) return false;
    // The standard dialogs (print, files) in the program's language.
    if (!LoadQtTranslations()) platform::Trace("Qt's own translations are not installed\n");

    if (com::FAILED(com::OleInitialize())) {
        ui::QobMessageBox(nullptr, QStringLiteral("Warning: OleInitialize() Call Failed!"));
        return false;
    }
    m_bRuntime = true;
    // Process-wide and settable once: an application object made again in the same process (the
    // tests make one per test) finds it set.
    static bool securitySet = false;
    if (!securitySet) {
        if (com::FAILED(com::CoInitializeSecurity(-1, com::RPC_C_AUTHN_LEVEL_NONE, com::RPC_C_IMP_LEVEL_ANONYMOUS,
                                                  com::EOAC_NONE))) {
            ui::QobMessageBox(nullptr, QStringLiteral("Warning: CoInitializeSecurity() call failed"));
            return false;
        }
        securitySet = true;
    }
    if (!com::EnsureProxyLibraryRegistered()) {
        ui::QobMessageBox(nullptr, ui::LoadQString(44609));
        return false;
    }

    m_pDoc = std::make_unique<CQOBDoc>();
    m_pDoc->SetWorkDir(workDir);
    m_pMainWnd = std::make_unique<CMainFrame>(m_pDoc.get(), workDir);
    m_pMainWnd->m_fnNewDocument = [this] { OnFileNew(); };
    m_pMainWnd->m_fnRequestMapEdit = [this] {
        m_bMapEditDone = 0;
        ScheduleIdle();
    };
    m_pDoc->SetFrame(m_pMainWnd.get());
    m_pMainWnd->LoadJobs();
    // The configuration before the window shows; a file that cannot be used only asks for the editor.
    if (!m_pDoc->OnNewDocument()) return false;

    m_pMainWnd->show();
    // A command the program died in is said at once: some of its changes may have reached sites.
    // The History comes up with it, offering to check what reached the sites.
    std::vector<uint64_t> unfinished;
    for (const std::string& text : m_pDoc->UnfinishedCommands(&unfinished)) m_pMainWnd->Log(LOG_WARNING, text);
    if (!unfinished.empty())
        m_pMainWnd->OnHistory(unfinished.back(), ui::FormatQString(47208, std::to_string(unfinished.back())));
    // From now on a second copy finds this one.
    if (!m_instance.Listen(InstanceName(workDir)))
        platform::Trace("The single-instance name could not be taken\n");
    connect(&m_instance, &CSingleInstance::activateRequested, m_pMainWnd.get(), [this] { m_pMainWnd->Activate(); });
    ScheduleIdle();
    return true;
}

int CQOBApp::ExitInstance() {
    // A command still running is cancelled and ended before the document closes under it.
    if (m_pMainWnd)
        while (!m_pMainWnd->EndCommand(kExitWaitMs)) platform::Trace("Still waiting for the command to end\n");
    if (m_pMainWnd && m_pMainWnd->isVisible()) m_pMainWnd->SaveLayout();
    if (m_pDoc) {
        m_pDoc->OnCloseDocument();
        m_pDoc->SetFrame(nullptr);
    }
    m_pMainWnd.reset();
    m_pDoc.reset();
    if (m_bRuntime) com::OleUninitialize();
    m_bRuntime = false;
    return 0;
}

void CQOBApp::ScheduleIdle() {
    if (m_bIdleScheduled || !m_pMainWnd) return;
    m_bIdleScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_bIdleScheduled = false;
        OnIdle();
    });
}

void CQOBApp::OnIdle() {
    if (m_bMapEditDone != 0 || !m_pMainWnd || !m_pMainWnd->isVisible()) return;
    if (m_pMainWnd->IsBusy()) {
        QTimer::singleShot(kBusyRetryMs, this, [this] { OnIdle(); });
        return;
    }
    m_bMapEditDone = 1;
    // Posted: the editor opens from the event loop, not inside whatever asked for it.
    QMetaObject::invokeMethod(m_pMainWnd->Command(ID_EDIT_MAP), &QAction::trigger, Qt::QueuedConnection);
}

void CQOBApp::OnFileNew() {
    if (!m_pDoc) return;
    m_pDoc->OnNewDocument();
    ScheduleIdle();
}
