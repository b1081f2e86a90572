#include "ui/DlgSelServer.h"

#include <algorithm>

#include <QLineEdit>

#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/TextLimit.h"
#include "ui/UiText.h"

namespace {

constexpr uint32_t kCaption = 47010;
constexpr uint32_t kPrompt = 47011;
constexpr int kPasswordColumn = 1;

QString Stars(size_t n) { return QString(static_cast<qsizetype>(n), QLatin1Char('*')); }

}  // namespace

CDlgSelServer::CDlgSelServer(QWidget* parent) : CQobDialog(parent, 181, 124, kCaption) {
    m_listServers = new CListGrid(this, 1001, this);
    AddLabel(kPrompt, 7, 7, 167, 11, m_listServers);
    Place(m_listServers, 1001, 7, 19, 108, 98);
    m_listServers->SetHeaderClickable(false);
    AddOkCancel(124, 82, 124, 103);

    m_editPassword = new QLineEdit(m_listServers->viewport());
    m_editPassword->setObjectName(QString::number(LG_EDITCTRL_ID));
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editPassword->setGeometry(0, 0, 10, 10);
    ui::LimitText(m_editPassword, kMaxPassword);
    m_editPassword->hide();
}

void CDlgSelServer::OnInitDialog() {
    m_listServers->SetHeader(ui::LoadQString(44209));
    for (size_t i = 0; i < m_saServers.size(); ++i) {
        const size_t length = i < m_saPasswords.size() ? m_saPasswords[i].size() : 0;
        m_listServers->InsertRow(ui::FromCodePage(m_saServers[i]) + QLatin1Char('\t') + Stars(length), -1);
    }
    m_listServers->SetColumnEditable(kPasswordColumn, true);
    for (size_t i = 0; i < m_saServers.size(); ++i)
        if (std::find(m_saPreselected.begin(), m_saPreselected.end(), m_saServers[i]) != m_saPreselected.end())
            m_listServers->SetRowSelected(static_cast<int>(i), true);
    m_listServers->show();
    m_listServers->setFocus(Qt::OtherFocusReason);
}

intptr_t CDlgSelServer::OnListGridNotify(NMLISTGRID& nm) {
    if (nm.code == LGN_NEEDCTRL) return OnSvrListNeedCtrl(nm);
    if (nm.code == LGN_EDITITEM) return OnSvrListEditItem(nm);
    return 0;
}

intptr_t CDlgSelServer::OnSvrListNeedCtrl(NMLISTGRID& nm) {
    if (nm.iColumn != kPasswordColumn || nm.iRow < 0 || static_cast<size_t>(nm.iRow) >= m_saServers.size() ||
        static_cast<size_t>(nm.iRow) >= m_saPasswords.size())
        return 0;
    ui::LimitText(m_editPassword, kMaxPassword);
    m_editPassword->setText(Stars(m_saPasswords[static_cast<size_t>(nm.iRow)].size()));
    m_editPassword->selectAll();
    nm.pEditCtrl = m_editPassword;
    nm.nExtra = EN_KILLFOCUS;
    return 1;
}

intptr_t CDlgSelServer::OnSvrListEditItem(NMLISTGRID& nm) {
    if (nm.iColumn != kPasswordColumn || nm.iRow < 0 || static_cast<size_t>(nm.iRow) >= m_saPasswords.size())
        return 0;
    QString password = nm.strExtra;
    qsizetype blanks = 0;
    while (blanks < password.size() && password[blanks] == QLatin1Char(' ')) ++blanks;
    password.remove(0, blanks);
    std::string& stored = m_saPasswords[static_cast<size_t>(nm.iRow)];
    stored = ui::ToCodePage(password);
    m_listServers->SetCellText(Stars(stored.size()), nm.iRow, kPasswordColumn);
    return 1;
}

void CDlgSelServer::accept() {
    std::vector<int> rows;
    if (m_listServers->GetSelectedRows(rows) < 2) {
        ui::QobMessageBox(this, ui::LoadQString(44601));
        m_listServers->setFocus(Qt::OtherFocusReason);
        return;
    }
    std::vector<std::string> chosen;
    chosen.reserve(rows.size());
    for (int row : rows)
        if (row >= 0 && static_cast<size_t>(row) < m_saServers.size()) chosen.push_back(m_saServers[static_cast<size_t>(row)]);
    m_saServers = std::move(chosen);
    CQobDialog::accept();
}
