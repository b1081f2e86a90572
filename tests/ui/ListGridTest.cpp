// The list grid's rows, cells, lookups, check boxes and sorting, driven as the owner and the user
// drive them.
#include <QImage>

#include "GridFixture.h"
#include "ui/ReArrangeText.h"

using namespace uitest;

namespace {

using Texts = std::vector<QString>;

TEST_F(GridTest, HeaderTextMakesColumnsWithTheirMarkers) {
    EXPECT_EQ(grid->SetHeader(QString()), -11);
    EXPECT_EQ(grid->SetHeader(QStringLiteral(" \t  ")), -12);
    EXPECT_EQ(grid->GetColumnCount(), 0);

    EXPECT_EQ(grid->SetHeader(QStringLiteral("  Name\t\t>Count\t^Mid\t<Left  ")), 4);
    ASSERT_EQ(grid->GetColumnCount(), 4);
    const QAbstractItemModel* m = grid->model();
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), "Count");
    EXPECT_EQ(m->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
    EXPECT_EQ(m->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(grid->GetColumn(2)->align, 2);
    EXPECT_EQ(grid->GetColumn(3)->title, "Left");
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grid->GetColumnWidth(c), 70);
        EXPECT_EQ(grid->GetColumn(c)->flags, LGCF_VISIBLE);
    }
    // The stored header text is the trimmed one: the transfer text starts with it.
    EXPECT_EQ(grid->RowTransferText(), "Name\t\t>Count\t^Mid\t<Left");
}

TEST_F(GridTest, RowsKeepTheirTextWhileCellsShowItCleaned) {
    grid->SetHeader(QStringLiteral("A\tB\tC"));
    EXPECT_EQ(grid->InsertRow(QString()), -11);
    EXPECT_EQ(grid->InsertRow(QStringLiteral(" \t ")), -12);
    EXPECT_EQ(grid->InsertRow(QStringLiteral("one\t\tthree")), 0);
    EXPECT_EQ(grid->InsertRow(QStringLiteral("  lead\t  mid\ttail  ")), 1);
    EXPECT_EQ(grid->InsertRow(QStringLiteral("first"), 0), 0);
    ASSERT_EQ(grid->GetItemCount(), 3);

    EXPECT_EQ(grid->GetItemText(1, 1), "    ");  // an empty field shows four blanks
    EXPECT_EQ(grid->GetCellText(1, 1), "");
    EXPECT_EQ(grid->GetCellText(1, -1), "one\t\tthree");
    EXPECT_EQ(grid->GetItemText(2, 0), "lead");
    EXPECT_EQ(grid->GetItemText(2, 1), "mid");
    EXPECT_EQ(grid->GetItemText(2, 2), "tail");  // blanks at the ends of the row are not shown
    EXPECT_EQ(grid->GetCellText(2, 2), "tail  ");
    EXPECT_EQ(grid->GetItemText(0, 1), "");  // no such field: nothing shown
    EXPECT_EQ(grid->GetCellText(0, 1), "");
    EXPECT_EQ(grid->GetCellText(5, 0), "");
    EXPECT_EQ(grid->GetCellText(1, 7), "");
}

TEST_F(GridTest, FindRowComparesStoredTextsExactly) {
    grid->SetHeader(QStringLiteral("No\tName"));
    grid->InsertRow(QStringLiteral(" 12\tx"));
    grid->InsertRow(QStringLiteral("12\ty"));
    grid->InsertRow(QStringLiteral("12\ty"));
    EXPECT_EQ(grid->GetItemText(0, 0), "12");
    EXPECT_EQ(grid->FindRow(QStringLiteral("12"), 0), 1);  // the displayed "12" of row 0 had a blank
    EXPECT_EQ(grid->FindRow(QStringLiteral(" 12"), 0), 0);
    EXPECT_EQ(grid->FindRow(QStringLiteral("12\ty"), -1), 1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("12\tY"), -1), -1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("No\tName"), -1), -1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("z"), 1), -1);

    // The indexes follow changes, removals and sorting.
    grid->SetCellText(QStringLiteral("z"), 2, 1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("z"), 1), 2);
    EXPECT_EQ(grid->FindRow(QStringLiteral("12\tz"), -1), 2);
    grid->DeleteItem(0);
    EXPECT_EQ(grid->FindRow(QStringLiteral(" 12"), 0), -1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("12\tz"), -1), 1);
    grid->SetSortType(1);
    grid->OnColumnclick(1);  // ascending: y, z
    grid->OnColumnclick(1);  // descending: z, y
    EXPECT_EQ(grid->FindRow(QStringLiteral("z"), 1), 0);
    EXPECT_EQ(grid->FindRow(QStringLiteral("12\ty"), -1), 1);
}

