// The map table editor on a real document: sites added, edited and removed with the routes of
// every other site following, route cells edited in place, and the configuration file written on
// OK or read back on Cancel.
#include <arpa/inet.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <array>
#include <filesystem>

#include "UiDriver.h"
#include "document/MapTableOps.h"
#include "document/QOBDoc.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "ui/EditMap.h"
#include "ui/EditServer.h"
#include "ui/IPAddressCtrl.h"

using namespace uitest;

namespace {

uint32_t Ip(uint32_t host) { return htonl(host); }

std::vector<std::string> RouteNames(const SiteRec& s) {
    std::vector<std::string> names;
    for (const MapEntry& e : s.Routes) names.push_back(e.Name);
    return names;
}

// One site as the configuration file holds it.
std::string SiteXml(const std::string& name, const std::string& ip, const std::string& mb,
                    const std::vector<std::array<std::string, 4>>& routes, const std::string& mbPassword = "") {
    std::string s = "<Site>\r\n<Name>" + name + "</Name><IP>" + ip + "</IP>\r\n<MBAccount>" + mb +
                    "</MBAccount><MBPassword>" + mbPassword + "</MBPassword>\r\n<VMATempl></VMATempl><FWDTempl></FWDTempl>\r\n"
                    "<DayWhite></DayWhite>\r\n";
    for (const auto& r : routes)
        s += "<To><Name>" + r[0] + "</Name><IP>" + r[1] + "</IP>\r\n<VMAPostfix>" + r[2] + "</VMAPostfix><FwdPattern>" +
             r[3] + "</FwdPattern></To>\r\n";
    return s + "</Site>\r\n";
}

const std::string kHead = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Plexar>\r\n<Sites>\r\n";
const std::string kTail =
    "</Sites>\r\n<Options>\r\n<Option><Name>Reload</Name><Value>1</Value></Option>\r\n"
    "<Option><Name>Remember</Name><Value>0</Value></Option>\r\n<Option><Name>Relocation</Name><Value>1</Value></Option>\r\n"
    "<Option><Name>RelocateVM</Name><Value>0</Value></Option>\r\n<Option><Name>DefaultMBUser</Name><Value></Value></Option>\r\n"
    "<Option><Name>DefaultMBPassword</Name><Value></Value></Option>\r\n</Options>\r\n</Plexar>\r\n";

class EditMap : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        doc.SetWorkDir(dir.path());
        doc.SetFrame(&frame);
        for (auto [name, ip] : {std::pair{"A", 0x0A000001u}, std::pair{"B", 0x0A000002u}, std::pair{"C", 0x0A000003u}})
            ASSERT_EQ(MapAddSite(doc, SiteEditValues{name, Ip(ip), "", ""}), MapEditResult::Changed);
    }
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    void Open() {
        dlg = std::make_unique<CEditMap>(&doc);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        grid = dlg->m_listServers;
    }
    void Press(int id) { QTest::mouseClick(dlg->GetDlgItem(id), Qt::LeftButton); }
    void Select(int row) {
        QListWidget* list = dlg->m_listFromServers;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
    }
    QStringList ListEntries() {
        QStringList out;
        for (int i = 0; i < dlg->m_listFromServers->count(); ++i) out.append(dlg->m_listFromServers->item(i)->text());
        return out;
    }
    std::vector<QString> Rows() {
        std::vector<QString> out;
        for (int r = 0; r < grid->GetItemCount(); ++r) out.push_back(grid->GetCellText(r, -1));
        return out;
    }
    // Fills the server edit dialog that the next Add or Edit opens, and confirms it.
    static std::function<void(CEditServer&)> Fill(const QString& name, const QString& ip, const QString& account = {},
                                                  const QString& password = {}) {
        return [=](CEditServer& d) {
            auto edit = [&](int id, const QString& text) {
                auto* e = qobject_cast<QLineEdit*>(d.GetDlgItem(id));
                e->setFocus();
                e->selectAll();
                if (text.isEmpty()) e->del();
                else QTest::keyClicks(e, text);
            };
            edit(1013, name);
            auto* address = qobject_cast<CIPAddressCtrl*>(d.GetDlgItem(1004));
            address->ClearAddress();
            address->Field(0)->setFocus();
            for (QChar c : ip) QTest::keyClicks(d.focusWidget(), QString(c));
            edit(1027, account);
            edit(1028, password);
            QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
        };
    }
    void ClickToEdit(int row, int column) {
        ClickCell(*grid, row, column);
        ClickCell(*grid, row, column);
    }

    TempDir dir;
    RecordingFrame frame;
    CQOBDoc doc;
    std::unique_ptr<CEditMap> dlg;
    CListGrid* grid = nullptr;
};

