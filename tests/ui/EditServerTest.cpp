// The server edit dialog: caption, address control, the checks on OK and what comes back.
#include <arpa/inet.h>

#include <QLineEdit>

#include "UiDriver.h"
#include "ui/EditServer.h"
#include "ui/IPAddressCtrl.h"

using namespace uitest;

namespace {

class EditServer : public UiTest {
protected:
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    void Open(const std::string& name = "", uint32_t ip = 0, const std::string& account = "",
              const std::string& password = "") {
        dlg = std::make_unique<CEditServer>();
        dlg->m_strName = name;
        dlg->m_dwIP = ip;
        dlg->m_strMBAccount = account;
        dlg->m_strMBPassword = password;
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dlg->GetDlgItem(id)); }
    CIPAddressCtrl* Address() { return qobject_cast<CIPAddressCtrl*>(dlg->GetDlgItem(1004)); }
    void TypeInto(int id, const QString& text) {
        Edit(id)->setFocus();
        Edit(id)->selectAll();
        Type(text);
    }
    void ClickOK() { QTest::mouseClick(dlg->GetDlgItem(1), Qt::LeftButton); }
    QStringList Fields() {
        QStringList out;
        for (int i = 0; i < 4; ++i) out.append(Address()->Field(i)->text());
        return out;
    }

    std::unique_ptr<CEditServer> dlg;
};

TEST_F(EditServer, CaptionAndAddressFollowWhatTheCallerSet) {
    Open();
    EXPECT_EQ(dlg->windowTitle(), "Add New Server");
    EXPECT_TRUE(Address()->IsBlank());
    dlg.reset();
    Open("Zurich", htonl(0xC0A80114), "admin", "secret");
    EXPECT_EQ(dlg->windowTitle(), "Edit Server");
    EXPECT_EQ(Fields(), (QStringList{"192", "168", "1", "20"}));
    EXPECT_EQ(Edit(1013)->text(), "Zurich");
    EXPECT_EQ(Edit(1028)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Edit(1028)->text(), "secret");
}

TEST_F(EditServer, NameIsCheckedBeforeTheAddress) {
    Open();
    TypeInto(1013, QStringLiteral("   "));
    {
        MessageBoxes boxes;
        ClickOK();
        ASSERT_EQ(boxes.texts.size(), 1u);  // only the name's message, though both are missing
        EXPECT_EQ(boxes.texts[0], "Server Name is blank!\n  Re-enter.");
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->focusWidget(), Edit(1013));
    Reactivate(dlg.get());

    TypeInto(1013, QStringLiteral("Bern"));
    {
        MessageBoxes boxes;
        ClickOK();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], "IP address is blank. \n  Re-enter.");
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->focusWidget(), Address()->Field(0));
    EXPECT_EQ(dlg->m_strName, "");  // nothing comes back before the checks pass
}

TEST_F(EditServer, AnAddressTypedInPartsComesBackInNetworkOrderWithBlanksAsZero) {
    Open();
    TypeInto(1013, QStringLiteral("Bern"));
    Address()->Field(0)->setFocus();
    Type(QStringLiteral("10"));
    ClickOK();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_dwIP, htonl(0x0A000000));

    dlg.reset();
    Open("Bern");
    Address()->Field(0)->setFocus();
    Type(QStringLiteral("192.168.1.300"));  // dots move on; 300 is more than a field holds
    EXPECT_EQ(Fields(), (QStringList{"192", "168", "1", "300"}));
    ClickOK();
    EXPECT_EQ(dlg->m_dwIP, htonl(0xC0A801FF));
}

TEST_F(EditServer, ValuesComeBackTrimmedAndNoLongerThanTheSiteKeeps) {
    Open();
    TypeInto(1013, QStringLiteral("  Bern ") + QString(40, QLatin1Char('n')));
    TypeInto(1027, QString(60, QLatin1Char('a')));
    TypeInto(1028, QString(20, QLatin1Char('p')));
    EXPECT_EQ(Edit(1013)->text().size(), 30);
    EXPECT_EQ(Edit(1027)->text().size(), 49);
    EXPECT_EQ(Edit(1028)->text().size(), 15);
    TypeInto(1027, QStringLiteral("  acct  "));
    TypeInto(1028, QStringLiteral(" pw "));
    Edit(1028)->insert(QStringLiteral("\tx"));  // pasted: a control character is refused
    Address()->Field(0)->setFocus();
    Type(QStringLiteral("1.2.3.4"));
    ClickOK();
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_strName, "Bern " + std::string(23, 'n'));
    EXPECT_EQ(dlg->m_strMBAccount, "acct");
    EXPECT_EQ(dlg->m_strMBPassword, "pw");
    EXPECT_EQ(dlg->m_dwIP, htonl(0x01020304));
}

TEST_F(EditServer, CancelAfterTypingLeavesTheValues) {
    Open("Old", htonl(0x01020304), "acct", "pw");
    TypeInto(1013, QStringLiteral("   "));
    {
        MessageBoxes boxes;
        ClickOK();  // refused: the members stay as they were
    }
    Reactivate(dlg.get());
    TypeInto(1013, QStringLiteral("New"));
    TypeInto(1028, QStringLiteral("other"));
    QTest::mouseClick(dlg->GetDlgItem(2), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_strName, "Old");
    EXPECT_EQ(dlg->m_dwIP, htonl(0x01020304));
    EXPECT_EQ(dlg->m_strMBAccount, "acct");
    EXPECT_EQ(dlg->m_strMBPassword, "pw");
}

}  // namespace
