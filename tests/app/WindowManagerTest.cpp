// The window on a desktop: an X server with a window manager (openbox), where a drop-down list's
// popup is a window of its own that takes the focus, and the pointer really moves.
#include <QCursor>
#include <QStatusBar>
#include <QStyleOptionComboBox>

#include "WindowFixture.h"

using namespace apptest;

namespace {

class Desktop : public Window {
protected:
    // The pointer moved over a widget's point, as the mouse does.
    static void PointAt(QWidget* w, QPoint p) {
        QCursor::setPos(w->mapToGlobal(p));
        QTest::qWait(60);
    }
    QRect ArrowOf(QComboBox* combo) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        return combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, combo);
    }
};

TEST_F(Desktop, TheHomeServerListOpensByItsArrowAndByAltDownAndItsChoiceIsTaken) {
    StartAndDownload();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    QComboBox* combo = OpenHomeEditor("106");
    ASSERT_NE(combo, nullptr);
    QTest::mouseClick(combo, Qt::LeftButton, Qt::NoModifier, ArrowOf(combo).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }, 3000)) << "the list did not open";
    QTest::qWait(300);  // the window manager has given the popup the focus
    EXPECT_TRUE(grid->IsEditing());
    EXPECT_TRUE(combo->isVisible());
    // The choice made in the open list is the cell's.
    const int east = combo->findText(QStringLiteral("East (HQ)(Virtual)"));
    combo->view()->setCurrentIndex(combo->model()->index(east, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !combo->view()->isVisible(); }, 3000));
    QTest::qWait(100);
    EXPECT_TRUE(grid->IsEditing());  // the list closed; the editor is still open
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(Cell("106", 6), "East (HQ)");

    combo = OpenHomeEditor("101");
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }, 3000)) << "Alt+Down did not open the list";
    QTest::qWait(300);
    EXPECT_TRUE(grid->IsEditing());
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !combo->view()->isVisible(); }, 3000));
    // Leaving the editor for another window still ends it.
    QTest::mouseClick(frame->GetLogView()->viewport(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !grid->IsEditing(); }, 3000));
    EXPECT_EQ(Cell("101", 6), "North");
}

TEST_F(Desktop, TheOutcomeStaysWhileThePointerMovesOverTheWindow) {
    StartAndDownload();
    ASSERT_EQ(frame->StatusText(), "Ready for synchronization");
    PointAt(grid->viewport(), CellPoint(*grid, 0, 2));
    PointAt(grid->viewport(), CellPoint(*grid, 3, 5));
    PointAt(frame->GetLogView()->viewport(), QPoint(20, 10));
    // Over a button its prompt shows; off it, the outcome is back.
    PointAt(Button(ID_SYNCHRONIZE), QPoint(10, 10));
    EXPECT_EQ(frame->StatusText(), "Synchronize checked extensions ");
    PointAt(frame->GetLogView()->viewport(), QPoint(30, 10));
    PointAt(grid->viewport(), CellPoint(*grid, 1, 1));
    PointAt(frame->statusBar(), QPoint(5, 5));
    EXPECT_EQ(frame->StatusText(), "Ready for synchronization");
}

}  // namespace
