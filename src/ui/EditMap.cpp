#include "ui/EditMap.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "document/MapTableOps.h"
#include "document/QOBDoc.h"
#include "ui/EditServer.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/TextLimit.h"
#include "ui/UiText.h"

namespace {

constexpr uint32_t kCaption = 47030;
constexpr uint32_t kTextServers = 47031;
constexpr uint32_t kTextAdd = 47032;
constexpr uint32_t kTextRemove = 47033;
constexpr uint32_t kTextEdit = 47034;
constexpr uint32_t kTextRoutingFrom = 47035;
constexpr uint32_t kTextRoutingTo = 47036;

constexpr int kColSuffix = 0;
constexpr int kColAccessCode = 1;
constexpr int kColToServer = 2;

// "%1s": an empty value is one blank.
QString AtLeastOne(const std::string& value) { return value.empty() ? QStringLiteral(" ") : ui::FromCodePage(value); }

}  // namespace

CEditMap::CEditMap(CQOBDoc* doc, QWidget* parent) : CQobDialog(parent, 275, 218, kCaption), m_pDoc(doc) {
    m_listFromServers = new QListWidget(this);
    AddLabel(kTextServers, 25, 8, 41, 11, m_listFromServers);
    Place(m_listFromServers, 1003, 37, 22, 130, 53);
    m_listFromServers->setSelectionMode(QAbstractItemView::SingleSelection);
    QPushButton* add = AddButton(kTextAdd, 1006, 198, 23, 50, 13);
    m_btnRemove = AddButton(kTextRemove, 1007, 198, 42, 50, 13);
    m_btnEdit = AddButton(kTextEdit, 1009, 198, 62, 50, 13);
    AddEtchedLine(16, 81, 243);
    // Six units wider than the original's, the bold name beside it moved along: in a font with
    // Arial's widths the English text needs them.
    AddLabel(kTextRoutingFrom, 25, 84, 162, 9);
    m_editFromServer = new QLineEdit(this);
    Place(m_editFromServer, 1016, 187, 84, 66, 12);
    m_editFromServer->setReadOnly(true);
    m_editFromServer->setFrame(false);
    m_editFromServer->setFocusPolicy(Qt::NoFocus);
    m_editFromServer->setTextMargins(0, 0, 0, 0);
    m_editFromServer->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; padding: 0px; }"));
    QFont bold = font();
    bold.setBold(true);
    m_editFromServer->setFont(bold);
    AddLabel(kTextRoutingTo, 25, 93, 91, 9);
    m_listServers = new CListGrid(this, 1005, this);
    Place(m_listServers, 1005, 22, 103, 233, 81);
    m_listServers->SetHeaderClickable(false);
    AddEtchedLine(16, 190, 243);
    AddOkCancel(70, 197, 151, 197);

    m_editCell = new QLineEdit(m_listServers->viewport());
    m_editCell->setObjectName(QString::number(LG_EDITCTRL_ID));
    m_editCell->setGeometry(0, 0, 10, 10);
    ui::LimitText(m_editCell, static_cast<int>(kMaxVMAPostfix));
    m_editCell->hide();

    connect(add, &QPushButton::clicked, this, &CEditMap::OnInsert);
    connect(m_btnRemove, &QPushButton::clicked, this, &CEditMap::OnRemove);
    connect(m_btnEdit, &QPushButton::clicked, this, &CEditMap::OnEdit);
    connect(m_listFromServers, &QListWidget::currentRowChanged, this, &CEditMap::OnSelchangeFromservers);
    connect(m_listFromServers, &QListWidget::itemDoubleClicked, this, &CEditMap::OnEdit);
}

