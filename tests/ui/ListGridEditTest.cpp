// Editing a cell in place with the owner's editor, the header and row menus, and rows through the
// real clipboard.
#include <QClipboard>
#include <QMimeData>

#include "GridFixture.h"

using namespace uitest;

namespace {

class GridEdit : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        grid->SetHeader(QStringLiteral("Name\tValue\tNote"));
        grid->InsertRow(QStringLiteral("a\t  old\tx"));
        grid->InsertRow(QStringLiteral("b\t\ty"));
        grid->SetColumnEditable(1, true);
        OfferEditor();
        Show();
    }
};

TEST_F(GridEdit, SecondClickOpensTheEditorOverTheCellAndReturnStoresTheText) {
    ClickCell(*grid, 0, 1);
    EXPECT_TRUE(owner.notes.empty());  // the first click only selects
    ClickCell(*grid, 0, 1);
    ASSERT_TRUE(grid->IsEditing());
    const NMLISTGRID* need = owner.Last(LGN_NEEDCTRL);
    ASSERT_NE(need, nullptr);
    EXPECT_EQ(need->iRow, 0);
    EXPECT_EQ(need->iColumn, 1);
    EXPECT_EQ(need->pszText, "old");  // the displayed text without its leading blanks
    EXPECT_EQ(need->cchText, 4);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->parentWidget(), grid->viewport());
    EXPECT_EQ(editor->geometry(), grid->visualRect(grid->model()->index(0, 1)));
    EXPECT_EQ(QApplication::focusWidget(), editor);

    Type(QStringLiteral("  new one "));
    Key(Qt::Key_Return);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_FALSE(editor->isVisible());
    const NMLISTGRID* edit = owner.Last(LGN_EDITITEM);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->pszText, "a\t  old\tx");
    EXPECT_EQ(edit->strExtra, "new one");
    EXPECT_EQ(edit->nExtra, 7);
    EXPECT_EQ(grid->GetCellText(0, -1), "a\tnew one\tx");  // the owner returned 0
}

TEST_F(GridEdit, EmptiedEditorSendsThreeBlanksAndAnUnchangedTextNothing) {
    ClickToEdit(0, 1);
    editor->clear();
    Key(Qt::Key_Return);
    ASSERT_NE(owner.Last(LGN_EDITITEM), nullptr);
    EXPECT_EQ(owner.Last(LGN_EDITITEM)->strExtra, "   ");
    EXPECT_EQ(grid->GetCellText(0, 1), "   ");
    EXPECT_EQ(grid->GetItemText(0, 1), "    ");

    owner.notes.clear();
    ClickToEdit(1, 1);  // an empty cell, emptied again: no change
    ASSERT_TRUE(grid->IsEditing());
    EXPECT_EQ(editor->text(), "");
    Type(QStringLiteral("  "));
    Key(Qt::Key_Return);
    EXPECT_EQ(owner.Last(LGN_EDITITEM), nullptr);

    ClickToEdit(0, 1);
    editor->setText(QStringLiteral(" changed"));
    // The owner applies (or refuses) the change itself: the grid leaves the row alone.
    owner.answer = [](NMLISTGRID& nm) -> intptr_t { return nm.code == LGN_EDITITEM ? 1 : 0; };
    Key(Qt::Key_Return);
    EXPECT_EQ(owner.Last(LGN_EDITITEM)->strExtra, "changed");
    EXPECT_EQ(grid->GetCellText(0, 1), "   ");
}

TEST_F(GridEdit, EscapeAndResizingDropTheEditWithoutANotification) {
    ClickToEdit(0, 1);
    Type(QStringLiteral("typed"));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(owner.Last(LGN_EDITITEM), nullptr);
    EXPECT_EQ(grid->GetCellText(0, 1), "  old");
    EXPECT_TRUE(window->isVisible());

    ClickToEdit(0, 1);
    Type(QStringLiteral("typed"));
    grid->resize(grid->width() - 20, grid->height());
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(owner.Last(LGN_EDITITEM), nullptr);
}

TEST_F(GridEdit, LosingTheFocusEndsTheEdit) {
    auto* other = new QLineEdit(window.get());
    other->setGeometry(0, 285, 100, 14);
    other->show();
    ClickToEdit(1, 1);
    Type(QStringLiteral("kept"));
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_EQ(grid->GetCellText(1, -1), "b\tkept\ty");
}

