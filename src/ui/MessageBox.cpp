#include "ui/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/UiText.h"

namespace ui {
namespace {

constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kIconError = 0x10;
constexpr unsigned kIconQuestion = 0x20;
constexpr unsigned kIconInformation = 0x40;

// The button texts of the message boxes.
constexpr uint32_t kTextOK = 47060;
constexpr uint32_t kTextCancel = 47061;
constexpr uint32_t kTextYes = 47062;
constexpr uint32_t kTextNo = 47063;

}  // namespace

int QobMessageBox(QWidget* parent, const QString& text, unsigned type, const QString& caption) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("QobMessageBox"));
    box.setWindowTitle(caption.isEmpty() ? LoadQString(57344) : caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    const unsigned buttons = type & kButtonMask;
    const bool question = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    switch (type & kIconMask) {
        case kIconError: box.setIcon(QMessageBox::Critical); break;
        case kIconQuestion: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case kIconInformation: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(question ? QMessageBox::Question : QMessageBox::Warning); break;
    }
    struct Choice {
        QMessageBox::ButtonRole role;
        uint32_t textId;
        int answer;
    };
    std::vector<Choice> choices;
    switch (buttons) {
        case MB_OKCANCEL: choices = {{QMessageBox::AcceptRole, kTextOK, IDOK}, {QMessageBox::RejectRole, kTextCancel, IDCANCEL}}; break;
        case MB_YESNO: choices = {{QMessageBox::YesRole, kTextYes, IDYES}, {QMessageBox::NoRole, kTextNo, IDNO}}; break;
        case MB_YESNOCANCEL:
            choices = {{QMessageBox::YesRole, kTextYes, IDYES}, {QMessageBox::NoRole, kTextNo, IDNO},
                       {QMessageBox::RejectRole, kTextCancel, IDCANCEL}};
            break;
        default: choices = {{QMessageBox::AcceptRole, kTextOK, IDOK}}; break;
    }
    std::vector<std::pair<QAbstractButton*, int>> answers;
    for (const Choice& c : choices) {
        QPushButton* b = box.addButton(LoadQString(c.textId), c.role);
        b->setObjectName(QStringLiteral("answer%1").arg(c.answer));
        answers.emplace_back(b, c.answer);
    }
    box.setDefaultButton(static_cast<QPushButton*>(answers.front().first));
    box.exec();
    for (const auto& [button, answer] : answers)
        if (box.clickedButton() == button) return answer;
    // Closed without a button: what Escape would have answered.
    return buttons == MB_OK ? IDOK : buttons == MB_YESNO ? IDNO : IDCANCEL;
}

}  // namespace ui
