// Rows pasted from the clipboard come from any program: the transfer text is split into rows only
// under the grid's own header, and the rows it yields build the same text again.
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ui/RowTransfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    QString header = lf < 0 ? text : text.left(lf);
    while (header.endsWith(QLatin1Char('\r'))) header.chop(1);
    QStringList rows;
    if (!ParseRowTransferText(text, header, rows)) {
        if (!rows.isEmpty() || text.contains(QLatin1Char('\n'))) std::abort();
        return 0;
    }
    for (const QString& r : rows)
        if (r.isEmpty() || r.contains(QLatin1Char('\n'))) std::abort();
    QStringList again;
    // Rows built into a text read back as they were (no rows: just the header, which is no paste).
    if (!rows.isEmpty() &&
        (!ParseRowTransferText(BuildRowTransferText(header, rows), header, again) || again != rows))
        std::abort();
    // Another grid's header takes nothing.
    if (ParseRowTransferText(text, header + QLatin1Char('x'), again)) std::abort();
    return 0;
}
