// The main window's own commands: Sites Download, the map table editor, Options, Launch and Help.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QProcess>
#include <QUrl>

#include "app/MainFrm.h"
#include "app/UserGuide.h"
#include "document/QOBDoc.h"
#include "platform/AppProfile.h"
#include "platform/Strings.h"
#include "platform/Trace.h"
#include "ui/DlgSelServer.h"
#include "ui/EditMap.h"
#include "ui/Options.h"
#include "ui/QOBView.h"
#include "ui/UiText.h"

namespace {

const char* const kLastSitesEntry = "LastSites";

}  // namespace

void CMainFrame::OnSitesDownload() {
    // The sites chosen last time come selected.
    std::vector<std::string> last;
    const std::string kept = platform::GetProfileString(kLastSitesEntry);
    for (size_t at = 0; at < kept.size();) {
        const size_t tab = std::min(kept.find('\t', at), kept.size());
        last.push_back(kept.substr(at, tab - at));
        at = tab + 1;
    }
    DownloadThen(last, {});
}

bool CMainFrame::DownloadThen(const std::vector<std::string>& preselected, std::function<void()> then,
                              std::function<void()> after) {
    CDlgSelServer dlg(this);
    for (const SiteRec& site : m_pDoc->m_sites) {
        dlg.m_saServers.push_back(site.Name);
        dlg.m_saPasswords.push_back(m_pDoc->m_bRemember ? site.DayWhite : std::string());
    }
    dlg.m_saPreselected = preselected;
    if (dlg.exec() != QDialog::Accepted) return false;
    std::string chosen;
    for (const std::string& name : dlg.m_saServers) chosen += (chosen.empty() ? "" : "\t") + name;
    platform::WriteProfileString(kLastSitesEntry, chosen);

    m_pDoc->m_selServers = dlg.m_saServers;
    m_pDoc->m_bVerifyPassword = true;
    for (size_t i = 0; i < m_pDoc->m_sites.size() && i < dlg.m_saPasswords.size(); ++i)
        SetField(m_pDoc->m_sites[i].DayWhite, dlg.m_saPasswords[i], kMaxDayWhite);
    m_pDoc->SaveConfig();

    Log(LOG_INFO, platform::LoadString(44675));
    for (const std::string& name : m_pDoc->m_selServers) Log(LOG_INFO, "\t" + name);

    m_pView->RemoveAllRows();
    CQOBDoc* doc = m_pDoc;
    RunCommand(
        [doc, then = std::move(then)] {
            doc->GetFrame()->SetStatusText(platform::LoadString(46254));
            doc->Download();
            if (then && doc->m_bDownloaded && !doc->Cancelled()) then();
        },
        [doc, after = std::move(after)] {
            if (!doc->m_bRemember)
                for (SiteRec& site : doc->m_sites) site.DayWhite.clear();
            doc->SaveConfig();
            if (after) after();
        });
    return true;
}

void CMainFrame::OnEditmap() {
    try {
        CEditMap dlg(m_pDoc, this);
        dlg.exec();
    } catch (...) {
        platform::Trace("Exception in CQOBView::OnEditmap()\n");
    }
}

void CMainFrame::OnOptions() {
    COptions dlg(this);
    dlg.Load(*m_pDoc);
    if (dlg.exec() != QDialog::Accepted) return;
    dlg.Store(*m_pDoc);
    m_pDoc->SaveConfig();
    // Kept for this user, not in the configuration file the sites share.
    if (!SaveJobsSetting(dlg.m_nJobs)) platform::Trace("The number of sites at once could not be kept\n");
}

void CMainFrame::OnLaunchAdmin() {
    if (m_strAdminDir.empty()) return;
    // Started on its own, in its directory; a failure to start is not reported.
    QProcess::startDetached(ui::FromCodePage(m_strAdminDir + m_strAdminExe), {}, ui::FromCodePage(m_strAdminDir));
}

void CMainFrame::OnExportList() {
    QFileDialog dialog(this, ui::LoadQString(47117));
    dialog.setObjectName(QStringLiteral("exportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(ui::LoadQString(47116));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(m_strWorkDir.empty() ? QDir::currentPath() : QString::fromStdString(m_strWorkDir));
    dialog.selectFile(QStringLiteral("extensions.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().front();
    int rows = 0;
    if (!m_pView->ExportCsv(path, &rows)) {
        MessageBox(platform::FormatString(47118, ui::ToCodePage(QDir::toNativeSeparators(path))), MB_OK);
        return;
    }
    SetStatusText(platform::FormatString(47119, rows, ui::ToCodePage(QDir::toNativeSeparators(path))));
}

void CMainFrame::OnHelp() {
    // The desktop's browser where there is one; else (or when it cannot be started) a window of
    // the program's own, which also says when the guide is missing.
    if (!m_strHelpFile.isEmpty() && HasDesktopLauncher() && QDesktopServices::openUrl(QUrl::fromLocalFile(m_strHelpFile)))
        return;
    if (!m_pHelpWindow) {
        m_pHelpWindow = new CHelpWindow(this);
        m_pHelpWindow->ShowGuide(m_strHelpFile);
    }
    m_pHelpWindow->show();
    m_pHelpWindow->raise();
    m_pHelpWindow->activateWindow();
}
