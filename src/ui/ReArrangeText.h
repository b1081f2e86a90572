// Shortening a text to a width: the longest start that fits, less three characters, and "...".
// The grid's cells and the printed list use it.
#pragma once

#include <QFontMetrics>
#include <QString>

// The text as it is drawn in `width` pixels: unchanged when its drawn width is less than `width`;
// otherwise the longest start (at least one character) narrower than `width`, cut after three
// characters fewer (after one character when the start has three or fewer), followed by "...".
QString ReArrangeText(const QFontMetrics& metrics, const QString& text, int width);
