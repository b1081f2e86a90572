#include "ui/IPAddressCtrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

int FieldValue(const QLineEdit* field) {
    const int v = field->text().toInt();
    return v > 255 ? 255 : v;
}

}  // namespace

CIPAddressCtrl::CIPAddressCtrl(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    const auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(digits);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i < 3) FocusField(i + 1, true);
        });
        // A value above 255 becomes 255 when the field is left.
        connect(field, &QLineEdit::editingFinished, this, [field] {
            if (field->text().toInt() > 255) field->setText(QStringLiteral("255"));
        });
        layout->addWidget(field, 1);
        m_fields[static_cast<size_t>(i)] = field;
    }
    setFocusProxy(m_fields[0]);
}

bool CIPAddressCtrl::IsBlank() const {
    for (const QLineEdit* f : m_fields)
        if (!f->text().isEmpty()) return false;
    return true;
}

int CIPAddressCtrl::GetAddress(uint32_t& address) const {
    address = 0;
    int filled = 0;
    for (const QLineEdit* f : m_fields) {
        address = (address << 8) | static_cast<uint32_t>(FieldValue(f));
        if (!f->text().isEmpty()) ++filled;
    }
    return filled;
}

void CIPAddressCtrl::SetAddress(uint32_t address) {
    for (int i = 0; i < 4; ++i) m_fields[static_cast<size_t>(i)]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

void CIPAddressCtrl::ClearAddress() {
    for (QLineEdit* f : m_fields) f->clear();
}

int CIPAddressCtrl::IndexOf(QObject* field) const {
    for (int i = 0; i < 4; ++i)
        if (m_fields[static_cast<size_t>(i)] == field) return i;
    return -1;
}

void CIPAddressCtrl::FocusField(int i, bool atStart) {
    QLineEdit* f = m_fields[static_cast<size_t>(i)];
    f->setFocus(Qt::TabFocusReason);
    if (atStart) f->selectAll();
    else f->end(false);
}

bool CIPAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    const int i = IndexOf(watched);
    if (i < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* f = m_fields[static_cast<size_t>(i)];
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Space:
            if (i < 3 && !f->text().isEmpty()) FocusField(i + 1, true);
            return true;
        case Qt::Key_Backspace:
            if (i > 0 && f->cursorPosition() == 0 && !f->hasSelectedText()) {
                FocusField(i - 1, false);
                return true;
            }
            break;
        case Qt::Key_Left:
            if (i > 0 && f->cursorPosition() == 0) {
                FocusField(i - 1, false);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (i < 3 && f->cursorPosition() == f->text().size()) {
                FocusField(i + 1, true);
                return true;
            }
            break;
        default: break;
    }
    return QFrame::eventFilter(watched, event);
}
