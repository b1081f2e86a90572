#include "ui/TextLimit.h"

#include <QLineEdit>

#include "ui/UiText.h"

namespace ui {

CTextLimitValidator::CTextLimitValidator(int maxBytes, QObject* parent) : QValidator(parent), m_nMax(maxBytes) {}

QValidator::State CTextLimitValidator::validate(QString& input, int&) const {
    for (QChar c : input)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return Invalid;
    const std::string bytes = ToCodePage(input);
    if (FromCodePage(bytes) != input) return Invalid;
    return static_cast<int>(bytes.size()) <= m_nMax ? Acceptable : Invalid;
}

void LimitText(QLineEdit* edit, int maxBytes) {
    edit->setMaxLength(maxBytes);
    if (auto* v = dynamic_cast<const CTextLimitValidator*>(edit->validator())) {
        const_cast<CTextLimitValidator*>(v)->SetLimit(maxBytes);
        return;
    }
    edit->setValidator(new CTextLimitValidator(maxBytes, edit));
}

}  // namespace ui
