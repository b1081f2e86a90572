// The main window's History commands: the History window, and a command of the change journal
// checked against its sites, undone, or run again for the numbers it did not do.
#include <memory>

#include "app/MainFrm.h"
#include "document/JournalText.h"
#include "document/QOBDoc.h"
#include "document/UndoPlan.h"
#include "document/UndoRun.h"
#include "platform/Strings.h"
#include "ui/HistoryWnd.h"
#include "ui/QOBView.h"
#include "ui/UiText.h"

namespace {

using document::JournalCommand;
using document::UndoStep;

std::vector<server::CZentServ*> Connections(CQOBDoc& doc) {
    std::vector<server::CZentServ*> out;
    for (const auto& c : doc.m_servers) out.push_back(c.get());
    return out;
}

}  // namespace

void CMainFrame::OnHistory(uint64_t select, const QString& banner) {
    if (!m_pHistory) {
        m_pHistory = new CHistoryWnd(this);
        m_pHistory->onCheck = [this](uint64_t id) { CheckCommand(id); };
        m_pHistory->onUndo = [this](uint64_t id) { UndoCommand(id); };
        m_pHistory->onRetry = [this](uint64_t id) { RetryCommand(id); };
    }
    m_pHistory->Reload(m_pDoc->JournalPath());
    if (select) m_pHistory->Select(select);
    if (!banner.isEmpty()) m_pHistory->SetBanner(banner);
    m_pHistory->SetBusy(IsBusy());
    m_pHistory->show();
    m_pHistory->raise();
    m_pHistory->activateWindow();
}

namespace {

// The command `id` of the journal, or with 0 the last that synchronised or deleted; false (said in a message box) when the
// journal cannot be read or holds no such command.
bool FindCommand(CMainFrame& frame, CQOBDoc& doc, uint64_t id, JournalCommand& out) {
    document::JournalContents journal;
    std::string error;
    if (!document::ReadJournalFile(doc.JournalPath(), journal, error)) {
        frame.MessageBox(platform::FormatString(47214, error), MB_OK | MB_ICONWARNING);
        return false;
    }
    if (journal.commands.empty()) {
        frame.MessageBox(platform::LoadString(47219), MB_OK);
        return false;
    }
    for (auto c = journal.commands.rbegin(); !id && c != journal.commands.rend(); ++c)
        if (c->kind != "undo") {
            out = *c;
            return true;
        }
    for (const JournalCommand& c : journal.commands)
        if (c.id == id) {
            out = c;
            return true;
        }
    frame.MessageBox(platform::LoadString(47219), MB_OK);
    return false;
}

// Whether every site of the command is still configured; the first that is not is said.
bool SitesConfigured(CMainFrame& frame, const CQOBDoc& doc, const JournalCommand& c) {
    for (const std::string& name : c.sites) {
        bool found = false;
        for (const SiteRec& site : doc.m_sites) found = found || site.Name == name;
        if (!found) {
            frame.MessageBox(platform::FormatString(47216, name, std::to_string(c.id)), MB_OK | MB_ICONWARNING);
            return false;
        }
    }
    return true;
}

}  // namespace

void CMainFrame::CheckCommand(uint64_t id) {
    auto command = std::make_shared<JournalCommand>();
    if (IsBusy() || !FindCommand(*this, *m_pDoc, id, *command) || !SitesConfigured(*this, *m_pDoc, *command)) return;
    CQOBDoc* doc = m_pDoc;
    DownloadThen(command->sites, [this, doc, command] {
        std::vector<std::string> lines;
        doc->GetFrame()->Log(LOG_INFO, platform::FormatString(47217, std::to_string(command->id)));
        for (const UndoStep& s : document::PlanUndo(*command, Connections(*doc)))
            if (std::string text = document::ReachedText(s); !text.empty()) {
                doc->GetFrame()->Log(LOG_INFO, "\t" + text);
                lines.push_back(std::move(text));
            }
        PostToWindow([this, id = command->id, lines] {
            if (m_pHistory) m_pHistory->ShowResult(id, ui::FormatQString(47217, std::to_string(id)), lines);
        });
    });
}

