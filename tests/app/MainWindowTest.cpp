// The window as the administrator uses it: downloads through the Select Servers dialog, the list's
// check states and commands, the Home Server editor, synchronising and deleting, with what the
// simulated servers hold afterwards.
#include <QComboBox>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QHeaderView>
#include <QStyle>

#include "WindowFixture.h"
#include "platform/AppProfile.h"
#include "platform/RegReaders.h"
#include "support/ConnectionProbe.h"
#include "ui/DelExtDlg.h"
#include "ui/EditMap.h"
#include "ui/Options.h"

using namespace apptest;

namespace {

TEST_F(Window, StartsWithTheTitleTheNineCommandsReadyAndTheTwoPanes) {
    Start();
    // The pointer on a button shows its prompt; leaving it brings "Ready" back.
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    for (QAction* a : frame->GetToolBar()->actions()) QApplication::sendEvent(Button(a->objectName().mid(3).toInt()), &leave);
    EXPECT_EQ(frame->StatusText(), "Ready");
    QApplication::sendEvent(Button(ID_SYNCHRONIZE), &enter);
    EXPECT_EQ(frame->StatusText(), "Synchronize checked extensions ");
    QApplication::sendEvent(Button(ID_SYNCHRONIZE), &leave);
    EXPECT_EQ(frame->windowTitle(), "Tarn Manager");
    EXPECT_NE(frame->menuWidget(), nullptr);
    EXPECT_EQ(frame->width(), 800 + 2 * frame->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_EQ(frame->height(), 600);
    QStringList tips;
    for (QAction* a : frame->GetToolBar()->actions()) {
        tips << a->text();
        EXPECT_EQ(Button(a->objectName().mid(3).toInt())->iconSize(), QSize(32, 32));
    }
    EXPECT_EQ(tips, QStringList({"Sites Download", "Check/Uncheck Selected", "Synchronize", "Map", "Delete", "Options",
                                 "Print", "Launch ZentAdmin", "Help", "Cancel"}));
    EXPECT_EQ(frame->Command(ID_CHECK_UNCHECK)->statusTip(), "Check/Uncheck selected synchronizable extensions ");
    EXPECT_EQ(frame->StatusText(), "Ready");
    EXPECT_EQ(frame->GetSplitter()->widget(0), view);
    EXPECT_EQ(frame->GetSplitter()->widget(1), frame->GetLogView());
    EXPECT_EQ(frame->GetSplitter()->sizes().front(), 350);
    EXPECT_EQ(grid->GetColumnCount(), 9);
    // The original widths at least, wider where a title needs it.
    EXPECT_GE(grid->GetColumnWidth(0), 80);
    EXPECT_GE(grid->GetColumnWidth(6), 100);
    // Before any download only the commands that need none; no administration program here.
    EXPECT_TRUE(frame->Command(ID_SITES_DOWNLOAD)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_CHECK_UNCHECK)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_SYNCHRONIZE)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_DELETE_EXT)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_LAUNCH_ADMIN)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_CANCEL_COMMAND)->isEnabled());  // nothing runs to stop
    EXPECT_EQ(doc->m_sites.size(), 2u);  // the configuration was there before the window
}

TEST_F(Window, DownloadOfTwoSitesFillsTheListAndForgetsThePasswords) {
    StartAndDownload();
    ASSERT_EQ(grid->GetItemCount(), 6);
    EXPECT_EQ(grid->GetCellText(Row("101"), -1), "101\tExtension\tAnn\t \text101\tUnsynchronized\tNorth\t1\t0");
    EXPECT_EQ(grid->GetCellText(Row("300"), -1), "300\tGroup\t \t \text300\tUnsynchronized\tNorth\t0\t1");
    EXPECT_EQ(Cell("105", 7), "2");
    EXPECT_EQ(Cell("106", 5), "Synchronized");
    EXPECT_EQ(Cell("104", 6), "East (HQ)");
    EXPECT_EQ(Checks({"101", "102", "104", "105", "106", "300"}), (std::vector<int>{0, 0, 0, 2, 2, 0}));
    EXPECT_EQ(frame->StatusText(), "Ready for synchronization");
    const QStringList lines = LogLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(0, 3), QStringList({"Servers below have been selected to sync:", "\tNorth", "\tEast (HQ)"}));

    // Remember is off: the passwords were for this download only, in memory and in the file.
    for (const SiteRec& s : doc->m_sites) EXPECT_EQ(s.DayWhite, "");
    CQOBDoc reread;
    reread.SetWorkDir(work.path());
    ASSERT_TRUE(reread.LoadConfig());
    for (const SiteRec& s : reread.m_sites) EXPECT_EQ(s.DayWhite, "");
}

