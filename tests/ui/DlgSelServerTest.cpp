// The Select Servers dialog: passwords shown and typed as asterisks, at least two sites chosen,
// the chosen names in list order and the passwords still one per site.
#include <QLineEdit>
#include <QPushButton>

#include "UiDriver.h"
#include "ui/DlgSelServer.h"

using namespace uitest;

namespace {

class SelServer : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        dlg = std::make_unique<CDlgSelServer>();
        dlg->m_saServers = {"North", "South", "East"};
        dlg->m_saPasswords = {"", "abcde", "x"};
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        grid = dlg->m_listServers;
    }
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    void ClickToEdit(int row, int column) {
        ClickCell(*grid, row, column);
        ClickCell(*grid, row, column);
    }
    void ClickOK() { QTest::mouseClick(dlg->GetDlgItem(1), Qt::LeftButton); }

    std::unique_ptr<CDlgSelServer> dlg;
    CListGrid* grid = nullptr;
};

TEST_F(SelServer, EverySiteIsARowWithOneAsteriskPerPasswordCharacter) {
    EXPECT_EQ(dlg->windowTitle(), "Select Servers");
    ASSERT_EQ(grid->GetItemCount(), 3);
    EXPECT_EQ(grid->GetCellText(0, -1), "North\t");
    EXPECT_EQ(grid->GetItemText(0, 1), "    ");
    EXPECT_EQ(grid->GetCellText(1, -1), "South\t*****");
    EXPECT_EQ(grid->GetCellText(2, 1), "*");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "Password");
    EXPECT_EQ(grid->GetColumnWidth(0), 70);
}

TEST_F(SelServer, EditorStartsWithSelectedAsterisksAndTakesEightCharacters) {
    ClickToEdit(1, 1);
    QLineEdit* editor = dlg->m_editPassword;
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->echoMode(), QLineEdit::Password);
    EXPECT_EQ(editor->text(), "*****");
    EXPECT_EQ(editor->selectedText(), "*****");
    Type(QStringLiteral("123456789"));
    EXPECT_EQ(editor->text(), "12345678");
    Key(Qt::Key_Return);
    EXPECT_EQ(dlg->m_saPasswords[1], "12345678");
    EXPECT_EQ(grid->GetCellText(1, 1), "********");
    EXPECT_TRUE(dlg->isVisible());  // Return ended the edit, not the dialog

    ClickToEdit(0, 1);  // an empty password: an empty editor
    EXPECT_EQ(dlg->m_editPassword->text(), "");
    Key(Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(SelServer, TypedPasswordLosesLeadingBlanksAndAnEmptiedOneClearsTheCell) {
    ClickToEdit(2, 1);
    Type(QStringLiteral("  abc"));
    Key(Qt::Key_Return);
    EXPECT_EQ(dlg->m_saPasswords[2], "abc");
    EXPECT_EQ(grid->GetCellText(2, 1), "***");

    ClickToEdit(2, 1);
    dlg->m_editPassword->clear();
    Key(Qt::Key_Return);
    EXPECT_EQ(dlg->m_saPasswords[2], "");
    EXPECT_EQ(grid->GetCellText(2, 1), "");
    EXPECT_EQ(grid->GetItemText(2, 1), "    ");

    ClickToEdit(1, 1);  // the asterisks left as they are: nothing changes
    Key(Qt::Key_Return);
    EXPECT_EQ(dlg->m_saPasswords[1], "abcde");

    ClickToEdit(1, 0);  // names are never edited
    EXPECT_FALSE(dlg->m_editPassword->isVisible());
    EXPECT_FALSE(grid->IsEditing());
}

TEST_F(SelServer, OkNeedsTwoSitesAndReturnsThemInListOrder) {
    ClickCell(*grid, 2, 0);
    {
        MessageBoxes boxes;
        ClickOK();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], "Select more than one servers.");
        EXPECT_EQ(boxes.captions[0], "QOB");
        EXPECT_EQ(boxes.buttons[0], QStringList{"OK"});
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->focusWidget(), grid);
    Reactivate(dlg.get());

    ClickToEdit(2, 1);
    Type(QStringLiteral("east"));
    ClickCell(*grid, 0, 0, Qt::ControlModifier);  // also ends the edit
    ClickCell(*grid, 2, 0, Qt::ControlModifier);
    ClickCell(*grid, 2, 0, Qt::ControlModifier);
    ClickOK();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_saServers, (std::vector<std::string>{"North", "East"}));
    EXPECT_EQ(dlg->m_saPasswords, (std::vector<std::string>{"", "abcde", "east"}));
}

}  // namespace
