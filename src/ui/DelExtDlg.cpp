#include "ui/DelExtDlg.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>

#include "document/DeletePrompt.h"
#include "ui/UiText.h"

namespace {

constexpr uint32_t kCaption = 47050;

}  // namespace

CDelExtDlg::CDelExtDlg(QWidget* parent) : CQobDialog(parent, 187, 86, kCaption) {
    m_staticPrompt = new QLabel(this);
    // Two full lines: the question with its number wraps.
    Place(m_staticPrompt, 1023, 14, 7, 158, 18);
    m_staticPrompt->setTextFormat(Qt::PlainText);
    m_staticPrompt->setWordWrap(true);
    m_staticPrompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_radioVirtual = AddRadioButton(QString(), 1021, 23, 25, 147, 10);
    m_radioAll = AddRadioButton(QString(), 1022, 23, 41, 146, 10);
    auto* group = new QButtonGroup(this);
    group->addButton(m_radioVirtual, 0);
    group->addButton(m_radioAll, 1);
    AddOkCancel(35, 65, 106, 65);
}

void CDelExtDlg::OnInitDialog() {
    // The same question and choices the deletion itself words.
    const DeleteScopePrompt prompt = MakeDeleteScopePrompt(m_strExtNo, m_nType);
    m_strPrompt = prompt.question;
    m_staticPrompt->setText(ui::FromCodePage(m_strPrompt));
    m_radioVirtual->setText(ui::FromCodePage(prompt.virtualOnly));
    m_radioAll->setText(ui::FromCodePage(prompt.everything));
    m_radioVirtual->setChecked(m_nRadio == 0);
    m_radioAll->setChecked(m_nRadio == 1);
}

void CDelExtDlg::accept() {
    m_nRadio = m_radioVirtual->isChecked() ? 0 : m_radioAll->isChecked() ? 1 : -1;
    CQobDialog::accept();
}

namespace ui {

bool AskDeleteScopeDialog(QWidget* parent, DeleteScopePrompt& prompt) {
    CDelExtDlg dlg(parent);
    dlg.m_nRadio = prompt.choice;
    dlg.m_strExtNo = prompt.number;
    dlg.m_nType = prompt.type;
    if (dlg.exec() != QDialog::Accepted) return false;
    // OK with neither button checked cannot happen once one starts checked; keep the default then.
    if (dlg.m_nRadio == 0 || dlg.m_nRadio == 1) prompt.choice = dlg.m_nRadio;
    return true;
}

}  // namespace ui