// What a command ended with stays until the next command: the prompts of the buttons show over
// it while the pointer is on them, and nothing the pointer passes on its way clears it.
TEST_F(Window, TheOutcomeStaysUntilTheNextCommandWhateverThePointerPasses) {
    StartAndDownload();
    const QString outcome = QStringLiteral("Ready for synchronization");
    // The pointer leaves the button it clicked (its prompt is shown while it is there).
    QTest::mouseMove(frame->GetLogView()->viewport(), QPoint(10, 10));
    QTest::qWait(20);
    ASSERT_EQ(frame->StatusText(), outcome);
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    for (QWidget* w : std::initializer_list<QWidget*>{grid->viewport(), grid->horizontalHeader()->viewport(),
                                                      frame->GetLogView()->viewport(), frame->statusBar()}) {
        QStatusTipEvent none{QString()};
        QApplication::sendEvent(w, &none);
        QTest::mouseMove(w, QPoint(5, 5));
        EXPECT_EQ(frame->StatusText(), outcome) << w->objectName().toStdString();
    }
    QApplication::sendEvent(Button(ID_DELETE_EXT), &enter);
    EXPECT_EQ(frame->StatusText(), frame->Command(ID_DELETE_EXT)->statusTip());
    QApplication::sendEvent(Button(ID_DELETE_EXT), &leave);
    EXPECT_EQ(frame->StatusText(), outcome);
    // The next command says what it does, and then how it ended.
    doc->m_bReload = false;
    Click(ID_SYNCHRONIZE);
    EXPECT_EQ(frame->StatusText(), "All checked extensions or groups have been synchronized");
}

