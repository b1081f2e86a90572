#include "ui/HistoryWnd.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "document/JournalText.h"
#include "document/UndoPlan.h"
#include "platform/Strings.h"
#include "ui/UiText.h"

namespace {

// Columns of the list, as in the string of their titles.
enum Column { kId, kTime, kKind, kSites, kNumbers, kOutcome, kColumns };

QString Text(const std::string& s) { return ui::FromCodePage(s); }

bool MayHaveChanged(const document::JournalCommand& c) {
    for (const document::JournalEntry& e : c.changes)
        if (document::MayHaveReached(e)) return true;
    return false;
}

bool Retryable(const document::JournalCommand& c) {
    return (c.kind == "sync" || c.kind == "delete" || c.kind == "retry") && !document::NumbersNotDone(c).empty();
}

}  // namespace

CHistoryWnd::CHistoryWnd(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(ui::LoadQString(47202));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    m_labelBanner = new QLabel(this);
    m_labelBanner->setObjectName(QStringLiteral("banner"));
    m_labelBanner->setWordWrap(true);
    m_labelBanner->setFrameShape(QFrame::StyledPanel);
    m_labelBanner->setMargin(6);
    m_labelBanner->hide();
    layout->addWidget(m_labelBanner);

    auto* split = new QSplitter(Qt::Vertical, this);
    m_listCommands = new QTreeWidget(split);
    m_listCommands->setObjectName(QStringLiteral("commands"));
    m_listCommands->setRootIsDecorated(false);
    m_listCommands->setUniformRowHeights(true);
    m_listCommands->setAllColumnsShowFocus(true);
    m_listCommands->setColumnCount(kColumns);
    m_listCommands->setHeaderLabels(ui::LoadQString(47203).split(QLatin1Char('\t')));
    m_listCommands->header()->setStretchLastSection(true);
    m_textDetails = new QPlainTextEdit(split);
    m_textDetails->setObjectName(QStringLiteral("details"));
    m_textDetails->setReadOnly(true);
    m_textDetails->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_textDetails->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    split->addWidget(m_listCommands);
    split->addWidget(m_textDetails);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto add = [&](uint32_t textId, const char* name) {
        QPushButton* b = buttons->addButton(ui::LoadQString(textId), QDialogButtonBox::ActionRole);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_btnCheck = add(47204, "check");
    m_btnUndo = add(47205, "undo");
    m_btnRetry = add(47206, "retry");
    m_btnRefresh = add(47207, "refresh");
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_btnRefresh, &QPushButton::clicked, this, [this] { Reload(m_strPath); });
    connect(m_btnCheck, &QPushButton::clicked, this, [this] { if (onCheck && SelectedId()) onCheck(SelectedId()); });
    connect(m_btnUndo, &QPushButton::clicked, this, [this] { if (onUndo && SelectedId()) onUndo(SelectedId()); });
    connect(m_btnRetry, &QPushButton::clicked, this, [this] { if (onRetry && SelectedId()) onRetry(SelectedId()); });
    connect(m_listCommands, &QTreeWidget::currentItemChanged, this, [this] {
        ShowSelected();
        UpdateButtons();
    });
    resize(760, 520);
    UpdateButtons();
}

bool CHistoryWnd::Reload(const std::string& journalPath) {
    m_strPath = journalPath;
    const uint64_t keep = SelectedId();
    document::JournalContents journal;
    std::string error;
    const bool read = document::ReadJournalFile(journalPath, journal, error);
    m_journal = read ? std::move(journal) : document::JournalContents{};
    m_listCommands->clear();
    // Newest first: the command just run is the one looked for.
    for (auto c = m_journal.commands.rbegin(); c != m_journal.commands.rend(); ++c) {
        auto* item = new QTreeWidgetItem(m_listCommands);
        item->setData(kId, Qt::UserRole, QVariant::fromValue<qulonglong>(c->id));
        item->setText(kId, QString::number(c->id));
        item->setText(kTime, Text(c->time));
        item->setText(kKind, Text(c->kind + (c->of ? " " + std::to_string(c->of) : "")));
        item->setText(kSites, Text(document::JoinedWords(c->sites, ", ")));
        item->setText(kNumbers, Text(document::JoinedWords(c->numbers, ", ")));
        item->setText(kOutcome, Text(document::CommandOutcome(*c)));
    }
    for (int i = 0; i < kColumns - 1; ++i) m_listCommands->resizeColumnToContents(i);
    if (keep) Select(keep);
    if (!m_listCommands->currentItem() && m_listCommands->topLevelItemCount())
        m_listCommands->setCurrentItem(m_listCommands->topLevelItem(0));
    if (!read) {
        m_textDetails->setPlainText(ui::FormatQString(47214, error));
    } else if (m_journal.commands.empty()) {
        m_textDetails->setPlainText(ui::LoadQString(47219));
    }
    ShowSelected();
    UpdateButtons();
    return read;
}

void CHistoryWnd::Select(uint64_t id) {
    for (int i = 0; i < m_listCommands->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_listCommands->topLevelItem(i);
        if (item->data(kId, Qt::UserRole).toULongLong() == id) {
            m_listCommands->setCurrentItem(item);
            return;
        }
    }
}

uint64_t CHistoryWnd::SelectedId() const {
    const QTreeWidgetItem* item = m_listCommands->currentItem();
    return item ? item->data(kId, Qt::UserRole).toULongLong() : 0;
}

const document::JournalCommand* CHistoryWnd::Selected() const {
    const uint64_t id = SelectedId();
    for (const document::JournalCommand& c : m_journal.commands)
        if (c.id == id) return &c;
    return nullptr;
}

void CHistoryWnd::SetBanner(const QString& text) {
    m_labelBanner->setText(text);
    m_labelBanner->setVisible(!text.isEmpty());
}

void CHistoryWnd::ShowResult(uint64_t id, const QString& title, const std::vector<std::string>& lines) {
    m_resultId = id;
    m_result = title;
    for (const std::string& line : lines) m_result += QLatin1Char('\n') + Text(line);
    if (SelectedId() != id) Select(id);
    ShowSelected();
}

void CHistoryWnd::SetBusy(bool busy) {
    m_bBusy = busy;
    UpdateButtons();
}

void CHistoryWnd::ShowSelected() {
    const document::JournalCommand* c = Selected();
    if (!c) return;
    QString text = Text(document::CommandLine(*c));
    for (const std::string& line : document::CommandDetails(*c)) text += QLatin1Char('\n') + Text(line);
    if (m_resultId == c->id && !m_result.isEmpty()) text += QStringLiteral("\n\n") + m_result;
    m_textDetails->setPlainText(text);
}

void CHistoryWnd::UpdateButtons() {
    const document::JournalCommand* c = Selected();
    m_btnCheck->setEnabled(!m_bBusy && c && !c->changes.empty());
    m_btnUndo->setEnabled(!m_bBusy && c && MayHaveChanged(*c));
    m_btnRetry->setEnabled(!m_bBusy && c && Retryable(*c));
    m_btnRefresh->setEnabled(!m_bBusy);
}
