#include "ui/QOBView.h"

#include <QComboBox>
#include <QVBoxLayout>
#include <QResizeEvent>
#include <QScrollBar>

#include <memory>

#include "document/QOBDoc.h"
#include "document/RowText.h"
#include "platform/Strings.h"
#include "platform/Trace.h"
#include "ui/CommandHost.h"
#include "ui/ListGrid.h"
#include "ui/MarshalFrame.h"
#include "ui/UiText.h"

using platform::FormatString;
using platform::LoadString;

namespace {

constexpr int kColumnWidths[] = {80, 100, 100, 100, 100, 100, 100, 80, 80};
constexpr const char* kMixedNames = "XXXXXXX";

// The site name of a Home Server entry: "East (HQ)(IP)" names "East (HQ)"; the detailed type word
// is the last parenthesis, so a name may hold parentheses of its own.
std::string EntrySiteName(const std::string& entry) {
    const size_t open = entry.rfind('(');
    return open == std::string::npos ? entry : entry.substr(0, open);
}

}  // namespace

CQOBView::CQOBView(CQOBDoc* doc, IQOBFrame* frame, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pFrame(frame) {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("filterBar"));
    m_listExt = new CListGrid(this, kListId, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(bar);
    layout->addWidget(m_listExt, 1);
    m_listExt->SetFocusFrame(true);
    m_listExt->SetCopyAsText(true);
    m_listExt->SetSortType(1);
    m_listExt->SetHeader(ui::LoadQString(44201));
    m_listExt->SetColumnEditable(kHomeColumn, true);
    m_listExt->SetFitColumns(true);
    for (int i = 0; i < 9; ++i) m_listExt->SetColumnWidth(i, kColumnWidths[i]);
    m_listExt->SetExtendedStyle(m_listExt->GetExtendedStyle() | LVS_EX_CHECKBOXES);
    m_listExt->show();

    m_comboHomeServer = new QComboBox(m_listExt);
    m_comboHomeServer->setObjectName(QStringLiteral("combo1111"));
    m_comboHomeServer->setEditable(false);
    // As wide as its longest entry, whatever the cell's width.
    m_comboHomeServer->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_comboHomeServer->setGeometry(5, 5, 95, 95);
    m_comboHomeServer->hide();
    CreateFilterBar(bar);
    setFocusProxy(m_listExt);
}

void CQOBView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The first column, with the check boxes, stays in sight whatever the new width.
    m_listExt->horizontalScrollBar()->setValue(0);
}

std::string CQOBView::Field(int row, int column) const {
    return ui::ToCodePage(m_listExt->GetCellText(row, column).trimmed());
}

void CQOBView::SetField(int row, int column, const std::string& text) {
    m_listExt->SetCellText(ui::FromCodePage(CellText(text)), row, column);
}

int CQOBView::RowOf(const std::string& number) { return m_listExt->FindRow(ui::FromCodePage(number), 0); }

void CQOBView::RemoveAllRows() { m_listExt->DeleteAllItems(); }

void CQOBView::OnUpdate(int code, const std::string& number) {
    RowUpdate update;
    update.code = code;
    update.number = number;
    if (const server::ExtSummary* merged = m_pDoc->FindExtRow(number)) {
        update.found = true;
        update.row = *merged;
        if (code != UPDATE_ROW_TEXT)
            update.synchronizable = m_pDoc->IsSynchronizable(number, std::string(server::FieldText(merged->HomeServer)));
    }
    ApplyRow(update);
}

void CQOBView::ApplyRow(const RowUpdate& update) {
    const int code = update.code;
    const std::string& number = update.number;
    if (code != UPDATE_ROW_ADDED && code != UPDATE_ROW_REFRESH && code != UPDATE_ROW_TEXT) return;
    if (!update.found) return;
    m_bUpdating = true;
    const QString text = ui::FromCodePage(FormatRow(update.row));
    int row = -1;
    if (code == UPDATE_ROW_ADDED) {
        row = m_listExt->InsertRow(text);
    } else {
        row = RowOf(number);
        if (row < 0) {
            m_pFrame->Log(LOG_WARNING, FormatString(44665, number));
        } else {
            m_pFrame->Log(LOG_DETAIL, FormatString(44666, number, row));
            m_listExt->SetCellText(text, row, -1);
        }
    }
    if (row >= 0 && code != UPDATE_ROW_TEXT) m_listExt->SetCheck(row, update.synchronizable ? LGCS_UNCHECKED : LGCS_LOCKED);
    if (code == UPDATE_ROW_ADDED) m_pFrame->SetStatusText(FormatString(44206, number));
    m_bUpdating = false;
}