TEST_F(GridTest, FindRowByWholeTextTakesTheFirstEntryNotTheFirstDisplayedRow) {
    grid->SetHeader(QStringLiteral("A\tB"));
    grid->InsertRow(QStringLiteral("same\t1"));
    grid->InsertRow(QStringLiteral("other\t2"));
    grid->InsertRow(QStringLiteral("same\t1"), 0);  // a later entry shown first
    EXPECT_EQ(grid->FindRow(QStringLiteral("same\t1"), -1), 1);
    EXPECT_EQ(grid->FindRow(QStringLiteral("same"), 0), 0);
}

TEST_F(GridTest, SetCellTextReplacesOneFieldOrTheWholeText) {
    grid->SetHeader(QStringLiteral("A\tB\tC"));
    grid->InsertRow(QStringLiteral("a\tb\tc"));
    grid->InsertRow(QStringLiteral("only"));

    grid->SetCellText(QStringLiteral("\n\nnew\n"), 0, 1);
    EXPECT_EQ(grid->GetCellText(0, -1), "a\tnew\tc");
    EXPECT_EQ(grid->GetItemText(0, 1), "new");
    grid->SetCellText(QStringLiteral("last"), 0, 2);
    EXPECT_EQ(grid->GetCellText(0, -1), "a\tnew\tlast");
    grid->SetCellText(QString(), 0, 0);
    EXPECT_EQ(grid->GetCellText(0, -1), "\tnew\tlast");
    EXPECT_EQ(grid->GetItemText(0, 0), "    ");

    grid->SetCellText(QStringLiteral("x"), 1, 2);  // a field the row lacks is not made
    EXPECT_EQ(grid->GetCellText(1, -1), "only");
    grid->SetCellText(QStringLiteral("  \t "), 1, -1);  // blank: refused
    EXPECT_EQ(grid->GetCellText(1, -1), "only");
    grid->SetCellText(QStringLiteral("p\tq\tr"), 1, -1);
    EXPECT_EQ(grid->GetItemText(1, 2), "r");
    grid->SetCellText(QStringLiteral("y"), 1, 9, true);  // past the last header position
    EXPECT_EQ(grid->GetCellText(1, -1), "p\tq\tr");
}

TEST_F(GridTest, ClickingAHeaderSortsDescendingFirstOnColumnZeroAscendingElsewhere) {
    Show();
    grid->SetHeader(QStringLiteral("Name\tNo"));
    grid->SetSortType(1);
    for (const char* row : {"b\t9", "C\t10", "a\tx", "B\t-2"}) grid->InsertRow(QString::fromLatin1(row));

    ClickHeader(*grid, 0);
    EXPECT_FALSE(grid->IsSortAscending());
    EXPECT_EQ(Column(0), (Texts{"C", "b", "B", "a"}));  // b and B compare equal and keep their order
    ClickHeader(*grid, 0);
    EXPECT_EQ(Column(0), (Texts{"a", "b", "B", "C"}));

    grid->SetSortType(2);
    ClickHeader(*grid, 1);
    EXPECT_TRUE(grid->IsSortAscending());
    EXPECT_EQ(Column(1), (Texts{"-2", "x", "9", "10"}));  // a text without digits counts as 0
    ClickHeader(*grid, 1);
    EXPECT_EQ(Column(1), (Texts{"10", "9", "x", "-2"}));

    grid->SetSortType(0);  // no sorting at all
    ClickHeader(*grid, 0);
    EXPECT_EQ(Column(1), (Texts{"10", "9", "x", "-2"}));
}

