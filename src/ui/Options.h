// The Options dialog: the six options of the document, edited as copies. The caller copies them
// in (Load), and after OK copies them back in the order the program sets them (Store) and saves.
#pragma once

#include <string>

#include "ui/QobDialog.h"

class CQOBDoc;
class QCheckBox;
class QLineEdit;

class COptions : public CQobDialog {
    Q_OBJECT
public:
    explicit COptions(QWidget* parent = nullptr);

    int m_bSavePassword = 0;
    int m_bAutoReload = 0;
    int m_bRelocate = 0;
    int m_bRelocateVoiceMail = 0;
    std::string m_strNTAccount;
    std::string m_strNTPassword;

    static constexpr int kMaxAccount = 50;
    static constexpr int kMaxPassword = 16;

    void Load(const CQOBDoc& doc);
    // Remember, Reload, Relocation, RelocateVM, DefaultMBUser, DefaultMBPassword, in this order.
    void Store(CQOBDoc& doc) const;

    void UpdateControls();

protected:
    void OnInitDialog() override;

public slots:
    void accept() override;

private:
    void UpdateData(bool save);

    QCheckBox* m_chkSavePassword;
    QCheckBox* m_chkAutoReload;
    QCheckBox* m_chkRelocate;
    QCheckBox* m_chkRelocateVoiceMail;
    QLineEdit* m_editAccount;
    QLineEdit* m_editPassword;
};