void CQOBView::SetCommandRunning(bool running) { m_listExt->SetChangesLocked(running); }

bool CQOBView::Run(std::function<void()> work, std::function<void()> after) {
    if (m_pHost) return m_pHost->RunCommand(std::move(work), std::move(after));
    work();
    if (after) after();
    return true;
}

void CQOBView::PostToWindow(std::function<void()> fn) {
    if (m_pHost)
        m_pHost->PostToWindow(std::move(fn));
    else
        fn();
}

void CQOBView::OnCheckUncheckSelected() {
    std::vector<int> selected;
    m_listExt->GetSelectedRows(selected);
    bool changed = false;
    for (int row : selected)
        if (m_listExt->GetCheck(row) == LGCS_UNCHECKED) {
            m_listExt->SetCheck(row, LGCS_CHECKED);
            changed = true;
        }
    if (changed) return;
    for (int row : selected)
        if (m_listExt->GetCheck(row) == LGCS_CHECKED) m_listExt->SetCheck(row, LGCS_UNCHECKED);
}

void CQOBView::OnSelectAll() { m_listExt->SelectAll(); }

void CQOBView::OnSynchronize() {
    if (!m_pDoc->IsSameExtLength()) {
        m_pFrame->MessageBox(LoadString(44611), MB_OK);
        return;
    }
    // Every extension first, then every group, each in the list's order.
    std::vector<CQOBDoc::SyncRequest> list, groups;
    for (int row = 0; row < m_listExt->GetItemCount(); ++row) {
        if (m_listExt->GetCheck(row) != LGCS_CHECKED) continue;
        CQOBDoc::SyncRequest r;
        r.number = Field(row, 0);
        r.home = Field(row, kHomeColumn);
        const server::ExtSummary* merged = m_pDoc->FindExtRow(r.number);
        (merged && merged->ExtensionType == server::exttype::kWorkgroup ? groups : list).push_back(std::move(r));
    }
    list.insert(list.end(), std::make_move_iterator(groups.begin()), std::make_move_iterator(groups.end()));
    // A mailbox is measured only when it may move: each measurement goes to the site's share.
    if (!m_pDoc->GetRelocation() || !m_pDoc->GetRelocateVM()) {
        StartSync(std::move(list));
        return;
    }
    // Measuring the mailboxes asks the sites: on the engine. The question comes after, here.
    auto totalKB = std::make_shared<int64_t>(0);
    auto numbers = std::make_shared<std::vector<CQOBDoc::SyncRequest>>(std::move(list));
    Run(
        [this, totalKB, numbers] {
            m_pDoc->GetFrame()->SetStatusText(LoadString(46255));
            for (const CQOBDoc::SyncRequest& r : *numbers) {
                if (m_pDoc->Cancelled()) return;
                *totalKB += m_pDoc->GetMailboxSize(r.number);
            }
        },
        [this, totalKB, numbers] {
            if (m_pDoc->Cancelled()) return;
            if (*totalKB > 0) {
                const int answer = m_pFrame->MessageBox(FormatString(44638, static_cast<int>(*totalKB)), MB_YESNOCANCEL);
                if (answer == IDCANCEL) {
                    m_pFrame->SetStatusText(LoadString(57345));
                    return;
                }
                if (answer == IDNO) m_pDoc->SetRelocateVM(false);
            }
            StartSync(std::move(*numbers));
        });
}

void CQOBView::StartSync(std::vector<CQOBDoc::SyncRequest> list) {
    auto requests = std::make_shared<std::vector<CQOBDoc::SyncRequest>>(std::move(list));
    Run(
        [this, requests] {
            document::JournalCommandInfo info;
            info.kind = "sync";
            info.action = "Synchronize";
            SyncJournalled(*requests, std::move(info));
        },
        {});
}