TEST_F(GridEdit, OnlyAWideEnoughEditableColumnUnderTheMouseOpensAnEditor) {
    ClickToEdit(0, 0);  // the owner offers an editor, but the column is not editable
    EXPECT_NE(owner.Last(LGN_NEEDCTRL), nullptr);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_FALSE(editor->isVisible());

    owner.notes.clear();
    grid->SetColumnWidth(1, 4);
    ClickToEdit(0, 1);
    EXPECT_EQ(owner.Last(LGN_NEEDCTRL), nullptr);
    grid->SetColumnWidth(1, 5);
    ClickToEdit(0, 1);
    EXPECT_TRUE(grid->IsEditing());
    Key(Qt::Key_Escape);

    // On the edge between two columns no column is under the mouse.
    owner.notes.clear();
    grid->SetColumnWidth(1, 70);
    const int edge = grid->columnViewportPosition(1);
    ClickAt(*grid, QPoint(edge, CellPoint(*grid, 0, 1).y()));
    EXPECT_EQ(owner.Last(LGN_NEEDCTRL), nullptr);
    ClickAt(*grid, QPoint(edge + 1, CellPoint(*grid, 0, 1).y()));
    EXPECT_NE(owner.Last(LGN_NEEDCTRL), nullptr);
    Key(Qt::Key_Escape);

    // The owner may refuse.
    owner.notes.clear();
    owner.answer = [](NMLISTGRID&) -> intptr_t { return 0; };
    ClickToEdit(0, 1);
    EXPECT_NE(owner.Last(LGN_NEEDCTRL), nullptr);
    EXPECT_FALSE(grid->IsEditing());
}

TEST_F(GridEdit, HeaderMenuSortsAndIsDisabledBelowTwoRows) {
    grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
    grid->SetSortType(1);
    grid->InsertRow(QStringLiteral("c\tv\tz"));
    grid->SetCheck(1, 1);
    QHeaderView* header = grid->horizontalHeader();
    bool enabled = false;
    SubmenuChoice chooser(QStringLiteral("&Sort by"), QStringLiteral("&Checkbox"));
    RightClick(header->viewport(), QPoint(10, header->height() / 2));
    EXPECT_TRUE(chooser.Done());
    EXPECT_EQ(chooser.entries, (QStringList{"&Checkbox", "Name*", "Value", "Note"}));
    EXPECT_TRUE(chooser.submenuEnabled);
    EXPECT_EQ(grid->GetSortColumn(), -1);
    EXPECT_EQ(grid->GetCellText(2, 0), "b");  // the checked row last

    grid->DeleteItem(0);
    grid->DeleteItem(0);
    Poller look([&] {
        QMenu* menu = ActivePopup();
        if (!menu) return false;
        enabled = FindAction(menu, QStringLiteral("&Sort by"))->isEnabled();
        menu->close();
        return true;
    });
    RightClick(header->viewport(), QPoint(10, header->height() / 2));
    EXPECT_FALSE(enabled);
}

TEST_F(GridEdit, HiddenColumnLeavesTheHeaderPositionsAndKeepsItsFields) {
    grid->SetExtendedStyle(LGS_EX_HIDECOLUMN);
    QHeaderView* header = grid->horizontalHeader();
    SubmenuChoice hide(QStringLiteral("&Hide Column"), QStringLiteral("Value"));
    RightClick(header->viewport(), QPoint(10, header->height() / 2));
    EXPECT_EQ(hide.entries, (QStringList{"Value*", "Note*"}));  // never the first column
    EXPECT_TRUE(grid->isColumnHidden(1));
    EXPECT_FALSE(grid->GetColumn(1)->flags & LGCF_VISIBLE);
    EXPECT_EQ(grid->GetColumnCount(), 2);
    EXPECT_EQ(grid->GetLogicalColumn(1), 2);
    EXPECT_EQ(grid->GetCellText(0, 1, true), "x");  // header position 1 is now the Note column
    EXPECT_EQ(grid->GetCellText(0, 1), "  old");
    grid->SetCellText(QStringLiteral("y2"), 0, 1, true);
    EXPECT_EQ(grid->GetCellText(0, -1), "a\t  old\ty2");

    grid->SetColumnWidth(2, 50);
    grid->ShowColumn(1);
    EXPECT_FALSE(grid->isColumnHidden(1));
    EXPECT_EQ(grid->GetColumnWidth(1), 70);
    EXPECT_EQ(grid->GetItemText(0, 1), "old");
}