void CEditMap::OnInitDialog() {
    m_savedSites = m_pDoc->m_sites;
    m_savedMBUser = m_pDoc->m_strDefaultMBUser;
    m_savedMBPassword = m_pDoc->m_strDefaultMBPassword;
    m_listServers->SetHeader(ui::LoadQString(44202));
    m_listServers->SetFitColumns(true);
    m_listServers->SetColumnWidth(2, 70);
    m_listServers->SetColumnWidth(3, 90);
    m_listServers->SetColumnWidth(0, 120);
    m_listServers->SetColumnWidth(1, 70);
    m_listServers->SetColumnEditable(kColSuffix, true);
    m_listServers->SetColumnEditable(kColAccessCode, true);
    m_listServers->SetColumnShaded(3, true);
    m_listServers->SetColumnShaded(kColToServer, true);
    m_listServers->show();

    const QSignalBlocker quiet(m_listFromServers);
    for (const SiteRec& site : m_pDoc->m_sites) m_listFromServers->addItem(ui::FromCodePage(site.Name));
    if (m_listFromServers->count() > 0) m_listFromServers->setCurrentRow(0);
    OnSelchangeFromservers();
    EnableSiteButtons();
}

int CEditMap::Selection() const {
    const int s = m_listFromServers->currentRow();
    return s >= 0 && static_cast<size_t>(s) < m_pDoc->m_sites.size() ? s : -1;
}

void CEditMap::EnableSiteButtons() {
    const bool any = !m_pDoc->m_sites.empty();
    m_btnRemove->setEnabled(any);
    m_btnEdit->setEnabled(any);
}

void CEditMap::OnSelchangeFromservers() {
    const int s = Selection();
    m_listServers->DeleteAllItems();
    // With no site selected nothing is shown, so no edit can reach a site that is gone.
    if (s < 0) {
        m_editFromServer->clear();
        return;
    }
    const SiteRec& from = m_pDoc->m_sites[static_cast<size_t>(s)];
    m_editFromServer->setText(ui::FromCodePage(from.Name));
    for (const MapEntry& e : from.Routes) {
        const int to = m_pDoc->GetSiteIndex(e.Name);
        const std::string ip = to >= 0 ? IPToText(m_pDoc->m_sites[static_cast<size_t>(to)].IP) : std::string();
        m_listServers->InsertRow(AtLeastOne(e.VMAPostfix) + QLatin1Char('\t') + AtLeastOne(e.FwdPattern) +
                                     QLatin1Char('\t') + AtLeastOne(e.Name) + QLatin1Char('\t') + AtLeastOne(ip),
                                 -1);
    }
}

intptr_t CEditMap::OnListGridNotify(NMLISTGRID& nm) {
    if (nm.code == LGN_NEEDCTRL) return OnSvrListNeedCtrl(nm);
    if (nm.code == LGN_EDITITEM) return OnSvrListEditItem(nm);
    return 0;
}

intptr_t CEditMap::OnSvrListNeedCtrl(NMLISTGRID& nm) {
    if (nm.iColumn != kColSuffix && nm.iColumn != kColAccessCode) return 0;
    const RouteColumn column = nm.iColumn == kColSuffix ? RouteColumn::MailSuffix : RouteColumn::AccessCode;
    ui::LimitText(m_editCell, static_cast<int>(column == RouteColumn::MailSuffix ? kMaxVMAPostfix : kMaxFwdPattern));
    const std::string toName = ui::ToCodePage(m_listServers->GetCellText(nm.iRow, kColToServer));
    m_editCell->setText(ui::FromCodePage(MapProposeCellText(*m_pDoc, toName, column, ui::ToCodePage(nm.pszText))));
    m_editCell->selectAll();
    nm.pEditCtrl = m_editCell;
    nm.nExtra = EN_KILLFOCUS;
    return 1;
}

