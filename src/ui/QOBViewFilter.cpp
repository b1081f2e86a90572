// The bar above the extension list: a text that filters by number or name as it is typed, the
// quick filters (unsynchronized, checked, one home site) and the count of rows shown; copying
// the selected rows and exporting the list as shown.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSaveFile>
#include <QTimer>

#include <set>

#include "document/CsvText.h"
#include "document/RowText.h"
#include "ui/ListGrid.h"
#include "ui/QOBView.h"
#include "ui/UiText.h"

namespace {

constexpr int kNameColumns[] = {2, 3, 4};
constexpr int kStatusColumn = 5;
constexpr int kCountDelayMs = 100;

QString Thousands(int n) { return QLocale(QLocale::English).toString(n); }

}  // namespace

void CQOBView::CreateFilterBar(QWidget* bar) {
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 0);
    m_editFilter = new QLineEdit(bar);
    m_editFilter->setObjectName(QStringLiteral("filterText"));
    m_editFilter->setPlaceholderText(ui::LoadQString(47110));
    m_editFilter->setClearButtonEnabled(true);
    m_editFilter->setMinimumWidth(m_editFilter->fontMetrics().horizontalAdvance(m_editFilter->placeholderText()) + 40);
    m_checkUnsynchronized = new QCheckBox(ui::LoadQString(47111), bar);
    m_checkUnsynchronized->setObjectName(QStringLiteral("filterUnsynchronized"));
    m_checkChecked = new QCheckBox(ui::LoadQString(47112), bar);
    m_checkChecked->setObjectName(QStringLiteral("filterChecked"));
    auto* homeLabel = new QLabel(ui::LoadQString(47113), bar);
    m_comboFilterHome = new QComboBox(bar);
    m_comboFilterHome->setObjectName(QStringLiteral("filterHome"));
    m_comboFilterHome->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_comboFilterHome->addItem(ui::LoadQString(47114));
    homeLabel->setBuddy(m_comboFilterHome);
    m_labelCount = new QLabel(bar);
    m_labelCount->setObjectName(QStringLiteral("filterCount"));
    row->addWidget(m_editFilter, 2);
    row->addWidget(m_checkUnsynchronized);
    row->addWidget(m_checkChecked);
    row->addWidget(homeLabel);
    row->addWidget(m_comboFilterHome);
    row->addStretch(1);
    row->addWidget(m_labelCount);

    connect(m_editFilter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(m_checkUnsynchronized, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
    connect(m_checkChecked, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
    connect(m_comboFilterHome, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    // Down from the filter goes into the list.
    m_editFilter->installEventFilter(this);
    QAbstractItemModel* model = m_listExt->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, [this] { ScheduleCount(); });
    connect(model, &QAbstractItemModel::dataChanged, this, [this] { ScheduleCount(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { ScheduleCount(); });
    UpdateCount();
}

bool CQOBView::PassesFilter(int row) const {
    if (m_checkChecked->isChecked() && !(m_listExt->GetCheck(row) & LGCS_CHECKED)) return false;
    if (m_checkUnsynchronized->isChecked() &&
        m_listExt->GetItemText(row, kStatusColumn).trimmed() != ui::LoadQString(StatusWordString(0)))
        return false;
    if (m_comboFilterHome->currentIndex() > 0 &&
        m_listExt->GetItemText(row, kHomeColumn).trimmed() != m_comboFilterHome->currentText())
        return false;
    const QString text = m_editFilter->text().trimmed();
    if (text.isEmpty()) return true;
    if (m_listExt->GetItemText(row, 0).trimmed().startsWith(text, Qt::CaseInsensitive)) return true;
    for (int c : kNameColumns)
        if (m_listExt->GetItemText(row, c).contains(text, Qt::CaseInsensitive)) return true;
    return false;
}

void CQOBView::ApplyFilter() {
    // No filter at all: nothing is asked of the rows as they come.
    const bool any = !m_editFilter->text().trimmed().isEmpty() || m_checkUnsynchronized->isChecked() ||
                     m_checkChecked->isChecked() || m_comboFilterHome->currentIndex() > 0;
    m_listExt->SetRowFilter(any ? std::function<bool(int)>([this](int r) { return PassesFilter(r); })
                                : std::function<bool(int)>());
    const int focused = m_listExt->GetFocusedRow();
    if (m_listExt->IsRowShown(focused)) m_listExt->scrollTo(m_listExt->model()->index(focused, 0));
    UpdateCount();
}

void CQOBView::FocusFilter() {
    m_editFilter->setFocus(Qt::ShortcutFocusReason);
    m_editFilter->selectAll();
}

void CQOBView::SetFilterText(const QString& text) { m_editFilter->setText(text); }

void CQOBView::ScheduleCount() {
    // A count takes a pass over the rows: while rows arrive by the thousand, a few times a second.
    if (m_bCountScheduled) return;
    m_bCountScheduled = true;
    QTimer::singleShot(kCountDelayMs, this, [this] { UpdateCount(); });
}

QString CQOBView::CountText() const { return m_labelCount->text(); }

void CQOBView::UpdateCount() {
    m_bCountScheduled = false;
    int shown = 0, checked = 0;
    std::set<QString> homes;
    for (int row = 0; row < m_listExt->GetItemCount(); ++row) {
        shown += m_listExt->IsRowShown(row);
        checked += (m_listExt->GetCheck(row) & LGCS_CHECKED) != 0;
        homes.insert(m_listExt->GetItemText(row, kHomeColumn).trimmed());
    }
    m_labelCount->setText(ui::FromCodePage(platform::FormatString(
        47115, ui::ToCodePage(Thousands(shown)), ui::ToCodePage(Thousands(m_listExt->GetItemCount())),
        ui::ToCodePage(Thousands(checked)))));
    // The home sites the list holds, the chosen one kept while it is there.
    QStringList wanted{ui::LoadQString(47114)};
    for (const QString& h : homes)
        if (!h.isEmpty()) wanted << h;
    QStringList have;
    for (int i = 0; i < m_comboFilterHome->count(); ++i) have << m_comboFilterHome->itemText(i);
    if (have == wanted) return;
    const QString current = m_comboFilterHome->currentIndex() > 0 ? m_comboFilterHome->currentText() : QString();
    {
        const QSignalBlocker quiet(m_comboFilterHome);
        m_comboFilterHome->clear();
        m_comboFilterHome->addItems(wanted);
        const int at = current.isEmpty() ? 0 : m_comboFilterHome->findText(current);
        m_comboFilterHome->setCurrentIndex(at < 0 ? 0 : at);
    }
    if (!current.isEmpty() && m_comboFilterHome->currentIndex() == 0) ApplyFilter();
}

bool CQOBView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editFilter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_listExt->setFocus(Qt::TabFocusReason);
            if (!m_listExt->IsRowShown(m_listExt->GetFocusedRow()))
                for (int row = 0; row < m_listExt->GetItemCount(); ++row)
                    if (m_listExt->IsRowShown(row)) {
                        m_listExt->SelectRow(row);
                        break;
                    }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CQOBView::OnCopy() { m_listExt->CopyAsText(); }

bool CQOBView::ExportCsv(const QString& path, int* rows) const {
    const QHeaderView* header = m_listExt->horizontalHeader();
    std::vector<int> columns;
    for (int v = 0; v < header->count(); ++v)
        if (!header->isSectionHidden(header->logicalIndex(v))) columns.push_back(header->logicalIndex(v));
    // UTF-8 with its byte-order mark, which spreadsheet programs take as the sign of UTF-8.
    std::string text = "\xEF\xBB\xBF";
    std::vector<std::string> fields;
    for (int c : columns) fields.push_back(m_listExt->GetColumn(c)->title.toStdString());
    text += CsvLine(fields);
    int written = 0;
    for (int row = 0; row < m_listExt->GetItemCount(); ++row) {
        if (!m_listExt->IsRowShown(row)) continue;
        fields.clear();
        for (int c : columns) fields.push_back(m_listExt->GetItemText(row, c).trimmed().toStdString());
        text += CsvLine(fields);
        ++written;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    if (!file.commit()) return false;
    if (rows) *rows = written;
    return true;
}
