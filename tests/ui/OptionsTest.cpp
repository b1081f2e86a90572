// The Options dialog: the enable rules of the voice-mail box and the account fields, and what
// comes back to the document and its file.
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

#include "UiDriver.h"
#include "document/QOBDoc.h"
#include "support/TempDir.h"
#include "ui/Options.h"

using namespace uitest;

namespace {

class Options : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        doc.SetWorkDir(dir.path());
    }
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    void Open() {
        dlg = std::make_unique<COptions>();
        dlg->Load(doc);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    QCheckBox* Box(int id) { return qobject_cast<QCheckBox*>(dlg->GetDlgItem(id)); }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dlg->GetDlgItem(id)); }
    // On the box itself: a check box wider than its text takes no click beside the text.
    void Click(int id) {
        QWidget* w = dlg->GetDlgItem(id);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(6, w->height() / 2));
    }

    TempDir dir;
    CQOBDoc doc;
    std::unique_ptr<COptions> dlg;
};

TEST_F(Options, VoiceMailFollowsRelocationAndTheAccountFollowsVoiceMail) {
    doc.SetRelocation(false);
    doc.SetRelocateVM(true);
    doc.SetDefaultMBUser("dom\\user");
    Open();
    EXPECT_EQ(dlg->windowTitle(), "Options");
    EXPECT_TRUE(Box(1014)->isChecked());
    EXPECT_FALSE(Box(1014)->isEnabled());
    EXPECT_TRUE(Edit(1024)->isEnabled());
    EXPECT_TRUE(Edit(1025)->isEnabled());
    EXPECT_EQ(Edit(1024)->text(), "dom\\user");
    EXPECT_EQ(Edit(1025)->echoMode(), QLineEdit::Password);

    Click(1013);
    EXPECT_TRUE(Box(1014)->isEnabled());
    Click(1014);
    EXPECT_FALSE(Edit(1024)->isEnabled());
    EXPECT_FALSE(Edit(1025)->isEnabled());
    EXPECT_EQ(Edit(1024)->text(), "dom\\user");
    Click(1013);
    EXPECT_FALSE(Box(1014)->isEnabled());
    EXPECT_FALSE(Box(1014)->isChecked());
}

TEST_F(Options, OkStoresAllSixValuesEvenFromDisabledControls) {
    doc.SetRelocateVM(true);
    Open();
    Edit(1024)->setFocus();
    Type(QString(60, QLatin1Char('u')));
    Edit(1025)->setFocus();
    Type(QStringLiteral("secret") + QString(20, QLatin1Char('s')));
    EXPECT_EQ(Edit(1024)->text().size(), 50);
    EXPECT_EQ(Edit(1025)->text().size(), 16);
    Click(1014);  // the account fields go grey and keep their texts
    Click(1011);
    Click(1017);
    Click(1);
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    dlg->Store(doc);
    ASSERT_TRUE(doc.SaveConfig());
    EXPECT_TRUE(doc.GetRemember());
    EXPECT_FALSE(doc.GetReload());
    EXPECT_TRUE(doc.GetRelocation());
    EXPECT_FALSE(doc.GetRelocateVM());
    EXPECT_EQ(doc.GetDefaultMBUser(), std::string(50, 'u'));
    EXPECT_EQ(doc.GetDefaultMBPassword(), "secret" + std::string(10, 's'));
    const std::string file = dir.Read("Plexar.xml");
    EXPECT_NE(file.find("<Option><Name>Reload</Name><Value>0</Value></Option>\r\n"
                        "<Option><Name>Remember</Name><Value>1</Value></Option>\r\n"
                        "<Option><Name>Relocation</Name><Value>1</Value></Option>\r\n"
                        "<Option><Name>RelocateVM</Name><Value>0</Value></Option>\r\n"
                        "<Option><Name>DefaultMBUser</Name><Value>" +
                        std::string(50, 'u') + "</Value></Option>\r\n"),
              std::string::npos);
    EXPECT_EQ(file.find("secret"), std::string::npos);  // the password only scrambled
}

TEST_F(Options, TheNumberOfSitesAtOnceIsTakenBetweenOneAndTheLimitAndStoredLast) {
    doc.SetJobs(5);
    Open();
    auto* jobs = qobject_cast<QSpinBox*>(dlg->GetDlgItem(1030));
    ASSERT_NE(jobs, nullptr);
    EXPECT_EQ(jobs->value(), 5);
    EXPECT_EQ(jobs->minimum(), 1);
    EXPECT_EQ(jobs->maximum(), CQOBDoc::kMaxJobs);
    jobs->setFocus();
    jobs->selectAll();
    Type(QStringLiteral("99"));  // more than may be: the box keeps to the limit
    EXPECT_LE(jobs->value(), CQOBDoc::kMaxJobs);
    jobs->selectAll();
    Type(QStringLiteral("3"));
    Click(1);
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nJobs, 3);
    dlg->Store(doc);
    EXPECT_EQ(doc.GetJobs(), 3);
    // Not one of the file's options.
    ASSERT_TRUE(doc.SaveConfig());
    EXPECT_EQ(dir.Read("Plexar.xml").find("Jobs"), std::string::npos);
}

TEST_F(Options, CancelReadsNothingBack) {
    Open();
    Edit(1024)->setText(QStringLiteral("typed"));
    Click(1011);
    Click(2);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_bSavePassword, 0);
    EXPECT_EQ(dlg->m_strNTAccount, "");
}

}  // namespace
