// The Delete Extension dialog: the deletion's question and its two scopes, delete only where the
// number is a virtual extension or delete everywhere. It deletes nothing itself.
#pragma once

#include <string>

#include "document/Frame.h"
#include "ui/QobDialog.h"

class QLabel;
class QRadioButton;

class CDelExtDlg : public CQobDialog {
    Q_OBJECT
public:
    explicit CDelExtDlg(QWidget* parent = nullptr);

    int m_nRadio = -1;  // 0 virtual extensions only, 1 everything, -1 none checked
    std::string m_strPrompt;
    std::string m_strExtNo;
    int m_nType = 0;

protected:
    void OnInitDialog() override;

public slots:
    void accept() override;

private:
    QLabel* m_staticPrompt;
    QRadioButton* m_radioVirtual;
    QRadioButton* m_radioAll;
};

namespace ui {

// Asks the deletion's question with the dialog: false on Cancel, else the choice in the prompt.
// This is how a window frame answers IQOBFrame::AskDeleteScope.
bool AskDeleteScopeDialog(QWidget* parent, DeleteScopePrompt& prompt);

}  // namespace ui