bool CQOBView::SyncJournalled(std::vector<CQOBDoc::SyncRequest>& requests, document::JournalCommandInfo info) {
    IQOBFrame* frame = m_pDoc->GetFrame();
    // Nothing is sent unjournalled: the log says why when the journal cannot be written.
    for (const auto& conn : m_pDoc->m_servers) info.sites.push_back(conn->GetName());
    for (const CQOBDoc::SyncRequest& r : requests) {
        info.numbers.push_back(r.number);
        info.homes[r.number] = r.home;
    }
    if (!m_pDoc->BeginJournal(info)) return false;
    // The document says which number runs and how far it got; each row follows as done.
    const bool all = m_pDoc->SyncNumbers(requests, [&](const CQOBDoc::SyncRequest& r) {
        const int state = r.ok && r.complete ? (LGCS_CHECKED | LGCS_LOCKED) : LGCS_UNCHECKED;
        PostToWindow([this, number = r.number, state] {
            const int row = RowOf(number);
            if (row < 0) return;
            // Set, not clicked: unchecking a failed group does not ask about its agents.
            m_bUpdating = true;
            m_listExt->SetCheck(row, state);
            m_bUpdating = false;
        });
    });
    m_pDoc->EndJournal(m_pDoc->Cancelled() ? "cancelled" : all ? "ok" : "failed");
    if (m_pDoc->Cancelled()) return false;
    if (!all && frame) frame->Log(LOG_WARNING, LoadString(47215));
    if (frame) frame->SetStatusText(platform::LoadString(44214));
    if (m_pDoc->GetReload()) {
        PostToWindow([this] { RemoveAllRows(); });
        m_pDoc->Download();
    }
    return all;
}

namespace {

// The document's frame during a deletion of several numbers, passing everything through and
// noting a Cancel of a number's question, which ends the deletion of the rest.
class CScopeWatch : public IQOBFrame {
public:
    explicit CScopeWatch(IQOBFrame* frame) : m_frame(frame) {}
    void Log(uint32_t level, const std::string& text) override { m_frame->Log(level, text); }
    int MessageBox(const std::string& text, unsigned type, const std::string& caption) override {
        return m_frame->MessageBox(text, type, caption);
    }
    void SetStatusText(const std::string& text) override { m_frame->SetStatusText(text); }
    void UpdateViews(int code, const std::string& hint) override { m_frame->UpdateViews(code, hint); }
    void BeginWaitCursor() override { m_frame->BeginWaitCursor(); }
    void EndWaitCursor() override { m_frame->EndWaitCursor(); }
    void RequestMapEdit() override { m_frame->RequestMapEdit(); }
    bool AskDeleteScope(DeleteScopePrompt& prompt) override {
        const bool answered = m_frame->AskDeleteScope(prompt);
        m_refused = m_refused || !answered;
        return answered;
    }
    void ShowProgress(int done, int total) override { m_frame->ShowProgress(done, total); }
    bool Refused() const { return m_refused; }

private:
    IQOBFrame* m_frame;
    bool m_refused = false;
};

}  // namespace

std::vector<std::string> CQOBView::DeleteTargets() const {
    // What the command's prompt names: the checked rows, or the selected ones when none is.
    std::vector<std::string> numbers;
    for (int row = 0; row < m_listExt->GetItemCount(); ++row)
        if (m_listExt->GetCheck(row) == LGCS_CHECKED) numbers.push_back(Field(row, 0));
    if (!numbers.empty()) return numbers;
    std::vector<int> selected;
    m_listExt->GetSelectedRows(selected);
    for (int row : selected) numbers.push_back(Field(row, 0));
    return numbers;
}

void CQOBView::OnDelete() {
    const std::vector<std::string> numbers = DeleteTargets();
    if (numbers.empty()) return;
    auto deleted = std::make_shared<std::vector<std::string>>();
    Run(
        [this, numbers, deleted] {
            document::JournalCommandInfo info;
            info.kind = "delete";
            info.action = "Delete";
            DeleteJournalled(numbers, std::move(info), *deleted);
        },
        [this, deleted] { RemoveDeletedRows(*deleted); });
}

