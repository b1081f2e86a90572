// Limits on what an edit accepts: no more characters than the program keeps (counted in the
// system code page, where a Chinese character takes two), only characters the code page holds,
// and no control characters (a tab would split a grid row's fields).
#pragma once

#include <QValidator>

class QLineEdit;

namespace ui {

class CTextLimitValidator : public QValidator {
public:
    CTextLimitValidator(int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;
    void SetLimit(int maxBytes) { m_nMax = maxBytes; }
    int Limit() const { return m_nMax; }

private:
    int m_nMax;
};

// Sets (or changes) an edit's limit: its maximum length and a validator as above.
void LimitText(QLineEdit* edit, int maxBytes);

}  // namespace ui
