// The extension list as it is used every day: the keyboard (Space ticks, typing a number goes to
// it), Delete on what its prompt names, nothing clipped in either language, and the list taking
// the room a larger window gives.
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QSplitter>
#include <QStyleOptionComboBox>

#include "DarkPalette.h"
#include "WindowFixture.h"
#include "platform/AppProfile.h"
#include "ui/DelExtDlg.h"
#include <QScreen>

using namespace apptest;

namespace {

class ListView : public Window {
protected:
    int Current() { return grid->GetFocusedRow(); }
    std::string CurrentNumber() { return grid->GetCellText(Current(), 0).toStdString(); }
    // What a cell needs to show its text whole: the text, the grid's insets, the check box in
    // the first column.
    int CellNeed(int row, int column) {
        const int text = grid->fontMetrics().horizontalAdvance(grid->GetItemText(row, column).trimmed());
        return text + 4 + (column == 0 ? 18 : 0);
    }
    // The columns (with their need) that cannot show their title or a cell whole.
    QStringList Clipped() {
        QStringList out;
        for (int c = 0; c < grid->GetColumnCount(); ++c) {
            int need = grid->horizontalHeader()->sectionSizeHint(c);
            for (int r = 0; r < grid->GetItemCount(); ++r) need = std::max(need, CellNeed(r, c));
            if (grid->GetColumnWidth(c) < need)
                out << QStringLiteral("%1: %2 < %3").arg(grid->GetColumn(c)->title).arg(grid->GetColumnWidth(c)).arg(need);
        }
        return out;
    }
};

TEST_F(ListView, SpaceTicksTheSelectedRowsAndTypingANumberGoesToItsRow) {
    StartAndDownload();
    ClickCell(*grid, Row("101"), 2);
    ASSERT_EQ(CurrentNumber(), "101");
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Check("101"), 1);
    EXPECT_EQ(CurrentNumber(), "101");  // the selection stays where it was
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Check("101"), 0);

    // Several rows: the free ones are ticked, then unticked together; a locked one never changes.
    ClickCell(*grid, Row("102"), 2, Qt::ControlModifier);
    ClickCell(*grid, Row("105"), 2, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Checks({"101", "102", "105"}), (std::vector<int>{1, 1, 2}));
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Checks({"101", "102", "105"}), (std::vector<int>{0, 0, 2}));

    // Digits typed in a row go to the number that starts with them, and select it alone.
    QTest::keyClicks(grid, QStringLiteral("30"));
    EXPECT_EQ(CurrentNumber(), "300");
    std::vector<int> selected;
    grid->GetSelectedRows(selected);
    EXPECT_EQ(selected, std::vector<int>{Row("300")});
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(grid, QStringLiteral("104"));
    EXPECT_EQ(CurrentNumber(), "104");
    // Sorted by first name, the number is still what is searched.
    grid->OnColumnclick(2);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(grid, QStringLiteral("106"));
    EXPECT_EQ(CurrentNumber(), "106");
    // While a command runs Space changes nothing.
    grid->SetChangesLocked(true);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Check("106"), 2);
    EXPECT_EQ(CurrentNumber(), "106");
    grid->SetChangesLocked(false);
}