TEST_F(EditMap, OpensOnTheFirstSiteWithItsRoutes) {
    Open();
    EXPECT_EQ(dlg->windowTitle(), "Map Table Edit");
    EXPECT_EQ(ListEntries(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(dlg->m_listFromServers->currentRow(), 0);
    EXPECT_EQ(dlg->m_editFromServer->text(), "A");
    EXPECT_TRUE(dlg->m_editFromServer->font().bold());
    EXPECT_EQ(Rows(), (std::vector<QString>{" \t \tB\t10.0.0.2", " \t \tC\t10.0.0.3"}));
    EXPECT_EQ(grid->GetItemText(0, 0), "    ");
    // The original widths at least; wider where a title needs it.
    EXPECT_GE(grid->GetColumnWidth(0), 120);
    EXPECT_EQ(grid->GetColumnWidth(3), 90);
    EXPECT_TRUE(grid->GetColumn(2)->flags & LGCF_SHADED);
    EXPECT_FALSE(grid->GetColumn(1)->flags & LGCF_SHADED);
    EXPECT_TRUE(dlg->GetDlgItem(1007)->isEnabled());
    EXPECT_TRUE(dlg->GetDlgItem(1009)->isEnabled());
    EXPECT_EQ(dlg->m_bModified, 0);
}

TEST_F(EditMap, AddedSiteGetsRoutesToAndFromEveryOtherAndOkWritesTheFile) {
    Open();
    NextDialog<CEditServer> fill(Fill(QStringLiteral("D"), QStringLiteral("10.0.0.4"), QStringLiteral("mb"),
                                      QStringLiteral("pw")));
    Press(1006);
    EXPECT_EQ(fill.seen, 1);
    ASSERT_EQ(doc.m_sites.size(), 4u);
    EXPECT_EQ(RouteNames(doc.m_sites[3]), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C", "D"}));
    EXPECT_EQ(RouteNames(doc.m_sites[2]), (std::vector<std::string>{"A", "B", "D"}));
    EXPECT_EQ(ListEntries(), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(dlg->m_listFromServers->currentRow(), 3);
    EXPECT_EQ(dlg->m_editFromServer->text(), "D");
    EXPECT_EQ(Rows(), (std::vector<QString>{" \t \tA\t10.0.0.1", " \t \tB\t10.0.0.2", " \t \tC\t10.0.0.3"}));
    EXPECT_EQ(dlg->m_bModified, 1);

    Press(1);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_bModified, 0);
    const std::string expected =
        kHead + SiteXml("A", "10.0.0.1", "", {{"B", "10.0.0.2", "", ""}, {"C", "10.0.0.3", "", ""}, {"D", "10.0.0.4", "", ""}}) +
        SiteXml("B", "10.0.0.2", "", {{"A", "10.0.0.1", "", ""}, {"C", "10.0.0.3", "", ""}, {"D", "10.0.0.4", "", ""}}) +
        SiteXml("C", "10.0.0.3", "", {{"A", "10.0.0.1", "", ""}, {"B", "10.0.0.2", "", ""}, {"D", "10.0.0.4", "", ""}}) +
        SiteXml("D", "10.0.0.4", "mb", {{"A", "10.0.0.1", "", ""}, {"B", "10.0.0.2", "", ""}, {"C", "10.0.0.3", "", ""}},
                "ry") +
        kTail;
    EXPECT_EQ(dir.Read("Plexar.xml"), expected);
}

TEST_F(EditMap, AnAddressInUseIsRefusedOnAddAndOnEdit) {
    Open();
    {
        NextDialog<CEditServer> fill(Fill(QStringLiteral("D"), QStringLiteral("10.0.0.2")));
        MessageBoxes boxes;
        Press(1006);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0],
                  "There is duplicate IP address in all servers. Re-enter the IP address of the server.");
        EXPECT_EQ(fill.seen, 1);  // the server edit dialog is not opened again
    }
    EXPECT_EQ(doc.m_sites.size(), 3u);
    EXPECT_EQ(ListEntries(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(dlg->m_bModified, 0);

    // Two sites with one address: every lookup by address would find the first.
    Select(2);
    NextDialog<CEditServer> fill(Fill(QStringLiteral("C"), QStringLiteral("10.0.0.2")));
    MessageBoxes boxes;
    Press(1009);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "There is duplicate IP address in all servers. Re-enter the IP address of the server.");
    EXPECT_EQ(doc.m_sites[2].IP, Ip(0x0A000003));
    EXPECT_EQ(dlg->m_bModified, 0);
}

TEST_F(EditMap, ANameInAnotherCaseAndTheAddressesOfNoServerAreRefusedWithTheirMessages) {
    Open();
    struct Case {
        QString name, ip;
        const char* message;
    };
    const Case cases[] = {
        {QStringLiteral("b"), QStringLiteral("10.0.0.4"),
         "There is another server with this name (letter case does not count). Re-enter the server name."},
        {QStringLiteral("D"), QStringLiteral("0.0.0.0"), "IP address is blank. \n  Re-enter."},
        {QStringLiteral("D"), QStringLiteral("255.255.255.255"),
         "255.255.255.255 is not the address of a server. Re-enter the IP address."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        NextDialog<CEditServer> fill(Fill(c.name, c.ip));
        MessageBoxes boxes;
        Press(1006);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], c.message);
        EXPECT_EQ(doc.m_sites.size(), 3u);
    }
    // Renaming C to "a" would leave two sites that one name finds.
    Select(2);
    NextDialog<CEditServer> fill(Fill(QStringLiteral("a"), QStringLiteral("10.0.0.3")));
    MessageBoxes boxes;
    Press(1009);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "There is another server with this name (letter case does not count). Re-enter the server name.");
    EXPECT_EQ(doc.m_sites[2].Name, "C");
    EXPECT_EQ(ListEntries(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(dlg->m_bModified, 0);
}

TEST_F(EditMap, ARouteValueWithAControlCharacterIsRefusedAndTheCellKeepsItsText) {
    Open();
    ClickToEdit(1, 1);
    ASSERT_TRUE(grid->IsEditing());
    // Typed keys never reach the cell as a tab; a pasted text could.
    dlg->m_editCell->setText(QStringLiteral("8\t9"));
    MessageBoxes boxes;
    Key(Qt::Key_Return);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "The text contains a tab, a line end or another control character. Re-enter it without.");
    EXPECT_EQ(doc.m_sites[0].Routes[1].FwdPattern, "");
    EXPECT_EQ(grid->GetCellText(1, -1), " \t \tC\t10.0.0.3");
    EXPECT_EQ(dlg->m_bModified, 0);
}

TEST_F(EditMap, RemovedSiteLeavesEveryGridAndTheLastRemovalDisablesTheButtons) {
    Open();
    Select(1);
    Press(1007);
    EXPECT_EQ(ListEntries(), (QStringList{"A", "C"}));
    EXPECT_EQ(dlg->m_listFromServers->currentRow(), 0);
    EXPECT_EQ(Rows(), (std::vector<QString>{" \t \tC\t10.0.0.3"}));
    Select(1);
    EXPECT_EQ(Rows(), (std::vector<QString>{" \t \tA\t10.0.0.1"}));
    EXPECT_EQ(dlg->m_bModified, 1);

    Press(1007);
    Press(1007);
    EXPECT_TRUE(doc.m_sites.empty());
    EXPECT_FALSE(dlg->GetDlgItem(1007)->isEnabled());
    EXPECT_FALSE(dlg->GetDlgItem(1009)->isEnabled());
    EXPECT_EQ(grid->GetItemCount(), 0);
    EXPECT_EQ(dlg->m_editFromServer->text(), "");
}

TEST_F(EditMap, RenamedSiteRenamesOnlyRoutesOfExactlyItsName) {
    doc.m_sites[2].Routes[1].Name = "b";  // C's route to B, named in another case
    Open();
    Select(1);
    NextDialog<CEditServer> fill(Fill(QStringLiteral("B2"), QStringLiteral("10.0.0.2")));
    Press(1009);
    EXPECT_EQ(doc.m_sites[1].Name, "B2");
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B2", "C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[2]), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(ListEntries(), (QStringList{"A", "B2", "C"}));
    EXPECT_EQ(dlg->m_listFromServers->currentRow(), 1);
    Select(2);
    // "b" names no site now: its row has no address.
    EXPECT_EQ(Rows(), (std::vector<QString>{" \t \tA\t10.0.0.1", " \t \tb\t "}));

    // Edit with nothing changed changes nothing.
    dlg->m_bModified = 0;
    NextDialog<CEditServer> same(Fill(QStringLiteral("C"), QStringLiteral("10.0.0.3")));
    Press(1009);
    EXPECT_EQ(same.seen, 1);
    EXPECT_EQ(dlg->m_bModified, 0);
}

