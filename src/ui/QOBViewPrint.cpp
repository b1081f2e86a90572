// Printing the extension list: a title, a table of 52 bands (the header and up to 50 rows; the
// last band stays empty, so the page count and each page's first row follow 50 rows a page and no
// row is printed twice) and the page number. The columns are as wide as their texts need. Drawn in units of 1/600 inch, as a printer of that
// resolution would be addressed.
#include <QFont>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <numeric>

#include "platform/Trace.h"
#include "ui/ListGrid.h"
#include "ui/QOBView.h"
#include "ui/ReArrangeText.h"
#include "ui/UiText.h"

namespace {

constexpr double kUnitsPerInch = 600.0;
constexpr int kBand = 100;
constexpr int kBands = 52;
constexpr int kMaxCellText = 99;
// A cell's text starts this far into it, and needs this much room besides to stay whole.
constexpr int kCellInset = 16;
constexpr int kCellPadding = 24;

QFont PrintFont(const char* family, const char* substitute, int height) {
    // Where the named faces are missing, their metric-compatible equivalents.
    if (QFont::substitutes(QString::fromLatin1(family)).isEmpty())
        QFont::insertSubstitution(QString::fromLatin1(family), QString::fromLatin1(substitute));
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(height);
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

}  // namespace

// An empty list prints one page.
int CQOBView::PageCount() const { return std::max(0, m_listExt->GetItemCount() - 1) / kRowsPerPage + 1; }

void CQOBView::Print(QPrinter& printer) {
    QPainter p;
    if (!p.begin(&printer)) return;
    const double scale = printer.resolution() / kUnitsPerInch;
    const QRectF paint = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect printable(0, 0, static_cast<int>(paint.width() / scale), static_cast<int>(paint.height() / scale));
    p.scale(scale, scale);
    int first = 1, last = PageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(first, printer.fromPage());
        last = std::min(last, printer.toPage() > 0 ? printer.toPage() : last);
    }
    for (int page = first; page <= last; ++page) {
        if (page > first) printer.newPage();
        PrintPage(p, printable, page);
    }
    p.end();
}

void CQOBView::PrintPage(QPainter& p, const QRect& printable, int page) {
    try {
        if (printable.isEmpty()) return;
        const QFont titleFont = PrintFont("Times New Roman", "Liberation Serif", 120);
        const QFont textFont = PrintFont("Arial", "Liberation Sans", 80);
        const int L = printable.left(), T = printable.top(), R = printable.right(), B = printable.bottom();
        p.save();
        p.setBackgroundMode(Qt::TransparentMode);
        p.setBrush(Qt::white);
        p.setPen(QPen(Qt::black, 0));

        p.setFont(titleFont);
        const QString title = ui::LoadQString(44203) + QStringLiteral(" - ") + ui::LoadQString(44204);
        p.drawText(QRect(L, T + 300, R - L, 300), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, title);
        p.drawText(QRect(L, B - 300, R - L, 300), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                   ui::LoadQString(44205) + QStringLiteral(" %1").arg(page));

        const int left = L + 300, right = R - 300, top = T + 600, bottom = top + kBand * kBands;
        p.setFont(textFont);
        const QFontMetrics metrics = p.fontMetrics();
        // Each shown column gets what its title and its cells need in the printer's font; the
        // room left over goes to the columns as their screen widths share it. Only a table too
        // narrow for every need shortens texts, all columns alike.
        const int columns = m_listExt->GetColumnCount();
        std::vector<int> shown, need, screen;
        for (int c = 0; c < columns; ++c) {
            if (m_listExt->isColumnHidden(c)) continue;
            const GRIDCOLUMN* col = m_listExt->GetColumn(c);
            int widest = metrics.horizontalAdvance(col ? col->title.left(kMaxCellText) : QString());
            for (int r = 0; r < m_listExt->GetItemCount(); ++r)
                widest = std::max(widest, metrics.horizontalAdvance(m_listExt->GetItemText(r, c).left(kMaxCellText)));
            shown.push_back(c);
            need.push_back(widest + kCellInset + kCellPadding);
            screen.push_back(std::max(1, m_listExt->GetColumnWidth(c)));
        }
        const int tableWidth = right - left;
        const int64_t needSum = std::accumulate(need.begin(), need.end(), int64_t{0});
        const int64_t screenSum = std::accumulate(screen.begin(), screen.end(), int64_t{0});
        std::vector<std::pair<int, int>> edges;  // (left, right) of each shown column
        for (size_t i = 0; i < shown.size(); ++i) {
            int w = 0;
            if (needSum <= tableWidth)
                w = need[i] + static_cast<int>((tableWidth - needSum) * screen[i] / std::max<int64_t>(1, screenSum));
            else
                w = static_cast<int>(int64_t{need[i]} * tableWidth / needSum);
            if (edges.empty())
                edges.emplace_back(left, left + w);
            else
                edges.emplace_back(edges.back().second + 1, edges.back().second + w);
        }

        p.drawRect(QRect(QPoint(left, top), QPoint(right, bottom)));
        p.fillRect(QRect(QPoint(left + 8, top + 8), QPoint(right - 8, top + kBand)), QColor(192, 192, 192));
        for (size_t i = 1; i < edges.size(); ++i) p.drawLine(edges[i].first, top, edges[i].first, bottom);
        for (int i = 1; i < kBands; ++i) p.drawLine(left, top + i * kBand, right, top + i * kBand);

        for (size_t i = 0; i < edges.size(); ++i) {
            const GRIDCOLUMN* col = m_listExt->GetColumn(shown[i]);
            const QString text = col ? col->title.left(kMaxCellText) : QString();
            const int width = edges[i].second - edges[i].first;
            p.drawText(QRect(QPoint(edges[i].first, top + 8), QPoint(edges[i].second, top + kBand)),
                       Qt::AlignCenter | Qt::TextSingleLine, ReArrangeText(metrics, text, width));
        }
        const int firstRow = (page - 1) * kRowsPerPage;
        for (int i = 0; i < kRowsPerPage && firstRow + i < m_listExt->GetItemCount(); ++i) {
            for (size_t c = 0; c < edges.size(); ++c) {
                const QString text = m_listExt->GetItemText(firstRow + i, shown[c]).left(kMaxCellText);
                if (text.isEmpty()) continue;
                const QRect box(QPoint(edges[c].first + kCellInset, top + (i + 1) * kBand),
                                QPoint(edges[c].second, top + (i + 2) * kBand));
                p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                           ReArrangeText(metrics, text, box.width()));
            }
        }
        p.restore();
    } catch (...) {
        platform::Trace("Exception in OnDraw\n");
    }
}

void CQOBView::OnFilePrint() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, PageCount());
    if (dialog.exec() == QDialog::Accepted) Print(printer);
}

void CQOBView::OnFilePrintDirect() {
    QPrinter printer(QPrinter::HighResolution);
    Print(printer);
}

void CQOBView::OnFilePrintPreview() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* pr) { Print(*pr); });
    preview.exec();
}

bool CQOBView::PrintToPdf(const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    Print(printer);
    return printer.printerState() != QPrinter::Error;
}
