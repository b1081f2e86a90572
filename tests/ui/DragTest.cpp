// Selected rows dragged out of a grid onto a window that asks for a move, on a real X server
// (Xvfb): the rows leave as a copy unless the owner lets rows be cut.
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>

#include "GridFixture.h"
#include "ui/DlgSelServer.h"

using namespace uitest;

namespace {

// A window that takes dropped text and always asks for a move.
class MoveTarget : public QWidget {
public:
    MoveTarget() {
        setAcceptDrops(true);
        setGeometry(700, 0, 200, 200);
    }
    QString text;
    Qt::DropActions offered;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override { Ask(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { Ask(e); }
    void dropEvent(QDropEvent* e) override {
        text = QString::fromUtf8(e->mimeData()->data(QStringLiteral("ListGrid")));
        offered = e->possibleActions();
        Ask(e);
    }

private:
    static void Ask(QDropEvent* e) {
        e->setDropAction(Qt::MoveAction);
        e->accept();
    }
};

// Presses on a selected row, pulls it out and lets go over the target.
void DragRows(CListGrid& grid, int row, MoveTarget& target) {
    QWindow* window = target.windowHandle();
    Poller drop([window, &grid] {
        if (!grid.findChild<QDrag*>()) return false;  // not dragging yet
        QTest::mouseMove(window, QPoint(50, 50));
        QTest::mouseMove(window, QPoint(60, 60));
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
        return true;
    });
    // Through the window, as the platform delivers a press and a move.
    QWidget* top = grid.window();
    const QPoint from = grid.viewport()->mapTo(top, CellPoint(grid, row, 0));
    QTest::mousePress(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(top->windowHandle(), from + QPoint(2, 2));  // a drag begins...
    QTest::mouseMove(top->windowHandle(), from + QPoint(30, 30));  // ...and leaves its start
    EXPECT_TRUE(drop.Done());
}

class Drag : public GridTest {
protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        GridTest::SetUp();
        grid->SetHeader(QStringLiteral("Name\tValue"));
        for (const char* row : {"a\t1", "b\t2", "c\t3"}) grid->InsertRow(QString::fromLatin1(row));
        Show();
        target.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
        ClickCell(*grid, 0, 0);
        ClickCell(*grid, 1, 0, Qt::ControlModifier);
    }
    MoveTarget target;
};

TEST_F(Drag, RowsLeaveAsACopyWhenTheOwnerLetsNoRowsBeCut) {
    Qt::DropAction done = Qt::IgnoreAction;
    QObject::connect(grid, &CListGrid::dragDone, [&](Qt::DropAction a) { done = a; });
    DragRows(*grid, 1, target);
    EXPECT_EQ(target.text, "Name\tValue\r\na\t1\r\nb\t2");
    EXPECT_EQ(target.offered, Qt::DropActions(Qt::CopyAction));
    EXPECT_EQ(done, Qt::CopyAction);
    EXPECT_EQ(grid->GetItemCount(), 3);
    EXPECT_TRUE(owner.notes.empty());
}

TEST_F(Drag, RowsMoveOutWhenTheOwnerLetsRowsBeCut) {
    grid->SetExtendedStyle(LGS_EX_CLIPBOARD);
    DragRows(*grid, 1, target);
    EXPECT_EQ(target.offered, Qt::CopyAction | Qt::MoveAction);
    ASSERT_EQ(grid->GetItemCount(), 1);
    EXPECT_EQ(grid->GetCellText(0, -1), "c\t3");
    EXPECT_EQ(owner.Codes(), (std::vector<int>{LGN_DELETEBEGIN, LGN_ROWDELETED, LGN_ROWDELETED}));
    EXPECT_EQ(owner.notes[1].pszText, "a\t1");
}

// In Select Servers a row's place is its site's place: a row dragged out must not take the
// sites after it out of step with their names and passwords.
TEST_F(Drag, SelectServersKeepsEverySiteInItsRowAfterADrag) {
    CDlgSelServer dlg;
    dlg.m_saServers = {"North", "South", "East"};
    dlg.m_saPasswords = {"", "", ""};
    dlg.setModal(false);  // the target stands for another program, which a modal dialog does not block
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CListGrid& sites = *dlg.m_listServers;
    ClickCell(sites, 0, 0);
    DragRows(sites, 0, target);
    EXPECT_EQ(target.text, "Name\tPassword\r\nNorth\t");
    ASSERT_EQ(sites.GetItemCount(), 3);

    Reactivate(&dlg);
    ClickCell(sites, 1, 1);
    ClickCell(sites, 1, 1);
    ASSERT_TRUE(sites.IsEditing());
    Type(QStringLiteral("south"));
    Key(Qt::Key_Return);
    ClickCell(sites, 1, 0);
    ClickCell(sites, 2, 0, Qt::ControlModifier);
    QTest::mouseClick(dlg.GetDlgItem(1), Qt::LeftButton);
    EXPECT_EQ(dlg.m_saServers, (std::vector<std::string>{"South", "East"}));
    EXPECT_EQ(dlg.m_saPasswords, (std::vector<std::string>{"", "south", ""}));
}

}  // namespace