void CMainFrame::UndoCommand(uint64_t id) {
    auto command = std::make_shared<JournalCommand>();
    if (IsBusy() || !FindCommand(*this, *m_pDoc, id, *command) || !SitesConfigured(*this, *m_pDoc, *command)) return;
    CQOBDoc* doc = m_pDoc;
    DownloadThen(command->sites, [this, doc, command] {
        using V = UndoStep::Verdict;
        const std::string name = std::to_string(command->id);
        const std::vector<UndoStep> steps = document::PlanUndo(*command, Connections(*doc));
        int restore = 0, asBefore = 0, changed = 0, lost = 0;
        for (const UndoStep& s : steps) {
            restore += s.verdict == V::Restore;
            asBefore += s.verdict == V::AsBefore;
            changed += s.verdict == V::Changed;
            lost += s.verdict == V::NotRestored || s.verdict == V::NoSite;
        }
        IQOBFrame* frame = doc->GetFrame();
        if (restore + changed == 0) {
            doc->GetFrame()->Log(LOG_INFO, platform::FormatString(47211, name));
            return;
        }
        // Nothing is written before the user said so, knowing what it found.
        if (frame->MessageBox(platform::FormatString(47209, name, restore, asBefore, changed, lost),
                              MB_YESNO | MB_ICONWARNING) != IDYES)
            return;
        bool force = false;
        if (changed) {
            const int answer = frame->MessageBox(platform::FormatString(47210, changed, name), MB_YESNOCANCEL | MB_ICONWARNING);
            if (answer != IDYES && answer != IDNO) return;
            force = answer == IDYES;
        }
        document::JournalCommandInfo info;
        info.kind = "undo";
        info.of = command->id;
        info.action = "Undo " + name;
        for (const auto& conn : doc->m_servers) info.sites.push_back(conn->GetName());
        info.numbers = command->numbers;
        if (!doc->BeginJournal(info)) return;
        doc->GetFrame()->Log(LOG_INFO, platform::FormatString(47218, name));
        std::vector<std::string> lines;
        const bool ok = document::RunUndo(*doc, steps, force, nullptr, {}, [&](const std::string& line) {
            doc->GetFrame()->Log(LOG_INFO, "\t" + line);
            lines.push_back(line);
        });
        doc->EndJournal(doc->Cancelled() ? "cancelled" : ok ? "ok" : "failed");
        PostToWindow([this, id = command->id, lines] {
            if (m_pHistory) m_pHistory->ShowResult(id, ui::FormatQString(47218, std::to_string(id)), lines);
        });
    });
}

void CMainFrame::RetryCommand(uint64_t id) {
    auto command = std::make_shared<JournalCommand>();
    if (IsBusy() || !FindCommand(*this, *m_pDoc, id, *command)) return;
    const std::string name = std::to_string(command->id);
    const bool isRetry = command->kind == "retry";
    const bool isDelete = command->kind == "delete" || (isRetry && !command->scope.empty());
    const bool isSync = command->kind == "sync" || (isRetry && command->scope.empty());
    if (!isDelete && !isSync) {
        MessageBox(platform::FormatString(47213, name), MB_OK);
        return;
    }
    const std::vector<std::string> again = document::NumbersNotDone(*command);
    if (again.empty()) {
        MessageBox(platform::FormatString(47212, name), MB_OK);
        return;
    }
    if (!SitesConfigured(*this, *m_pDoc, *command)) return;
    document::JournalCommandInfo info;
    info.kind = "retry";
    info.of = command->id;
    info.action = "Retry Failed " + name;
    auto deleted = std::make_shared<std::vector<std::string>>();
    if (isDelete) {
        // The scope of each number is asked again, as a deletion in the window asks it.
        info.scope = document::kScopeAsked;
        DownloadThen(command->sites, [this, again, info, deleted] { m_pView->DeleteJournalled(again, info, *deleted); },
                     [this, deleted] { m_pView->RemoveDeletedRows(*deleted); });
        return;
    }
    // The same homes as the first time.
    auto requests = std::make_shared<std::vector<CQOBDoc::SyncRequest>>();
    for (const std::string& n : again) {
        CQOBDoc::SyncRequest r;
        r.number = n;
        auto home = command->homes.find(n);
        if (home != command->homes.end()) r.home = home->second;
        requests->push_back(std::move(r));
    }
    DownloadThen(command->sites, [this, requests, info] { m_pView->SyncJournalled(*requests, info); });
}

void CMainFrame::OnRetryFailed() { RetryCommand(0); }

CHistoryWnd* CMainFrame::GetHistoryWindow() const { return m_pHistory.data(); }