bool CQOBView::DeleteJournalled(const std::vector<std::string>& numbers, document::JournalCommandInfo info,
                                std::vector<std::string>& deleted) {
    IQOBFrame* frame = m_pDoc->GetFrame();
    CScopeWatch watch(frame);
    if (frame) m_pDoc->SetFrame(&watch);
    // Nothing is sent unjournalled: the log says why when the journal cannot be written.
    for (const auto& conn : m_pDoc->m_servers) info.sites.push_back(conn->GetName());
    info.numbers = numbers;
    const bool journalled = m_pDoc->BeginJournal(info);
    bool all = journalled;
    for (const std::string& number : numbers) {
        if (!journalled || m_pDoc->Cancelled() || watch.Refused()) break;
        try {
            if (frame) watch.SetStatusText(FormatString(46256, number));
            bool complete = false;
            if (m_pDoc->DeleteEverywhere(number, &complete)) deleted.push_back(number);
            all = all && complete;
        } catch (...) {
            platform::Trace("The exception occur in CQOBView::OnDelete\n");
        }
    }
    const bool stopped = m_pDoc->Cancelled() || watch.Refused();
    if (journalled) m_pDoc->EndJournal(stopped ? "cancelled" : all ? "ok" : "failed");
    if (journalled && !stopped && !all && frame) frame->Log(LOG_WARNING, LoadString(47215));
    if (frame) m_pDoc->SetFrame(frame);
    return all && !stopped;
}

void CQOBView::RemoveDeletedRows(const std::vector<std::string>& deleted) {
    // Looked up again: the user may have sorted the list meanwhile. The row that takes the first
    // deleted one's place gets the focus and the selection.
    int place = -1;
    for (const std::string& number : deleted) {
        const int now = RowOf(number);
        if (now < 0) continue;
        place = place < 0 ? now : std::min(place, now);
        m_listExt->DeleteItem(now);
    }
    const int rows = m_listExt->GetItemCount();
    if (place < 0 || rows == 0) return;
    m_listExt->SelectRow(std::min(place, rows - 1));
}

intptr_t CQOBView::OnListGridNotify(NMLISTGRID& nm) {
    if (nm.idFrom != kListId) return 0;
    if (nm.code == LGN_NEEDCTRL) return OnExtListNeedCtrl(nm);
    if (nm.code == LGN_EDITITEM) return OnExtListEditItem(nm);
    return 0;
}

intptr_t CQOBView::OnExtListNeedCtrl(NMLISTGRID& nm) {
    try {
        if (nm.iColumn != kHomeColumn) return 0;
        const QString unknown = ui::LoadQString(kUnknownHomeString);
        m_comboHomeServer->clear();
        m_comboHomeServer->addItem(unknown);
        int selected = nm.pszText == unknown ? 0 : -1;
        const std::string number = Field(nm.iRow, 0);
        const std::string cell = ui::ToCodePage(nm.pszText);
        for (const SiteRec& site : m_pDoc->m_sites) {
            server::CZentServ* conn = m_pDoc->FindServer(site.Name);
            if (!conn) continue;
            const server::ExtSummary* rec = conn->FindExt(number);
            if (!rec) continue;
            m_comboHomeServer->addItem(ui::FromCodePage(site.Name + "(" + DetailedTypeWord(rec->ExtensionType) + ")"));
            if (site.Name == cell) selected = m_comboHomeServer->count() - 1;
        }
        m_comboHomeServer->setCurrentIndex(selected < 0 ? 0 : selected);
        nm.pEditCtrl = m_comboHomeServer;
        nm.nExtra = CBN_KILLFOCUS;
        return 1;
    } catch (...) {
        platform::Trace("The exception occur in CQOBView::OnExtListNeedCtrl\n");
        return 0;
    }
}