TEST_F(GridEdit, RowMenuOffersTheClipboardOnlyWhenSwitchedOnAndEditsTheFocusedRow) {
    QStringList entries;
    std::vector<bool> enabled;
    auto readMenu = [&](bool chooseEdit) {
        return [&, chooseEdit] {
            QMenu* menu = ActivePopup();
            if (!menu) return false;
            entries.clear();
            enabled.clear();
            for (QAction* a : menu->actions()) {
                entries.append(a->isSeparator() ? QStringLiteral("-") : a->text());
                if (!a->isSeparator()) enabled.push_back(a->isEnabled());
            }
            if (chooseEdit) ClickAction(menu, FindAction(menu, QStringLiteral("Edit Value")));
            else menu->close();
            return true;
        };
    };
    {
        Poller p(readMenu(false));
        RightClick(grid->viewport(), CellPoint(*grid, 0, 0));
    }
    EXPECT_EQ(entries, (QStringList{"Cut", "Copy", "Paste", "-", "Edit Value"}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, false, false}));  // no focused row yet

    grid->SetExtendedStyle(LGS_EX_CLIPBOARD);
    QApplication::clipboard()->clear();
    ClickCell(*grid, 1, 0);
    {
        Poller p(readMenu(true));
        QCursor::setPos(grid->viewport()->mapToGlobal(QPoint(5, 150)));  // not over the header
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), grid->viewport()->mapToGlobal(QPoint(0, 0)));
        QApplication::sendEvent(grid->viewport(), &key);
    }
    EXPECT_EQ(enabled, (std::vector<bool>{true, true, false, true}));
    ASSERT_TRUE(grid->IsEditing());
    EXPECT_EQ(owner.Last(LGN_NEEDCTRL)->iRow, 1);
    EXPECT_EQ(owner.Last(LGN_NEEDCTRL)->iColumn, 1);
}

TEST_F(GridEdit, TwoRowsCopiedThroughTheClipboardArePastedIntoAGridOfTheSameColumns) {
    ClickCell(*grid, 0, 0);
    ClickCell(*grid, 1, 0, Qt::ControlModifier);
    QApplication::clipboard()->clear();
    grid->Copy();  // switched off: nothing happens
    const QMimeData* before = QApplication::clipboard()->mimeData();
    EXPECT_TRUE(!before || !before->hasFormat(QStringLiteral("ListGrid")));

    grid->SetExtendedStyle(LGS_EX_CLIPBOARD);
    grid->Copy();
    const QString transfer = QStringLiteral("Name\tValue\tNote\r\na\t  old\tx\r\nb\t\ty");
    const QMimeData* data = QApplication::clipboard()->mimeData();
    EXPECT_EQ(QString::fromUtf8(data->data(QStringLiteral("ListGrid"))), transfer);
    EXPECT_EQ(data->text(), transfer);

    RecordingOwner otherOwner;
    otherOwner.answer = [](NMLISTGRID& nm) -> intptr_t {
        if (nm.code == LGN_PASTEROW && nm.strExtra.startsWith(QLatin1Char('b'))) nm.strExtra = QStringLiteral("B\trewritten");
        return 0;
    };
    CListGrid other(window.get(), 2000, &otherOwner);
    other.SetHeader(QStringLiteral("Name\tValue\tNote"));
    other.SetExtendedStyle(LGS_EX_CLIPBOARD);
    other.InsertRow(QStringLiteral("z\t1\t2"));
    other.Paste();
    ASSERT_EQ(other.GetItemCount(), 3);
    EXPECT_EQ(other.GetCellText(1, -1), "a\t  old\tx");
    EXPECT_EQ(other.GetCellText(2, -1), "B\trewritten");
    EXPECT_EQ(otherOwner.Codes(), (std::vector<int>{LGN_PASTEBEGIN, LGN_PASTEROW, LGN_PASTEROW, LGN_PASTEEND}));
    EXPECT_EQ(otherOwner.notes[1].nExtra, 9 + 200);

    // Rows of other columns are not taken.
    CListGrid third(window.get(), 3000, &otherOwner);
    third.SetHeader(QStringLiteral("Name\tValue"));
    third.SetExtendedStyle(LGS_EX_CLIPBOARD);
    third.Paste();
    EXPECT_EQ(third.GetItemCount(), 0);
}

TEST_F(GridEdit, CutRemovesTheSelectedRowsWithTheirNotifications) {
    grid->InsertRow(QStringLiteral("c\t1\t2"));
    grid->SetExtendedStyle(LGS_EX_CLIPBOARD);
    ClickCell(*grid, 0, 0);
    ClickCell(*grid, 2, 0, Qt::ControlModifier);
    grid->Cut();
    ASSERT_EQ(grid->GetItemCount(), 1);
    EXPECT_EQ(grid->GetCellText(0, 0), "b");
    EXPECT_EQ(owner.Codes(), (std::vector<int>{LGN_DELETEBEGIN, LGN_ROWDELETED, LGN_ROWDELETED}));
    EXPECT_EQ(owner.notes[1].pszText, "a\t  old\tx");
    EXPECT_EQ(owner.notes[2].pszText, "c\t1\t2");
    EXPECT_EQ(owner.notes[2].cchText, 6);
    EXPECT_EQ(QApplication::clipboard()->text(), "Name\tValue\tNote\r\na\t  old\tx\r\nc\t1\t2");
    EXPECT_EQ(grid->FindRow(QStringLiteral("c\t1\t2"), -1), -1);
}

}  // namespace
