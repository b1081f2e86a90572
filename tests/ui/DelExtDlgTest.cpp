// The Delete Extension dialog: the question and the second choice by the number's kind, the
// choice returned, and the dialog answering a real deletion's question through a window frame.
#include <QLabel>
#include <QRadioButton>

#include "UiDriver.h"
#include "document/DownloadFixture.h"
#include "ui/DelExtDlg.h"

using namespace uitest;

namespace {

class DelExt : public UiTest {
protected:
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    void Open(const std::string& number, int type) {
        dlg = std::make_unique<CDelExtDlg>();
        dlg->m_nRadio = 0;
        dlg->m_strExtNo = number;
        dlg->m_nType = type;
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    QString Text(int id) {
        QWidget* w = dlg->GetDlgItem(id);
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        return qobject_cast<QAbstractButton*>(w)->text();
    }
    QRadioButton* Radio(int id) { return qobject_cast<QRadioButton*>(dlg->GetDlgItem(id)); }

    std::unique_ptr<CDelExtDlg> dlg;
};

TEST_F(DelExt, QuestionAndSecondChoiceFollowTheKindOfNumber) {
    Open("205", 0);
    EXPECT_EQ(dlg->windowTitle(), "Delete Extension");
    EXPECT_EQ(Text(1023), "Do you want to delete extension 205 in all sites?");
    EXPECT_EQ(Text(1021), "Delete all virtual extensions only");
    EXPECT_EQ(Text(1022), "Delete all extensions");
    EXPECT_TRUE(Radio(1021)->isChecked());
    dlg.reset();
    Open("600", 2);
    EXPECT_EQ(Text(1023), "Do you want to delete group 600 in all sites?");
    EXPECT_EQ(Text(1022), "Delete all extensions and groups");
    dlg.reset();
    Open("301", 1);
    EXPECT_EQ(Text(1023), "Do you want to delete extension 301 in all sites?");
    EXPECT_EQ(Text(1022), "Delete all extensions");
}

TEST_F(DelExt, TheCheckedChoiceComesBackOnOkOnly) {
    Open("205", 0);
    QTest::mouseClick(Radio(1022), Qt::LeftButton);
    QTest::mouseClick(dlg->GetDlgItem(1), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nRadio, 1);

    dlg.reset();
    Open("205", 0);
    QTest::mouseClick(Radio(1022), Qt::LeftButton);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_nRadio, 0);
}

// A window frame that asks the deletion's question with the dialog.
class DialogFrame : public RecordingFrame {
public:
    bool AskDeleteScope(DeleteScopePrompt& prompt) override {
        prompts.push_back(prompt);
        return ui::AskDeleteScopeDialog(nullptr, prompt);
    }
};

class DelExtDeletion : public downloadtest::DownloadFixture {
protected:
    void SetUp() override {
        DownloadFixture::SetUp();
        doc.SetFrame(&dialogFrame);
        dialogFrame.answer = IDYES;
        AddSite("North");
        AddSite("South");
        LinkAll();
        Add(*sites[0].site, Ext("100"));
        Add(*sites[1].site, Copy("100", "North"));
        ASSERT_TRUE(doc.Download());
    }
    DialogFrame dialogFrame;
};

TEST_F(DelExtDeletion, TheChosenScopeIsTheOneTheDeletionUses) {
    QString question;
    NextDialog<CDelExtDlg> everything([&](CDelExtDlg& d) {
        question = qobject_cast<QLabel*>(d.GetDlgItem(1023))->text();
        QTest::mouseClick(d.GetDlgItem(1022), Qt::LeftButton);
        QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
    });
    EXPECT_TRUE(doc.DeleteEverywhere("100"));
    EXPECT_EQ(everything.seen, 1);
    ASSERT_EQ(dialogFrame.prompts.size(), 1u);
    EXPECT_EQ(question.toStdString(), dialogFrame.prompts[0].question);
    EXPECT_TRUE(Held(*sites[0].site, "100").empty());
    EXPECT_TRUE(Held(*sites[1].site, "100").empty());
}

TEST_F(DelExtDeletion, CancelDeletesNothing) {
    NextDialog<CDelExtDlg> cancel([](CDelExtDlg& d) { QTest::mouseClick(d.GetDlgItem(2), Qt::LeftButton); });
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_FALSE(Held(*sites[0].site, "100").empty());
    EXPECT_FALSE(Held(*sites[1].site, "100").empty());
}

}  // namespace