intptr_t CQOBView::OnExtListEditItem(NMLISTGRID& nm) {
    try {
        if (nm.iColumn != kHomeColumn) return 0;
        const int row = m_listExt->FindRow(nm.pszText, -1);
        if (row < 0) return 0;
        const std::string home = EntrySiteName(ui::ToCodePage(nm.strExtra));
        const std::string rowText = ui::ToCodePage(nm.pszText);
        const std::string number = rowText.substr(0, rowText.find('\t'));
        const std::string unknown = LoadString(kUnknownHomeString);

        if (home != unknown) {
            server::CZentServ* conn = m_pDoc->FindServer(home);
            const server::ExtSummary* rec = conn ? conn->FindExt(number) : nullptr;
            auto fillNames = [&] {
                SetField(row, 2, std::string(server::FieldText(rec->ExtFirstName)));
                SetField(row, 3, std::string(server::FieldText(rec->ExtName)));
                SetField(row, 4, std::string(server::FieldText(rec->EMailName)));
            };
            if (m_pDoc->IsSynchronizedAll(number, home)) {
                if (m_pDoc->IsNameConsistent(number)) {
                    if (!rec) return 0;
                    fillNames();
                } else {
                    for (int c = 2; c <= 4; ++c) SetField(row, c, kMixedNames);
                }
                SetField(row, 5, StatusWord(1));
                m_listExt->SetCheck(row, LGCS_LOCKED);
            } else {
                if (!rec) return 0;
                const uint32_t differ = m_pDoc->CompareExtNames(number);
                if (differ & 0x222) {
                    if (differ & 0x2) SetField(row, 2, kMixedNames);
                    if (differ & 0x20) SetField(row, 3, kMixedNames);
                    if (differ & 0x200) SetField(row, 4, kMixedNames);
                    SetField(row, 5, StatusWord(0));
                    m_listExt->SetCheck(row, LGCS_LOCKED);
                } else {
                    fillNames();
                    SetField(row, 5, StatusWord(0));
                    m_listExt->SetCheck(row, LGCS_UNCHECKED);
                }
            }
        } else {
            if (!m_pDoc->IsNameConsistent(number))
                for (int c = 2; c <= 4; ++c) SetField(row, c, "");
            m_listExt->SetCheck(row, LGCS_LOCKED);
        }
        SetField(row, kHomeColumn, home);
        if (!m_pDoc->IsSynchronizable(number, home)) m_listExt->SetCheck(row, LGCS_LOCKED);
        return 1;
    } catch (...) {
        platform::Trace("The exception occur in CQOBView::OnExtListEditItem\n");
        return 0;
    }
}

void CQOBView::OnListGridItemChanged(const NMLISTVIEW& nm) {
    if (nm.idFrom != kListId || !(nm.uChanged & LGN_CHECKCHANGED) || m_bUpdating) return;
    OnExtItemChanged(nm.iItem, static_cast<int>(nm.uOldState), static_cast<int>(nm.uNewState));
}

void CQOBView::OnExtItemChanged(int row, int oldState, int newState) {
    const bool checked = oldState == LGCS_UNCHECKED && newState == LGCS_CHECKED;
    const bool unchecked = oldState == LGCS_CHECKED && newState == LGCS_UNCHECKED;
    if (!checked && !unchecked) return;
    const std::string number = Field(row, 0);
    const std::string home = Field(row, kHomeColumn);
    if (number.empty()) return;
    std::vector<std::string> agents;
    m_pDoc->GetGroupAgents(number, home, agents);
    if (checked) {
        for (const std::string& agent : agents) {
            const int r = RowOf(agent);
            // Only an agent that may be chosen: a locked row stays as the document left it.
            if (r < 0 || m_listExt->GetCheck(r) != LGCS_UNCHECKED) continue;
            m_listExt->SetCheck(r, LGCS_CHECKED);
            SetField(r, 5, StatusWord(0));
            SetField(r, kHomeColumn, home);
        }
        return;
    }
    if (agents.empty()) return;
    if (m_pFrame->MessageBox(FormatString(44637, number), MB_YESNO) != IDYES) return;
    for (const std::string& agent : agents) {
        const int r = RowOf(agent);
        if (r >= 0) m_listExt->SetCheck(r, LGCS_UNCHECKED);
    }
    m_pDoc->UpdateExtRows(agents);
}
