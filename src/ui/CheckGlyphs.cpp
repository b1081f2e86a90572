#include "ui/CheckGlyphs.h"

#include <QPainter>

#include <map>

namespace {

QPixmap MakeGlyph(bool ticked, bool locked, const QColor& tick) {
    QPixmap pixmap(16, 16);
    // What would be pure white stays transparent, so the row's background shows in the box.
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QRect box(1, 1, 13, 13);
    if (locked) p.fillRect(box, QColor(192, 192, 192));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    if (ticked) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(locked ? QColor(64, 64, 64) : tick, 1));
        // The classic tick: seven columns, three pixels high each.
        for (int i = 0; i < 7; ++i) {
            const int x = 4 + i;
            const int y = i < 3 ? 6 + i : 10 - i;
            p.drawLine(x, y, x, y + 2);
        }
    }
    return pixmap;
}

}  // namespace

const std::array<QPixmap, 4>& CheckGlyphs(const QColor& tick) {
    // By tick colour; a program meets one or two palettes.
    static std::map<QRgb, std::array<QPixmap, 4>> sets;
    auto it = sets.find(tick.rgb());
    if (it == sets.end())
        it = sets.emplace(tick.rgb(), std::array<QPixmap, 4>{MakeGlyph(false, false, tick), MakeGlyph(true, false, tick),
                                                             MakeGlyph(false, true, tick), MakeGlyph(true, true, tick)})
                 .first;
    return it->second;
}