intptr_t CEditMap::OnSvrListEditItem(NMLISTGRID& nm) {
    if (nm.iColumn != kColSuffix && nm.iColumn != kColAccessCode) return 0;
    const int row = m_listServers->FindRow(nm.pszText, -1);
    if (row < 0) return 1;
    const int from = Selection();
    if (from < 0) return 1;
    const QString value = m_editCell->text();
    QStringList fields = nm.pszText.split(QLatin1Char('\t'));
    if (fields.size() <= kColToServer) return 1;
    const std::string toName = ui::ToCodePage(fields[kColToServer]);
    const RouteColumn column = nm.iColumn == kColSuffix ? RouteColumn::MailSuffix : RouteColumn::AccessCode;
    bool changed = false;
    const MapEditResult r = MapSetRouteCell(*m_pDoc, from, toName, column, ui::ToCodePage(value), &changed);
    if (r != MapEditResult::Changed && r != MapEditResult::Unchanged) {
        ui::QobMessageBox(this, ui::FromCodePage(MapEditMessage(r)));
        return 1;
    }
    fields[nm.iColumn] = value;
    m_listServers->SetCellText(fields.join(QLatin1Char('\t')), row, -1);
    if (changed) m_bModified = 1;
    return 1;
}

void CEditMap::OnInsert() {
    CEditServer dlg(this);
    if (dlg.exec() != QDialog::Accepted) return;
    if (!Applied(MapAddSite(*m_pDoc, SiteEditValues{dlg.m_strName, dlg.m_dwIP, dlg.m_strMBAccount, dlg.m_strMBPassword})))
        return;
    {
        const QSignalBlocker quiet(m_listFromServers);
        m_listFromServers->addItem(ui::FromCodePage(m_pDoc->m_sites.back().Name));
        m_listFromServers->setCurrentRow(m_listFromServers->count() - 1);
    }
    m_bModified = 1;
    EnableSiteButtons();
    OnSelchangeFromservers();
}

int CEditMap::SelectedSite() {
    const int s = Selection();
    if (s < 0) ui::QobMessageBox(this, ui::LoadQString(44615));
    return s;
}

bool CEditMap::Applied(MapEditResult r) {
    if (r == MapEditResult::Changed) return true;
    if (r != MapEditResult::Unchanged) ui::QobMessageBox(this, ui::FromCodePage(MapEditMessage(r)));
    return false;
}

void CEditMap::OnEdit() {
    const int s = SelectedSite();
    if (s < 0) return;
    const SiteRec& site = m_pDoc->m_sites[static_cast<size_t>(s)];
    CEditServer dlg(this);
    dlg.m_strName = site.Name;
    dlg.m_dwIP = site.IP;
    dlg.m_strMBAccount = site.MBAccount;
    dlg.m_strMBPassword = site.MBPassword;
    if (dlg.exec() != QDialog::Accepted) return;
    if (!Applied(MapEditSite(*m_pDoc, s, SiteEditValues{dlg.m_strName, dlg.m_dwIP, dlg.m_strMBAccount, dlg.m_strMBPassword})))
        return;
    m_listFromServers->item(s)->setText(ui::FromCodePage(m_pDoc->m_sites[static_cast<size_t>(s)].Name));
    m_bModified = 1;
    OnSelchangeFromservers();
}

void CEditMap::OnRemove() {
    const int s = SelectedSite();
    if (s < 0 || !Applied(MapRemoveSite(*m_pDoc, s))) return;
    {
        const QSignalBlocker quiet(m_listFromServers);
        delete m_listFromServers->takeItem(s);
        m_listFromServers->setCurrentRow(m_listFromServers->count() > 0 ? 0 : -1);
    }
    EnableSiteButtons();
    m_bModified = 1;
    OnSelchangeFromservers();
}

bool CEditMap::OnSave() {
    if (!m_pDoc->SaveConfig()) {
        ui::QobMessageBox(this, ui::LoadQString(44608));
        return false;
    }
    m_bModified = 0;
    return true;
}

void CEditMap::accept() {
    if (m_bModified) OnSave();
    CQobDialog::accept();
}

void CEditMap::reject() {
    if (m_bModified) {
        // A file that cannot be read back (gone, or broken by hand meanwhile) must not leave
        // the dialog's changes in the document: Cancel throws them away either way.
        if (!m_pDoc->LoadConfig()) {
            m_pDoc->m_sites = m_savedSites;
            m_pDoc->m_strDefaultMBUser = m_savedMBUser;
            m_pDoc->m_strDefaultMBPassword = m_savedMBPassword;
        }
        m_bModified = 0;
    }
    CQobDialog::reject();
}