TEST_F(GridTest, SortingKeepsTheSelectionAndChecksWithTheirRows) {
    Show();
    grid->SetHeader(QStringLiteral("Name"));
    grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
    grid->SetSortType(1);
    for (const char* row : {"c", "a", "b"}) grid->InsertRow(QString::fromLatin1(row));
    grid->SetCheck(0, 1);  // c
    grid->SetRowSelected(1, true);  // a
    grid->OnColumnclick(0);
    grid->OnColumnclick(0);  // ascending
    EXPECT_EQ(Column(0), (Texts{"a", "b", "c"}));
    std::vector<int> selected;
    EXPECT_EQ(grid->GetSelectedRows(selected), 1);
    EXPECT_EQ(selected, std::vector<int>{0});
    EXPECT_EQ(grid->GetCheck(2), 1);

    grid->OnColumnclick(-1);  // by check state: ascending, the checked row last
    EXPECT_EQ(grid->GetCellText(2, 0), "c");
    grid->OnColumnclick(-1);
    EXPECT_EQ(grid->GetCellText(0, 0), "c");
}

TEST_F(GridTest, CheckBoxClickZoneEndsFourteenPixelsFromTheLeftEdge) {
    grid->SetHeader(QStringLiteral("Name\tValue"));
    grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
    for (const char* row : {"a", "b", "c"}) grid->InsertRow(QString::fromLatin1(row));
    grid->SetCheck(2, LGCS_LOCKED | LGCS_CHECKED);
    owner.changes.clear();
    Show();

    ClickAt(*grid, CellPoint(*grid, 0, 0, 15));
    EXPECT_EQ(grid->GetCheck(0), 0);
    ClickAt(*grid, CellPoint(*grid, 0, 0, 14));
    EXPECT_EQ(grid->GetCheck(0), 1);
    ClickAt(*grid, CellPoint(*grid, 0, 0, 2));
    EXPECT_EQ(grid->GetCheck(0), 0);
    ClickAt(*grid, CellPoint(*grid, 2, 0, 5));
    EXPECT_EQ(grid->GetCheck(2), 3);  // locked

    ASSERT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(owner.changes[0].iItem, 0);
    EXPECT_EQ(owner.changes[0].uChanged, LGN_CHECKCHANGED);
    EXPECT_EQ(owner.changes[0].uOldState, 0u);
    EXPECT_EQ(owner.changes[0].uNewState, 1u);
    EXPECT_EQ(owner.changes[1].uNewState, 0u);
    // A program's change is reported the same way; setting the same state again is no change.
    grid->SetCheck(1, 2);
    grid->SetCheck(1, 2);
    ASSERT_EQ(owner.changes.size(), 3u);
    EXPECT_EQ(owner.changes[2].iItem, 1);
    EXPECT_EQ(owner.changes[2].uNewState, 2u);
    // Clicking a box selects nothing: row 0 was selected by the click beside its box.
    std::vector<int> selected;
    EXPECT_EQ(grid->GetSelectedRows(selected), 1);
    EXPECT_EQ(selected, std::vector<int>{0});
}

