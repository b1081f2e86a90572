#include "ui/EditServer.h"

#include <arpa/inet.h>

#include <QLabel>
#include <QLineEdit>

#include "ui/IPAddressCtrl.h"
#include "ui/MessageBox.h"
#include "ui/TextLimit.h"
#include "ui/UiText.h"

namespace {

constexpr uint32_t kTextName = 47020;
constexpr uint32_t kTextAddress = 47021;
constexpr uint32_t kTextAccount = 47022;
constexpr uint32_t kTextPassword = 47023;

// White space at both ends removed, as the platform's trimming does.
std::string Trim(const std::string& s) {
    const char* const ws = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

}  // namespace

CEditServer::CEditServer(QWidget* parent) : CQobDialog(parent, 185, 109, 0) {
    QLabel* name = AddLabel(kTextName, 7, 8, 82, 12, nullptr, Qt::AlignRight);
    m_editName = AddEdit(1013, 96, 7, 82, 12, kMaxName);
    QLabel* address = AddLabel(kTextAddress, 7, 24, 82, 12, nullptr, Qt::AlignRight);
    m_ipAddress = new CIPAddressCtrl(this);
    Place(m_ipAddress, 1004, 96, 23, 82, 12);
    QLabel* account = AddLabel(kTextAccount, 7, 42, 82, 12, nullptr, Qt::AlignRight);
    m_editAccount = AddEdit(1027, 96, 40, 82, 12, kMaxAccount);
    QLabel* password = AddLabel(kTextPassword, 7, 58, 82, 12, nullptr, Qt::AlignRight);
    m_editPassword = AddEdit(1028, 96, 56, 82, 12, kMaxPassword, true);
    name->setBuddy(m_editName);
    address->setBuddy(m_ipAddress);
    account->setBuddy(m_editAccount);
    password->setBuddy(m_editPassword);
    AddOkCancel(29, 87, 101, 87);
}

void CEditServer::OnInitDialog() {
    setWindowTitle(ui::LoadQString(m_strName.empty() ? 45001 : 45002));
    m_editName->setText(ui::FromCodePage(m_strName));
    m_editAccount->setText(ui::FromCodePage(m_strMBAccount));
    m_editPassword->setText(ui::FromCodePage(m_strMBPassword));
    if (m_dwIP != 0) m_ipAddress->SetAddress(ntohl(m_dwIP));
    else m_ipAddress->ClearAddress();
    ui::LimitText(m_editName, kMaxName);
    m_editName->setFocus(Qt::OtherFocusReason);
}

void CEditServer::accept() {
    const std::string account = Trim(ui::ToCodePage(m_editAccount->text()).substr(0, kMaxAccount));
    const std::string password = Trim(ui::ToCodePage(m_editPassword->text()).substr(0, kMaxPassword));
    const std::string name = Trim(ui::ToCodePage(m_editName->text()).substr(0, kMaxName));
    if (name.empty()) {
        ui::QobMessageBox(this, ui::LoadQString(44605));
        m_editName->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (m_ipAddress->IsBlank()) {
        ui::QobMessageBox(this, ui::LoadQString(44606));
        m_ipAddress->setFocus(Qt::OtherFocusReason);
        return;
    }
    uint32_t host = 0;
    m_ipAddress->GetAddress(host);
    m_strName = name;
    m_strMBAccount = account;
    m_strMBPassword = password;
    m_dwIP = htonl(host);
    CQobDialog::accept();
}
