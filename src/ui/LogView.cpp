#include "ui/LogView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextOption>

#include "ui/UiText.h"

namespace {

// A logged text on one line: each line end inside it shows as a blank.
QString OneLine(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return out;
}

// One line, tabs at every 8 dialog units, cut (not wrapped or elided) at the right edge. Every
// row is one line high, whatever its text: the pane's rows are laid out as of one height, so a
// taller row would make every row taller and push the newest out of sight.
class CLogLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(1, QFontMetrics(option.font).height() + 2);
    }
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = OneLine(opt.text);
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        QTextOption to(Qt::AlignLeft | Qt::AlignVCenter);
        to.setWrapMode(QTextOption::NoWrap);
        // A dialog unit across is a quarter of the font's average character width.
        to.setTabStopDistance(2.0 * QFontMetrics(opt.font).averageCharWidth());
        p->save();
        p->setClipRect(opt.rect);
        p->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        p->drawText(QRectF(opt.rect.adjusted(2, 0, 0, 0)), text, to);
        p->restore();
    }
};

}  // namespace

int CLogLines::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(m_lines.size()); }

QVariant CLogLines::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(m_lines.size())) return {};
    return m_lines[static_cast<size_t>(index.row())];
}

void CLogLines::Append(QString line) {
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.push_back(std::move(line));
    endInsertRows();
}

CLogView::CLogView(QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("log1001"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(16);
    f.setWeight(QFont::Normal);
    setFont(f);
    setModel(&m_lines);
    setItemDelegate(new CLogLineDelegate(this));
    // Every line the same height: a hundred thousand lines lay out at once.
    setUniformItemSizes(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_sink.SetLineListener([this](const std::string& line) { AddLine(line); });
}

int CLogView::OnLogMessage(uint32_t level, const std::string& text) { return m_sink.OnLogMessage(level, text); }

void CLogView::AddLine(const std::string& line) {
    m_lines.Append(ui::FromCodePage(line));
    // The new line becomes the bottom visible one, even when the user had scrolled up.
    const int index = m_lines.rowCount() - 1;
    const int top = index - m_nVisibleLines + 1;
    if (top < 0) return;
    m_nPendingTop = top;
    verticalScrollBar()->setValue(top);
}

void CLogView::updateGeometries() {
    QListView::updateGeometries();
    if (m_nPendingTop >= 0 && m_nPendingTop <= verticalScrollBar()->maximum()) {
        verticalScrollBar()->setValue(m_nPendingTop);
        m_nPendingTop = -1;
    }
}

void CLogView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    const int lineHeight = qMax(1, sizeHintForRow(0) > 0 ? sizeHintForRow(0) : fontMetrics().height());
    m_nVisibleLines = viewport()->height() / lineHeight;
}

void CLogView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (!hasFocus()) return;
    QPainter frame(viewport());
    frame.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
    frame.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
}

void CLogView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    viewport()->update();
}

void CLogView::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    viewport()->update();
}
