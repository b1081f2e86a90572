// The four 16 by 16 check-box glyphs of the list grid: an empty box, a ticked box, a grey-filled
// box and a grey-filled ticked box. Made once, when the first grid is created; shared by all.
#pragma once

#include <QPixmap>

#include <array>

const std::array<QPixmap, 4>& CheckGlyphs();
