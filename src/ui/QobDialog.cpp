#include "ui/QobDialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/TextLimit.h"
#include "ui/UiText.h"

namespace {

// The texts of the OK and Cancel buttons.
constexpr uint32_t kTextOKButton = 47012;
constexpr uint32_t kTextCancelButton = 47013;

}  // namespace

CQobDialog::CQobDialog(QWidget* parent, int cx, int cy, uint32_t captionId)
    : QDialog(parent), m_units(ui::DialogFont()) {
    setFont(ui::DialogFont());
    setFixedSize(m_units.Size(cx, cy));
    if (captionId != 0) setWindowTitle(ui::LoadQString(captionId));
    setModal(true);
}

QWidget* CQobDialog::GetDlgItem(int id) const { return findChild<QWidget*>(QString::number(id)); }

void CQobDialog::showEvent(QShowEvent* event) {
    if (!m_bInitDone) {
        m_bInitDone = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CQobDialog::Place(QWidget* w, int id, int x, int y, int cx, int cy) {
    if (id != 0) w->setObjectName(QString::number(id));
    w->setGeometry(m_units.Rect(x, y, cx, cy));
}

QLabel* CQobDialog::AddLabel(uint32_t textId, int x, int y, int cx, int cy, QWidget* buddy, Qt::Alignment align) {
    auto* label = new QLabel(ui::LoadQString(textId), this);
    label->setObjectName(QStringLiteral("label%1").arg(textId));
    label->setGeometry(Units().Rect(x, y, cx, cy));
    label->setAlignment(align | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    if (buddy) label->setBuddy(buddy);
    return label;
}

QPushButton* CQobDialog::AddButton(uint32_t textId, int id, int x, int y, int cx, int cy) {
    auto* button = new QPushButton(ui::LoadQString(textId), this);
    Place(button, id, x, y, cx, cy);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* CQobDialog::AddEdit(int id, int x, int y, int cx, int cy, int maxBytes, bool password) {
    auto* edit = new QLineEdit(this);
    Place(edit, id, x, y, cx, cy);
    ui::LimitText(edit, maxBytes);
    if (password) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QCheckBox* CQobDialog::AddCheckBox(uint32_t textId, int id, int x, int y, int cx, int cy) {
    auto* box = new QCheckBox(ui::LoadQString(textId), this);
    Place(box, id, x, y, cx, cy);
    return box;
}

QRadioButton* CQobDialog::AddRadioButton(const QString& text, int id, int x, int y, int cx, int cy) {
    auto* button = new QRadioButton(text, this);
    Place(button, id, x, y, cx, cy);
    return button;
}

void CQobDialog::AddEtchedLine(int x, int y, int cx) {
    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    const QRect r = m_units.Rect(x, y, cx, 0);
    line->setGeometry(r.x(), r.y(), r.width(), 2);
}

void CQobDialog::AddOkCancel(int okX, int okY, int cancelX, int cancelY) {
    QPushButton* ok = AddButton(kTextOKButton, 1, okX, okY, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* cancel = AddButton(kTextCancelButton, 2, cancelX, cancelY, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}