TEST_F(ListView, DeleteActsOnTheCheckedRowsElseTheSelectedAndLeavesAVisibleSelection) {
    StartAndDownload();
    EXPECT_EQ(frame->Command(ID_DELETE_EXT)->statusTip(), "Delete the checked extensions, or the selected ones when none is checked");
    grid->SetCheck(Row("101"), 1);
    grid->SetCheck(Row("102"), 1);
    ClickCell(*grid, Row("104"), 2);  // focused and selected, but not checked
    std::vector<std::string> asked;
    {
        MessageBoxes ok(IDOK);
        Poller everywhere([&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<CDelExtDlg*>(w);
                if (!d || !d->isVisible()) continue;
                asked.push_back(d->m_strExtNo);
                QTest::mouseClick(d->GetDlgItem(1022), Qt::LeftButton);
                QTest::mouseClick(d->GetDlgItem(1), Qt::LeftButton);
            }
            return false;
        });
        Click(ID_DELETE_EXT);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"101", "102"}));
    EXPECT_EQ(Row("101"), -1);
    EXPECT_EQ(Row("102"), -1);
    EXPECT_NE(Row("104"), -1);
    EXPECT_FALSE(Holds(North(), "101"));
    EXPECT_FALSE(Holds(North(), "102"));
    EXPECT_TRUE(Holds(East(), "104"));

    // None checked: the selected row. Afterwards the row now in its place has the focus and is
    // selected, so the next Delete names what the user sees.
    const int at = Row("104");
    {
        NextDialog<CDelExtDlg> scope([](CDelExtDlg& d) {
            QTest::mouseClick(d.GetDlgItem(1022), Qt::LeftButton);
            QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
        });
        Click(ID_DELETE_EXT);
        EXPECT_EQ(scope.seen, 1);
    }
    EXPECT_EQ(Row("104"), -1);
    EXPECT_FALSE(Holds(East(), "104"));
    ASSERT_GE(Current(), 0);
    EXPECT_EQ(Current(), std::min(at, grid->GetItemCount() - 1));
    EXPECT_TRUE(grid->IsRowSelected(Current()));

    // Cancel on one number's question stops the rest: nothing more is asked or deleted.
    grid->SetCheck(Row("106"), 1);
    grid->SetCheck(Row("300"), 1);
    int questions = 0;
    {
        Poller cancel([&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<CDelExtDlg*>(w);
                if (!d || !d->isVisible()) continue;
                ++questions;
                d->reject();
            }
            return false;
        });
        Click(ID_DELETE_EXT);
    }
    EXPECT_EQ(questions, 1);
    EXPECT_NE(Row("106"), -1);
    EXPECT_NE(Row("300"), -1);
    EXPECT_TRUE(Holds(North(), "106"));
    EXPECT_TRUE(Holds(North(), "300"));
}

TEST_F(ListView, ColumnsShowTheirTitlesAndCellsWholeInBothLanguagesAndTheBoxesStayInSight) {
    StartAndDownload();
    EXPECT_EQ(Clipped(), QStringList());
    // At the default size and after any resize the first column, with its check boxes, is in sight.
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    frame->resize(640, 480);
    QTest::qWait(20);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    frame->resize(1000, 700);
    QTest::qWait(20);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);

    // The Home Server editor is as wide as its longest entry.
    QComboBox* combo = OpenHomeEditor("106");
    ASSERT_NE(combo, nullptr);
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
    EXPECT_GE(field.width(), combo->fontMetrics().horizontalAdvance(QStringLiteral("East (HQ)(Virtual)")));
    QTest::keyClick(combo, Qt::Key_Escape);

    app.reset();
    UseLanguage(true);
    StartAndDownload();
    EXPECT_EQ(grid->GetColumn(7)->title, QString::fromUtf8("分机数"));
    EXPECT_EQ(Clipped(), QStringList());
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
}

TEST_F(ListView, ALargerWindowGivesTheListTheRoomAndTheLogKeepsItsHeight) {
    Start();
    const QList<int> before = frame->GetSplitter()->sizes();
    frame->resize(frame->width() + 200, frame->height() + 400);
    QTest::qWait(20);
    const QList<int> after = frame->GetSplitter()->sizes();
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[0], before[0] + 400);
}

}  // namespace

