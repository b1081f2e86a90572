// The server edit dialog: a site's name, its server's IPv4 address and the account and password
// for its mailbox share. It only collects and checks the values; the map table editor applies them.
#pragma once

#include <cstdint>
#include <string>

#include "ui/QobDialog.h"

class CIPAddressCtrl;
class QLineEdit;

class CEditServer : public CQobDialog {
    Q_OBJECT
public:
    explicit CEditServer(QWidget* parent = nullptr);

    // Texts in the code page; the address in network byte order, 0 for none. Written only by OK.
    std::string m_strName;
    uint32_t m_dwIP = 0;
    std::string m_strMBAccount;
    std::string m_strMBPassword;

    // No more than the site keeps: its account holds 49 characters and its password 15.
    static constexpr int kMaxName = 30;
    static constexpr int kMaxAccount = 49;
    static constexpr int kMaxPassword = 15;

protected:
    void OnInitDialog() override;

public slots:
    void accept() override;

private:
    QLineEdit* m_editName;
    CIPAddressCtrl* m_ipAddress;
    QLineEdit* m_editAccount;
    QLineEdit* m_editPassword;
};
