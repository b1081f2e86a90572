// The Options dialog: the six options of the document, edited as copies, and how many sites a
// command works on at once. The caller copies them in (Load), and after OK copies them back in the
// order the program sets them (Store) and saves; the number of sites is the user's own setting,
// kept in the user's profile by the caller, not in the configuration file.
#pragma once

#include <string>

#include "ui/QobDialog.h"

class CQOBDoc;
class QCheckBox;
class QLineEdit;
class QSpinBox;

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
    int m_nJobs = 8;

    static constexpr int kMaxAccount = 50;
    static constexpr int kMaxPassword = 16;

    void Load(const CQOBDoc& doc);
    // Remember, Reload, Relocation, RelocateVM, DefaultMBUser, DefaultMBPassword, in this order;
    // then the number of sites at once.
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
    QSpinBox* m_spinJobs;
};