TEST_F(GridTest, ControlClickTogglesEverySelectedUnlockedRow) {
    grid->SetHeader(QStringLiteral("Name"));
    grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
    for (const char* row : {"a", "b", "c", "d"}) grid->InsertRow(QString::fromLatin1(row));
    Show();
    ClickCell(*grid, 0, 0);
    ClickCell(*grid, 1, 0, Qt::ControlModifier);
    std::vector<int> selected;
    ASSERT_EQ(grid->GetSelectedRows(selected), 2);

    ClickAt(*grid, CellPoint(*grid, 0, 0, 6));  // a plain click on a box of the selection
    EXPECT_EQ(grid->GetCheck(0), 0);
    EXPECT_EQ(grid->GetCheck(1), 0);
    ClickAt(*grid, CellPoint(*grid, 0, 0, 6), Qt::ControlModifier);
    EXPECT_EQ(grid->GetCheck(0), 1);
    EXPECT_EQ(grid->GetCheck(1), 1);

    // Mixed: one checked, one unchecked, one locked.
    ClickCell(*grid, 2, 0, Qt::ControlModifier);
    grid->SetCheck(2, LGCS_LOCKED);
    grid->SetCheck(1, 0);
    ClickAt(*grid, CellPoint(*grid, 1, 0, 6), Qt::ControlModifier);
    EXPECT_EQ(grid->GetCheck(0), 0);
    EXPECT_EQ(grid->GetCheck(1), 1);
    EXPECT_EQ(grid->GetCheck(2), LGCS_LOCKED);
    // Control-click on a row outside the selection toggles it and the selection.
    ClickAt(*grid, CellPoint(*grid, 3, 0, 6), Qt::ControlModifier);
    EXPECT_EQ(grid->GetCheck(3), 1);
    EXPECT_EQ(grid->GetCheck(0), 1);
    EXPECT_EQ(grid->GetCheck(1), 0);
}

TEST(ReArrangeText, ShortensToTheLongestFittingStartLessThreeCharacters) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    const QFontMetrics fm(font);
    const QString text = QStringLiteral("Mail Forwarding Suffix");
    EXPECT_EQ(ReArrangeText(fm, text, fm.horizontalAdvance(text) + 1), text);
    // Exactly as wide is not narrower.
    const int width = fm.horizontalAdvance(QStringLiteral("Mail Forw")) + 1;
    EXPECT_EQ(ReArrangeText(fm, text, width), "Mail F...");
    EXPECT_EQ(ReArrangeText(fm, text, fm.horizontalAdvance(text)), text.left(text.size() - 4) + "...");
    EXPECT_EQ(ReArrangeText(fm, text, 1), "M...");
    EXPECT_EQ(ReArrangeText(fm, QStringLiteral("abc"), 1), "a...");
    EXPECT_EQ(ReArrangeText(fm, QString(), 1), "");
}

TEST_F(GridTest, RowsAreDrawnWithGlyphsShadingSelectionAndShortenedTexts) {
    grid->SetHeader(QStringLiteral("Name\tShaded"));
    grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
    grid->SetColumnShaded(1, true);
    grid->InsertRow(QStringLiteral("first\tWWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
    grid->InsertRow(QStringLiteral("second\tx"));
    grid->SetCheck(0, 1);
    Show();
    grid->SetRowSelected(1, true);
    const QImage image = grid->viewport()->grab().toImage();

    const QRect shaded = grid->visualRect(grid->model()->index(0, 1));
    const QColor buttonFace = grid->palette().color(QPalette::Active, QPalette::Button);
    EXPECT_EQ(image.pixelColor(shaded.right() - 2, shaded.bottom() - 1), buttonFace);
    // The shaded text is cut with "..." inside its cell, in the dark red.
    bool darkRed = false;
    for (int x = shaded.left(); x <= shaded.right(); ++x)
        for (int y = shaded.top(); y <= shaded.bottom(); ++y)
            if (image.pixelColor(x, y) == QColor(17, 0, 0)) darkRed = true;
    EXPECT_TRUE(darkRed);
    const QRect selected = grid->visualRect(grid->model()->index(1, 1));
    EXPECT_EQ(image.pixelColor(selected.right() - 2, selected.bottom() - 1), grid->HighlightColor());
    // The check glyph's tick is black; its box frame grey; the reserve is not highlighted.
    const QRect first = grid->visualRect(grid->model()->index(0, 0));
    EXPECT_EQ(image.pixelColor(first.left() + 6, first.top() + 8), QColor(Qt::black));
    const QRect second = grid->visualRect(grid->model()->index(1, 0));
    EXPECT_EQ(image.pixelColor(second.left() + 16, second.top() + 8), grid->WindowColor());
    EXPECT_EQ(image.pixelColor(second.left() + 19, second.bottom() - 1), grid->HighlightColor());
}

}  // namespace