namespace {

class ListTools : public Window {
protected:
    int Shown() { return grid->ShownRowCount(); }
};

TEST_F(ListTools, TheFilterShowsWhatIsTypedAndTheQuickFiltersWithTheirCount) {
    StartAndDownload();
    QTest::qWait(150);  // the count is brought up to date a few times a second
    EXPECT_EQ(view->CountText(), "6 of 6 rows, 0 checked");
    QTest::keyClicks(view->m_editFilter, QStringLiteral("10"));
    EXPECT_EQ(Shown(), 5);  // 101, 102, 104, 105, 106
    EXPECT_FALSE(grid->IsRowShown(Row("300")));
    EXPECT_EQ(view->CountText(), "5 of 6 rows, 0 checked");
    view->SetFilterText(QStringLiteral("ann"));  // a name, in any letter case
    EXPECT_EQ(Shown(), 1);
    EXPECT_TRUE(grid->IsRowShown(Row("101")));
    view->SetFilterText({});

    view->m_checkUnsynchronized->setChecked(true);
    for (const char* n : {"101", "102", "104", "300"}) EXPECT_TRUE(grid->IsRowShown(Row(n))) << n;
    EXPECT_FALSE(grid->IsRowShown(Row("106")));  // synchronized
    view->m_checkUnsynchronized->setChecked(false);

    grid->SetCheck(Row("102"), 1);
    view->m_checkChecked->setChecked(true);
    QTest::qWait(150);  // the count is brought up to date a few times a second
    EXPECT_EQ(view->CountText(), "1 of 6 rows, 1 checked");
    // Ticking a row shown by the filter, or unticking it, takes effect at once.
    grid->SetCheck(Row("101"), 1);
    EXPECT_TRUE(grid->IsRowShown(Row("101")));
    grid->SetCheck(Row("101"), 0);
    EXPECT_FALSE(grid->IsRowShown(Row("101")));
    view->m_checkChecked->setChecked(false);

    QTest::qWait(150);  // the count is brought up to date a few times a second
    const int east = view->m_comboFilterHome->findText(QStringLiteral("East (HQ)"));
    ASSERT_GT(east, 0);
    view->m_comboFilterHome->setCurrentIndex(east);
    EXPECT_EQ(Shown(), 1);
    EXPECT_TRUE(grid->IsRowShown(Row("104")));
    // Select All and Space reach only the rows shown.
    grid->SelectAll();
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(Checks({"104", "101", "106"}), (std::vector<int>{1, 0, 2}));
    view->m_comboFilterHome->setCurrentIndex(0);
    EXPECT_EQ(Shown(), 6);

    // The header shows how the list is sorted.
    ClickHeader(*grid, 2);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(*grid, 2);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ListTools, CopyAndExportTakeTheRowsAndColumnsAsShown) {
    StartAndDownload();
    ClickCell(*grid, Row("101"), 2);
    ClickCell(*grid, Row("102"), 2, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const QString heading = QStringLiteral(
        "Ext. No.\tType\tFirst Name\tLast Name\tEMail Name\tSync. Status\tHome Server\t# of Extension\t# of Group\n");
    EXPECT_EQ(QApplication::clipboard()->text(), heading +
                                                     "101\tExtension\tAnn\t\text101\tUnsynchronized\tNorth\t1\t0\n"
                                                     "102\tExtension\t\t\text102\tUnsynchronized\tNorth\t1\t0\n");

    // The columns in the order the user dragged them to, the rows the filter lets through.
    grid->horizontalHeader()->moveSection(6, 1);
    view->SetFilterText(QStringLiteral("10"));
    const std::string path = work.file("list.csv");
    NextDialog<QFileDialog> save([&](QFileDialog& d) {
        d.selectFile(QString::fromStdString(path));
        static_cast<QDialog&>(d).accept();
    });
    frame->Command(ID_EXPORT_CSV)->trigger();
    ASSERT_EQ(save.seen, 1);
    const std::string csv = work.Read("list.csv");
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(csv.substr(3, csv.find("\r\n") - 1),
              "Ext. No.,Home Server,Type,First Name,Last Name,EMail Name,Sync. Status,# of Extension,# of Group\r\n");
    EXPECT_NE(csv.find("\r\n104,East (HQ),Extension,,,ext104,Unsynchronized,1,0\r\n"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("300,"), std::string::npos);
    size_t lines = 0;
    for (char c : csv) lines += c == '\n';
    EXPECT_EQ(lines, 6u);
    EXPECT_EQ(frame->StatusText(), QString::fromStdString("5 rows written to " + path + "."));
}

TEST_F(ListTools, CommandsHaveStandardKeysNamedInTheirTipsAndMenusAndEveryPaneIsReached) {
    StartAndDownload();
    QStringList menus;
    for (QAction* a : frame->menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&Sites", "&Help"}));
    EXPECT_EQ(frame->Command(ID_FILE_PRINT)->shortcut(), QKeySequence(QKeySequence::Print));
    EXPECT_EQ(frame->Command(ID_DELETE_EXT)->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(frame->Command(ID_SITES_DOWNLOAD)->toolTip(), "Sites Download (F5)");
    EXPECT_EQ(frame->Command(ID_SYNCHRONIZE)->toolTip(), "Synchronize (F9)");
    EXPECT_EQ(frame->Command(ID_EDIT_MAP)->toolTip(), "Map (Ctrl+M)");
    EXPECT_EQ(frame->Command(ID_OPTIONS)->toolTip(), "Options (Ctrl+,)");
    QMenu* sitesMenu = frame->menuBar()->findChild<QMenu*>(QStringLiteral("menuSites"));
    ASSERT_NE(sitesMenu, nullptr);
    EXPECT_TRUE(sitesMenu->actions().contains(frame->Command(ID_SYNCHRONIZE)));

    Reactivate(frame);
    {
        NextDialog<CDlgSelServer> none([](CDlgSelServer& d) { d.reject(); });
        QTest::keyClick(grid, Qt::Key_F5);
        EXPECT_EQ(none.seen, 1);
    }
    Reactivate(frame);
    ClickCell(*grid, Row("104"), 2);
    {
        NextDialog<CDelExtDlg> none([](CDelExtDlg& d) { d.reject(); });
        QTest::keyClick(grid, Qt::Key_Delete);
        EXPECT_TRUE(Eventually([&] { return none.seen == 1; }));
        WaitIdle();
        EXPECT_GE(Row("104"), 0);
    }
    Reactivate(frame);
    // Home and End: the first and last row.
    QTest::keyClick(grid, Qt::Key_End);
    EXPECT_EQ(grid->GetFocusedRow(), grid->GetItemCount() - 1);
    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_EQ(grid->GetFocusedRow(), 0);
    // F6: the list, the log, the toolbar, and back; Ctrl+F: the filter.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), frame->GetLogView());
    QTest::keyClick(frame->GetLogView(), Qt::Key_F6);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->parentWidget(), frame->GetToolBar());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), grid);
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), view->m_editFilter);
}

}  // namespace