TEST_F(EditMap, AnEmptyCellProposesTheToSitesTemplate) {
    doc.m_sites[2].VMATempl = "c.example";
    Open();
    ClickToEdit(1, 0);  // A's route to C
    ASSERT_TRUE(grid->IsEditing());
    EXPECT_EQ(dlg->m_editCell->text(), "c.example");
    EXPECT_EQ(dlg->m_editCell->selectedText(), "c.example");
    Key(Qt::Key_Return);
    EXPECT_EQ(doc.m_sites[0].Routes[1].VMAPostfix, "c.example");
    EXPECT_EQ(grid->GetCellText(1, -1), "c.example\t \tC\t10.0.0.3");
    EXPECT_EQ(dlg->m_bModified, 1);
}

TEST_F(EditMap, AnAccessCodeEnteredForOneSiteIsProposedFromAnother) {
    Open();
    ClickToEdit(1, 1);
    EXPECT_EQ(dlg->m_editCell->text(), "");
    Type(QStringLiteral("8N") + QString(20, QLatin1Char('9')));
    EXPECT_EQ(dlg->m_editCell->text().size(), 15);
    dlg->m_editCell->setText(QStringLiteral("8N"));
    Key(Qt::Key_Return);
    EXPECT_EQ(doc.m_sites[0].Routes[1].FwdPattern, "8N");
    EXPECT_EQ(doc.m_sites[2].FWDTempl, "8N");

    Select(1);
    ClickToEdit(1, 1);  // B's route to C
    EXPECT_EQ(dlg->m_editCell->text(), "8N");
    Key(Qt::Key_Escape);
    EXPECT_EQ(doc.m_sites[1].Routes[1].FwdPattern, "");

    // A cell that has a value shows it; emptying it stores an empty value.
    Select(0);
    ClickToEdit(1, 1);
    EXPECT_EQ(dlg->m_editCell->text(), "8N");
    dlg->m_editCell->clear();
    Key(Qt::Key_Return);
    EXPECT_EQ(doc.m_sites[0].Routes[1].FwdPattern, "");
    EXPECT_EQ(grid->GetCellText(1, -1), " \t\tC\t10.0.0.3");
    EXPECT_EQ(grid->GetItemText(1, 1), "    ");
    // The To Server column is never edited.
    ClickToEdit(1, 2);
    EXPECT_FALSE(grid->IsEditing());
}

