#include "ui/Options.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "document/QOBDoc.h"
#include "ui/UiText.h"

namespace {

constexpr uint32_t kCaption = 47040;
constexpr uint32_t kTextSavePassword = 47041;
constexpr uint32_t kTextAutoReload = 47042;
constexpr uint32_t kTextRelocate = 47043;
constexpr uint32_t kTextRelocateVoiceMail = 47044;
constexpr uint32_t kTextAccountNote = 47045;
constexpr uint32_t kTextAccount = 47046;
constexpr uint32_t kTextPassword = 47047;
constexpr uint32_t kTextJobs = 46252;

}  // namespace

COptions::COptions(QWidget* parent) : CQobDialog(parent, 263, 156, kCaption) {
    m_chkSavePassword = AddCheckBox(kTextSavePassword, 1011, 7, 7, 183, 10);
    m_chkAutoReload = AddCheckBox(kTextAutoReload, 1017, 7, 20, 183, 10);
    m_chkRelocate = AddCheckBox(kTextRelocate, 1013, 7, 34, 183, 10);
    m_chkRelocateVoiceMail = AddCheckBox(kTextRelocateVoiceMail, 1014, 19, 47, 172, 10);
    QLabel* note = AddLabel(kTextAccountNote, 31, 61, 216, 16);
    note->setWordWrap(true);
    QLabel* account = AddLabel(kTextAccount, 31, 82, 77, 11);
    m_editAccount = AddEdit(1024, 114, 81, 72, 12, kMaxAccount);
    QLabel* password = AddLabel(kTextPassword, 31, 98, 78, 11);
    m_editPassword = AddEdit(1025, 114, 97, 72, 12, kMaxPassword, true);
    account->setBuddy(m_editAccount);
    password->setBuddy(m_editPassword);
    m_spinJobs = new QSpinBox(this);
    m_spinJobs->setRange(1, CQOBDoc::kMaxJobs);
    Place(m_spinJobs, 1030, 114, 115, 40, 13);
    AddLabel(kTextJobs, 7, 117, 105, 11, m_spinJobs);
    AddOkCancel(53, 135, 159, 135);

    connect(m_chkRelocate, &QCheckBox::clicked, this, [this] {
        UpdateData(true);
        UpdateControls();
    });
    connect(m_chkRelocateVoiceMail, &QCheckBox::clicked, this, [this] {
        UpdateData(true);
        UpdateControls();
    });
}

void COptions::Load(const CQOBDoc& doc) {
    m_bAutoReload = doc.GetReload();
    m_bRelocate = doc.GetRelocation();
    m_bRelocateVoiceMail = doc.GetRelocateVM();
    m_bSavePassword = doc.GetRemember();
    m_strNTAccount = doc.GetDefaultMBUser();
    m_strNTPassword = doc.GetDefaultMBPassword();
    m_nJobs = doc.GetJobs();
}

void COptions::Store(CQOBDoc& doc) const {
    doc.SetRemember(m_bSavePassword != 0);
    doc.SetReload(m_bAutoReload != 0);
    doc.SetRelocation(m_bRelocate != 0);
    doc.SetRelocateVM(m_bRelocateVoiceMail != 0);
    doc.SetDefaultMBUser(m_strNTAccount);
    doc.SetDefaultMBPassword(m_strNTPassword);
    doc.SetJobs(m_nJobs);
}

void COptions::OnInitDialog() {
    UpdateData(false);
    UpdateControls();
}

void COptions::UpdateData(bool save) {
    if (save) {
        m_bSavePassword = m_chkSavePassword->isChecked();
        m_bAutoReload = m_chkAutoReload->isChecked();
        m_bRelocate = m_chkRelocate->isChecked();
        m_bRelocateVoiceMail = m_chkRelocateVoiceMail->isChecked();
        m_strNTAccount = ui::ToCodePage(m_editAccount->text()).substr(0, kMaxAccount);
        m_strNTPassword = ui::ToCodePage(m_editPassword->text()).substr(0, kMaxPassword);
        m_nJobs = m_spinJobs->value();
        return;
    }
    m_chkSavePassword->setChecked(m_bSavePassword != 0);
    m_chkAutoReload->setChecked(m_bAutoReload != 0);
    m_chkRelocate->setChecked(m_bRelocate != 0);
    m_chkRelocateVoiceMail->setChecked(m_bRelocateVoiceMail != 0);
    m_editAccount->setText(ui::FromCodePage(m_strNTAccount));
    m_editPassword->setText(ui::FromCodePage(m_strNTPassword));
    m_spinJobs->setValue(m_nJobs);
}

void COptions::UpdateControls() {
    m_chkRelocateVoiceMail->setEnabled(m_bRelocate != 0);
    m_editAccount->setEnabled(m_bRelocateVoiceMail != 0);
    m_editPassword->setEnabled(m_bRelocateVoiceMail != 0);
}

void COptions::accept() {
    UpdateData(true);
    CQobDialog::accept();
}