namespace {

class Layout : public Window {};

TEST_F(Layout, TheWindowTheSplitTheColumnsTheSortAndTheLastSitesAreKeptBetweenRuns) {
    Start();
    frame->resize(760, 560);
    frame->move(20, 15);
    QTest::qWait(20);
    frame->GetSplitter()->setSizes({300, 150});
    const int list = frame->GetSplitter()->sizes().value(0);
    grid->horizontalHeader()->resizeSection(2, 150);  // as the user drags it
    grid->horizontalHeader()->moveSection(6, 1);
    ASSERT_EQ(Download({1, 0}), 1);
    ClickHeader(*grid, 3);
    ClickHeader(*grid, 3);  // by last name, descending
    const QString order = grid->GetCellText(0, 0);
    app.reset();

    Start();
    EXPECT_EQ(frame->size(), QSize(760, 560));
    EXPECT_EQ(frame->pos(), QPoint(20, 15));
    EXPECT_EQ(frame->GetSplitter()->sizes().value(0), list);
    EXPECT_EQ(grid->GetColumnWidth(2), 150);
    EXPECT_EQ(grid->horizontalHeader()->visualIndex(6), 1);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), 3);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    // The sites chosen last come selected; the next download's rows come in the kept order.
    std::vector<int> preselected;
    NextDialog<CDlgSelServer> look([&](CDlgSelServer& d) {
        d.m_listServers->GetSelectedRows(preselected);
        for (size_t i = 0; i < d.m_saPasswords.size(); ++i) d.m_saPasswords[i] = "pw";
        QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
    });
    Click(ID_SITES_DOWNLOAD);
    EXPECT_EQ(preselected, (std::vector<int>{0, 1}));
    ASSERT_EQ(grid->GetItemCount(), 6);
    EXPECT_EQ(grid->GetCellText(0, 0), order);
    // A column the program sized still grows for a wider text; the one the user sized does not.
    EXPECT_FALSE(grid->IsColumnUserSized(5));
    EXPECT_TRUE(grid->IsColumnUserSized(2));
}

