// The Select Servers dialog: every configured site in a grid of names and passwords (shown as
// asterisks); the user selects at least two and may type each site's server password.
#pragma once

#include <string>
#include <vector>

#include "ui/ListGridDefs.h"
#include "ui/QobDialog.h"

class CListGrid;
class QLineEdit;

class CDlgSelServer : public CQobDialog, private IListGridOwner {
    Q_OBJECT
public:
    explicit CDlgSelServer(QWidget* parent = nullptr);

    // On entry every site's name and password, in the document's order (texts in the code page).
    // After OK the names of the selected sites in list order; the passwords stay one per site.
    std::vector<std::string> m_saServers;
    std::vector<std::string> m_saPasswords;
    // The sites selected when the dialog opens (the last download's).
    std::vector<std::string> m_saPreselected;

    CListGrid* m_listServers;
    QLineEdit* m_editPassword;

    static constexpr int kMaxPassword = 8;

protected:
    void OnInitDialog() override;

public slots:
    void accept() override;

private:
    intptr_t OnListGridNotify(NMLISTGRID& nm) override;
    intptr_t OnSvrListNeedCtrl(NMLISTGRID& nm);
    intptr_t OnSvrListEditItem(NMLISTGRID& nm);
};
