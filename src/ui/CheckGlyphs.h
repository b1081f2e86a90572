// The four 16 by 16 check-box glyphs of the list grid: an empty box, a ticked box, a grey-filled
// box and a grey-filled ticked box. The free box's tick is drawn in the palette's text colour, so
// it shows on a dark background as on a light one; each set is made once and shared.
#pragma once

#include <QColor>
#include <QPixmap>

#include <array>

const std::array<QPixmap, 4>& CheckGlyphs(const QColor& tick = Qt::black);