TEST_F(Layout, AWindowKeptForAScreenNoLongerThereComesBackOnTheScreen) {
    ASSERT_TRUE(platform::WriteProfileString("WindowPlacement", "5000,4000,3000,2500,0"));
    Start();
    const QRect avail = frame->screen()->availableGeometry();
    EXPECT_TRUE(avail.contains(frame->frameGeometry())) << frame->geometry().x() << "," << frame->geometry().y() << " "
                                                   << frame->width() << "x" << frame->height() << " in "
                                                   << avail.width() << "x" << avail.height() << " min "
                                                   << frame->minimumSizeHint().height();
    EXPECT_LE(frame->width(), avail.width());
}

}  // namespace

namespace {

// A dark theme: Fusion with a dark palette, or a dark style sheet. The list's text, the ticks and
// the toolbar's pictures are drawn in the theme's light ink, never in a fixed black.
class Themes : public Window {
protected:
    void SetUp() override {
        Window::SetUp();
        m_style = QApplication::style()->name();
        m_palette = QApplication::palette();
    }
    void TearDown() override {
        app.reset();
        qApp->setStyleSheet(QString());
        QApplication::setStyle(m_style);
        QApplication::setPalette(m_palette);
        Window::TearDown();
    }
    // The lightest pixel of an area of an image.
    static int Lightest(const QImage& image, const QRect& area) {
        int most = 0;
        for (int x = area.left(); x <= area.right(); ++x)
            for (int y = area.top(); y <= area.bottom(); ++y) most = std::max(most, image.pixelColor(x, y).lightness());
        return most;
    }
    void CheckLightInk(const char* theme) {
        StartAndDownload();
        grid->SetCheck(Row("101"), 1);
        QTest::qWait(20);
        const QImage image = grid->viewport()->grab().toImage();
        const QRect name = grid->visualRect(grid->model()->index(Row("101"), 2));
        EXPECT_LT(image.pixelColor(name.right() - 2, name.bottom() - 2).lightness(), 80) << theme << ": a dark cell";
        EXPECT_GT(Lightest(image, name.adjusted(2, 2, -2, -2)), 170) << theme << ": the name in light ink";
        const QRect box = grid->visualRect(grid->model()->index(Row("101"), 0));
        EXPECT_GT(Lightest(image, QRect(box.left() + 4, box.top() + 5, 8, 7)), 170) << theme << ": the tick";
        for (int id : {ID_SITES_DOWNLOAD, ID_OPTIONS, ID_FILE_PRINT}) {
            const QImage icon = frame->Command(id)->icon().pixmap(32, 32).toImage();
            EXPECT_GT(Lightest(icon, icon.rect()), 170) << theme << ": icon " << id;
        }
    }
    QString m_style;
    QPalette m_palette;
};

TEST_F(Themes, FusionWithADarkPalette) {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(DarkPalette());
    CheckLightInk("dark palette");
}

TEST_F(Themes, ADarkStyleSheet) {
    qApp->setStyleSheet(QStringLiteral("QWidget { background-color: #1e1e1e; color: #e6e6e6; }"
                                       "QAbstractItemView { selection-background-color: #3050a0; }"));
    CheckLightInk("dark style sheet");
}

}  // namespace