TEST_F(EditMap, CancelReadsTheFileBackOnlyAfterAChange) {
    ASSERT_TRUE(doc.SaveConfig());
    Open();
    Select(1);
    Press(1007);
    ASSERT_EQ(doc.m_sites.size(), 2u);
    Press(2);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    ASSERT_EQ(doc.m_sites.size(), 3u);
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C"}));

    // Without a change the file is not read: the document keeps what it had.
    doc.m_sites.pop_back();
    dlg.reset();
    Open();
    Press(2);
    EXPECT_EQ(doc.m_sites.size(), 2u);
}

TEST_F(EditMap, OkWithoutAChangeWritesNothing) {
    Open();
    Press(1);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Plexar.xml")));
}

TEST_F(EditMap, AFailedSaveIsReportedAndTheChangesStay) {
    doc.SetWorkDir(dir.file("missing"));
    Open();
    Select(0);
    Press(1007);
    MessageBoxes boxes;
    Press(1);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Failed to write map table!");
    EXPECT_EQ(boxes.captions[0], "QOB");
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_bModified, 1);
    EXPECT_EQ(doc.m_sites.size(), 2u);
}

TEST_F(EditMap, CancelWithoutAFileToReadStillThrowsTheChangesAway) {
    Open();
    NextDialog<CEditServer> fill(Fill(QStringLiteral("D"), QStringLiteral("10.0.0.4")));
    Press(1006);
    ASSERT_EQ(doc.m_sites.size(), 4u);
    Press(2);
    ASSERT_EQ(doc.m_sites.size(), 3u);
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C"}));
}

TEST_F(EditMap, MailboxValuesAreKeptAtTheSitesLengths) {
    Open();
    NextDialog<CEditServer> fill(Fill(QStringLiteral("D"), QStringLiteral("10.0.0.4"), QString(50, QLatin1Char('a')),
                                      QString(16, QLatin1Char('p'))));
    Press(1006);
    ASSERT_EQ(doc.m_sites.size(), 4u);
    EXPECT_EQ(doc.m_sites[3].MBAccount, std::string(49, 'a'));
    EXPECT_EQ(doc.m_sites[3].MBPassword, std::string(15, 'p'));
}

}  // namespace