TEST_F(Window, OneSiteIsRefusedAndOnlyASuccessfulDownloadEnablesTheListCommands) {
    Start();
    EXPECT_EQ(Download({0}), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Select more than one servers.");
    EXPECT_EQ(grid->GetItemCount(), 0);
    EXPECT_FALSE(frame->Command(ID_SYNCHRONIZE)->isEnabled());

    EXPECT_EQ(Download({0, 1}), 1);
    EXPECT_TRUE(frame->Command(ID_SYNCHRONIZE)->isEnabled());
    EXPECT_EQ(grid->GetItemCount(), 6);
}

TEST_F(Window, AFailedDownloadDisablesWhatASuccessfulOneEnabled) {
    StartAndDownload();
    for (int id : {ID_CHECK_UNCHECK, ID_SYNCHRONIZE, ID_DELETE_EXT}) EXPECT_TRUE(frame->Command(id)->isEnabled()) << id;
    Download({0, 1}, QStringLiteral("wrong"));
    EXPECT_FALSE(shown.empty());
    EXPECT_FALSE(doc->m_bDownloaded);
    for (int id : {ID_CHECK_UNCHECK, ID_SYNCHRONIZE, ID_DELETE_EXT}) EXPECT_FALSE(frame->Command(id)->isEnabled()) << id;
    EXPECT_EQ(grid->GetItemCount(), 0);
}

TEST_F(Window, CheckUncheckSelectedChecksFreeRowsFirstAndUnchecksOnlyWhenNoneWasFree) {
    StartAndDownload();
    grid->SetCheck(Row("102"), 1);
    ClickCell(*grid, Row("101"), 2);
    ClickCell(*grid, Row("102"), 2, Qt::ControlModifier);
    ClickCell(*grid, Row("105"), 2, Qt::ControlModifier);
    Click(ID_CHECK_UNCHECK);
    EXPECT_EQ(Checks({"101", "102", "105"}), (std::vector<int>{1, 1, 2}));
    Click(ID_CHECK_UNCHECK);
    EXPECT_EQ(Checks({"101", "102", "105"}), (std::vector<int>{0, 0, 2}));
}

TEST_F(Window, CheckingAGroupChecksItsFreeAgentsOnlyAndUncheckingAsksFirst) {
    StartAndDownload();
    ClickAt(*grid, CellPoint(*grid, Row("300"), 0, 8));  // the check box
    ASSERT_EQ(Check("300"), 1);
    EXPECT_EQ(Checks({"101", "102"}), (std::vector<int>{1, 1}));
    EXPECT_EQ(Cell("101", 6), "North");
    EXPECT_EQ(Cell("102", 5), "Unsynchronized");
    // 105 is a real extension on two sites: locked, and it stays so.
    EXPECT_EQ(Check("105"), 2);
    EXPECT_EQ(Cell("105", 6), "Unknown");

    {
        MessageBoxes no(IDNO);
        ClickAt(*grid, CellPoint(*grid, Row("300"), 0, 8));
        ASSERT_EQ(no.texts.size(), 1u);
        EXPECT_EQ(no.texts[0], "Do you want to uncheck all agents of workgroup 300 together?");
    }
    EXPECT_EQ(Checks({"300", "101", "102"}), (std::vector<int>{0, 1, 1}));

    ClickAt(*grid, CellPoint(*grid, Row("300"), 0, 8));
    {
        MessageBoxes yes(IDYES);
        ClickAt(*grid, CellPoint(*grid, Row("300"), 0, 8));
        EXPECT_EQ(yes.texts.size(), 1u);
    }
    EXPECT_EQ(Checks({"300", "101", "102", "105"}), (std::vector<int>{0, 0, 0, 2}));
    // The agents' rows came back from the document.
    EXPECT_NE(LogFile().find("Update extension 101 in row"), std::string::npos);
}

TEST_F(Window, HomeServerEditorOffersTheHoldingSitesAndKeepsParenthesesOfASiteName) {
    StartAndDownload();
    QComboBox* combo = OpenHomeEditor("106");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(Entries(combo), QStringList({"Unknown", "North(Physical)", "East (HQ)(Virtual)"}));
    EXPECT_EQ(combo->currentText(), "North(Physical)");
    Choose(combo, "East (HQ)(Virtual)");
    EXPECT_EQ(Cell("106", 6), "East (HQ)");
    EXPECT_EQ(Cell("106", 5), "Unsynchronized");
    EXPECT_EQ(grid->GetCellText(Row("106"), -1).count('\t'), 8);

    combo = OpenHomeEditor("101");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(Entries(combo), QStringList({"Unknown", "North(Physical)"}));
    Choose(combo, "Unknown");
    EXPECT_EQ(Cell("101", 6), "Unknown");
    EXPECT_EQ(Check("101"), 2);

    // Back to its real home: free again.
    combo = OpenHomeEditor("101");
    Choose(combo, "North(Physical)");
    EXPECT_EQ(Cell("101", 6), "North");
    EXPECT_EQ(Check("101"), 0);
    EXPECT_EQ(Cell("101", 2), "Ann");
}

TEST_F(Window, SynchronizeLocksWhatItDidWithoutReloadAndRefillsTheListWithIt) {
    StartAndDownload();
    doc->m_bReload = false;
    grid->SetCheck(Row("101"), 1);
    grid->SetCheck(Row("104"), 1);
    Click(ID_SYNCHRONIZE);
    EXPECT_EQ(Checks({"101", "104", "102"}), (std::vector<int>{3, 3, 0}));
    EXPECT_EQ(frame->StatusText(), "All checked extensions or groups have been synchronized");
    EXPECT_TRUE(Holds(East(), "101"));
    EXPECT_TRUE(Holds(North(), "104"));
    EXPECT_FALSE(Holds(East(), "102"));

    doc->m_bReload = true;
    grid->SetCheck(Row("102"), 1);
    Click(ID_SYNCHRONIZE);
    EXPECT_TRUE(Holds(East(), "102"));
    // Downloaded again: every synchronised number shows so and is locked.
    ASSERT_EQ(grid->GetItemCount(), 6);
    for (const char* n : {"101", "102", "104"}) {
        EXPECT_EQ(Cell(n, 5), "Synchronized") << n;
        EXPECT_EQ(Check(n), 2) << n;
    }
    EXPECT_TRUE(frame->Command(ID_SYNCHRONIZE)->isEnabled());
}

// Synchronize measures the checked numbers' mailboxes on their sites' shares only when voice mail
// is to move with them; with the voice mail option off no share is reached.
TEST_F(Window, SynchronizeMeasuresNoMailboxUnlessVoiceMailIsRelocated) {
    constexpr uint16_t kSharePort = 1446;
    setenv("QOB_SMB_PORT", std::to_string(kSharePort).c_str(), 1);
    struct Unset {
        ~Unset() { unsetenv("QOB_SMB_PORT"); }
    } unset;
    ConnectionProbe northShare(sites[0].first, kSharePort), eastShare(sites[1].first, kSharePort);
    ASSERT_TRUE(northShare.Listening() && eastShare.Listening());
    StartAndDownload();
    ASSERT_TRUE(doc->m_bRelocation);
    ASSERT_FALSE(doc->m_bRelocateVM);
    doc->m_bReload = false;
    grid->SetCheck(Row("101"), 1);
    grid->SetCheck(Row("104"), 1);
    Click(ID_SYNCHRONIZE);
    EXPECT_TRUE(Eventually([&] { return Checks({"101", "104"}) == std::vector<int>{3, 3}; }));
    EXPECT_TRUE(Holds(East(), "101"));
    EXPECT_EQ(northShare.Connections(), 0);
    EXPECT_EQ(eastShare.Connections(), 0);
}

TEST_F(Window, DeleteRemovesTheSelectedRowAndTheNumberOnEverySite) {
    StartAndDownload();
    {
        NextDialog<CDelExtDlg> none([](CDelExtDlg& d) { d.reject(); });
        grid->SetFocusedRow(-1);
        Click(ID_DELETE_EXT);  // no focused row: nothing asked, nothing deleted
        EXPECT_EQ(none.seen, 0);
    }
    EXPECT_EQ(grid->GetItemCount(), 6);

    ClickCell(*grid, Row("106"), 2);
    NextDialog<CDelExtDlg> scope([](CDelExtDlg& d) {
        QTest::mouseClick(d.GetDlgItem(1022), Qt::LeftButton);  // everywhere
        QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
    });
    Click(ID_DELETE_EXT);
    EXPECT_EQ(scope.seen, 1);
    EXPECT_EQ(Row("106"), -1);
    EXPECT_EQ(grid->GetItemCount(), 5);
    EXPECT_FALSE(Holds(North(), "106"));
    EXPECT_FALSE(Holds(East(), "106"));
}

TEST_F(Window, AServerNameWithTabsAndLineEndsStaysInItsCell) {
    Add(North(), Ext("107", "physical", "Di\tTab\r\n"));
    StartAndDownload();
    EXPECT_EQ(grid->GetCellText(Row("107"), -1).count('\t'), 8);
    EXPECT_EQ(Cell("107", 2), "Di Tab");
    EXPECT_EQ(Cell("107", 6), "North");
    // Synchronize reads the home from its column: the right one.
    doc->m_bReload = false;
    grid->SetCheck(Row("107"), 1);
    Click(ID_SYNCHRONIZE);
    EXPECT_EQ(Check("107"), 3);
    EXPECT_TRUE(Holds(East(), "107"));
}

TEST_F(Window, LogLevelsReachThePaneAndEveryLineTheFile) {
    Start();
    frame->Log(LOG_DETAIL, "detail only");
    frame->Log(0, "level zero");
    frame->Log(7, "\tlevel seven \n");
    EXPECT_EQ(LogLines(), QStringList({"\tlevel seven"}));
    const std::string file = LogFile();
    EXPECT_NE(file.find("--> detail only\r\n"), std::string::npos);
    EXPECT_NE(file.find("--> level zero\r\n"), std::string::npos);
    EXPECT_NE(file.find("--> \tlevel seven\r\n"), std::string::npos);
}

TEST_F(Window, OptionsKeepsTheSitesAtOnceInTheUsersProfileNotInTheConfigurationFile) {
    Start();
    EXPECT_EQ(doc->GetJobs(), CQOBDoc::kDefaultJobs);
    const std::string before = work.Read("Plexar.xml");
    NextDialog<COptions> options([](COptions& d) {
        auto* jobs = qobject_cast<QSpinBox*>(d.GetDlgItem(1030));
        jobs->setValue(3);
        QTest::mouseClick(d.GetDlgItem(1), Qt::LeftButton);
    });
    Click(ID_OPTIONS);
    ASSERT_EQ(options.seen, 1);
    EXPECT_EQ(doc->GetJobs(), 3);
    EXPECT_EQ(work.Read("Plexar.xml"), before);
    uint32_t kept = 0;
    EXPECT_TRUE(platform::ReadRegDWORD(platform::kAppProfileKey, "Jobs", kept, 0, platform::RegRoot::CurrentUser));
    EXPECT_EQ(kept, 3u);

    // The next start reads it.
    app.reset();
    Start();
    EXPECT_EQ(doc->GetJobs(), 3);
}

class NoConfiguration : public AppTest {};

TEST_F(NoConfiguration, TheMapEditorOpensOnceByItselfAndAgainAfterNew) {
    int opened = 0;
    {
        MessageBoxes boxes(IDOK);
        NextDialog<CEditMap> editor([&](CEditMap& d) {
            ++opened;
            d.reject();
        });
        Start();
        EXPECT_TRUE(Eventually([&] { return editor.seen == 1; }));
        EXPECT_TRUE(boxes.texts.empty());
    }
    QTest::qWait(50);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(app->m_bMapEditDone, 1);

    // New reloads; the file is still missing, so the editor comes again, once.
    NextDialog<CEditMap> again([](CEditMap& d) { d.reject(); });
    Reactivate(frame);
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(Eventually([&] { return again.seen == 1; }));
}

}  // namespace
