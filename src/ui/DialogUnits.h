// Dialog layouts are given in dialog units: a quarter of the dialog font's average character width
// across, an eighth of its height down. The same layout then fits its texts in either language.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace ui {

// The dialogs' font: a Latin sans serif for English, a CJK sans serif for Chinese (the string
// language in force decides).
QFont DialogFont();

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    int X(int units) const { return (units * m_cx + 2) / 4; }
    int Y(int units) const { return (units * m_cy + 4) / 8; }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }
    QSize Size(int cx, int cy) const { return QSize(X(cx), Y(cy)); }
    int BaseX() const { return m_cx; }
    int BaseY() const { return m_cy; }

private:
    int m_cx;
    int m_cy;
};

}  // namespace ui
