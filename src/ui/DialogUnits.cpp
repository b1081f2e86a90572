#include "ui/DialogUnits.h"

#include <cmath>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>

#include "platform/Strings.h"

namespace ui {

QFont DialogFont() {
    QFont font;
    if (platform::StringLanguageInForce() == platform::StringLanguage::Chinese) {
        font.setFamilies(QStringList() << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK SC")
                                       << QStringLiteral("Liberation Sans"));
        font.setPixelSize(12);
    } else {
        // Arial's metrics, as the original dialogs' 8-point sans serif had at 96 dots per inch.
        font.setFamilies(QStringList() << QStringLiteral("Liberation Sans") << QStringLiteral("Arial"));
        font.setPixelSize(11);
    }
    font.setStyleHint(QFont::SansSerif);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_cx = (letters / 26 + 1) / 2;
    // The character height with ascent and descent each rounded up, as the dialog manager of the
    // original platform measures it: a label of two lines then holds its two lines.
    const QFontMetricsF exact(font);
    m_cy = static_cast<int>(std::ceil(exact.ascent()) + std::ceil(exact.descent()));
    if (m_cx < 1) m_cx = 1;
    if (m_cy < 1) m_cy = 1;
}

}  // namespace ui
