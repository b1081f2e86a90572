// The row transfer text of the list grid, on the clipboard and in a drag: the header text,
// then for each row a carriage return, a line feed and the row's text; no line end after the last.
#pragma once

#include <QString>
#include <QStringList>

QString BuildRowTransferText(const QString& header, const QStringList& rows);

// The non-empty rows of a transfer text whose first line is `header`; false (and no rows) for a
// text without a line end or from a grid of other columns. Lines may end in LF alone; carriage
// returns at a line's end are dropped.
bool ParseRowTransferText(const QString& text, const QString& header, QStringList& rows);
