// The extension list as it is used every day: the keyboard (Space ticks, typing a number goes to
// it), Delete on what its prompt names, nothing clipped in either language, and the list taking
// the room a larger window gives.
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyleOptionComboBox>

#include "WindowFixture.h"
#include "ui/DelExtDlg.h"

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
