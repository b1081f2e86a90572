#include "ui/RowTransfer.h"

QString BuildRowTransferText(const QString& header, const QStringList& rows) {
    qsizetype size = header.size();
    for (const QString& r : rows) size += r.size() + 2;
    QString text;
    text.reserve(size);
    text += header;
    for (const QString& r : rows) {
        text += QStringLiteral("\r\n");
        text += r;
    }
    return text;
}

bool ParseRowTransferText(const QString& text, const QString& header, QStringList& rows) {
    rows.clear();
    if (!text.contains(QLatin1Char('\n'))) return false;
    QStringList lines = text.split(QLatin1Char('\n'));
    // A carriage return at a line's end belongs to the line end, never to the row.
    for (QString& line : lines)
        while (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (lines.front() != header) return false;
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty()) rows.append(lines[i]);
    return true;
}
