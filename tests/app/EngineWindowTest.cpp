// The window while a command waits on a site that does not answer (a zentsim daemon stopped with
// SIGSTOP): it keeps painting and taking input, shows the log and the status live, refuses the
// commands that would change the document (without replaying them later), and Cancel ends the
// command promptly.
#include <QStatusBar>

#include "AppFixture.h"
#include "support/DaemonSites.h"
#include "ui/Options.h"

using namespace apptest;

namespace {

constexpr uint16_t kPort = 1181;

class EngineWindow : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        // A bound for a command nothing cancels: the test fails, it does not hang.
        setenv("QOB_CALL_TIMEOUT_MS", "10000", 1);
        ASSERT_TRUE(sites.Start());
    }
    void TearDown() override {
        AppTest::TearDown();
        unsetenv("QOB_CALL_TIMEOUT_MS");
        unsetenv("QOB_RESOLVER_PORT");
    }
    // Sites Download of both sites, with their passwords; returns once the command started.
    void StartDownload() {
        NextDialog<CDlgSelServer> choose([&](CDlgSelServer& dlg) {
            dlg.m_saPasswords = {"pw-North", "pw-South"};
            dlg.m_listServers->SelectAll();
            QTest::mouseClick(dlg.GetDlgItem(1), Qt::LeftButton);
        });
        QTest::mouseClick(Button(ID_SITES_DOWNLOAD), Qt::LeftButton);
        ASSERT_EQ(choose.seen, 1);
    }

    DaemonSites sites{{{"North", "127.0.0.81"}, {"South", "127.0.0.82"}}, kPort, work.path()};
    // A site that gives up is said in a message box; nobody is there to read it.
    MessageBoxes boxes{IDOK};
};

// A timer of 20 ms that counts its ticks that came more than 100 ms after the one before: the
// window's thread was held up.
class LateTicks {
public:
    LateTicks() {
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            if (m_since.elapsed() > 100) ++late;
            m_since.restart();
        });
        m_since.start();
        m_tick.start(20);
    }
    int late = 0;

private:
    QElapsedTimer m_since;
    QTimer m_tick;
};

TEST_F(EngineWindow, StaysResponsiveWhileASiteHangsAndCancelEndsTheCommandAtOnce) {
    Start();
    ASSERT_TRUE(sites.Stop(sites[1]));
    LateTicks ticks;  // from the click on, the dialog and the command's start included
    StartDownload();
    ASSERT_TRUE(frame->IsBusy());
    QTest::qWait(1500);
    EXPECT_EQ(ticks.late, 0);
    // Still waiting on the stopped site, and saying so.
    ASSERT_TRUE(frame->IsBusy());
    EXPECT_EQ(frame->StatusText(), "Connecting to the sites: 1 of 2 done, waiting for South...");
    EXPECT_TRUE(LogLines().contains("Servers below have been selected to sync:"));
    EXPECT_TRUE(frame->Command(ID_CANCEL_COMMAND)->isEnabled());
    for (int id : {ID_SITES_DOWNLOAD, ID_SYNCHRONIZE, ID_DELETE_EXT, ID_EDIT_MAP, ID_OPTIONS, ID_FILE_NEW})
        EXPECT_FALSE(frame->Command(id)->isEnabled()) << id;

    // What the user does meanwhile is refused, and not done later either.
    NextDialog<COptions> options([](COptions& d) { d.reject(); });
    NextDialog<CDlgSelServer> again([](CDlgSelServer& d) { d.reject(); });
    QTest::mouseClick(Button(ID_OPTIONS), Qt::LeftButton);
    QTest::mouseClick(Button(ID_SITES_DOWNLOAD), Qt::LeftButton);
    Reactivate(frame);
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);

    QElapsedTimer cancelled;
    cancelled.start();
    QTest::mouseClick(Button(ID_CANCEL_COMMAND), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->IsBusy(); }, 40000));
    EXPECT_LT(cancelled.elapsed(), 1000);
    EXPECT_FALSE(doc->m_bDownloaded);
    EXPECT_TRUE(frame->Command(ID_SITES_DOWNLOAD)->isEnabled());
    EXPECT_FALSE(frame->Command(ID_CANCEL_COMMAND)->isEnabled());
    QTest::qWait(300);
    EXPECT_EQ(options.seen, 0);
    EXPECT_EQ(again.seen, 0);
}

TEST_F(EngineWindow, EscCancelsAndClosingTheWindowDuringACommandEndsItFirst) {
    Start();
    ASSERT_TRUE(sites.Stop(sites[0]));
    StartDownload();
    ASSERT_TRUE(frame->IsBusy());
    QTest::qWait(200);
    QElapsedTimer cancelled;
    cancelled.start();
    Reactivate(frame);
    QTest::keyClick(frame, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->IsBusy(); }, 40000));
    EXPECT_LT(cancelled.elapsed(), 1000);

    StartDownload();
    ASSERT_TRUE(frame->IsBusy());
    QTest::qWait(200);
    cancelled.restart();
    EXPECT_TRUE(frame->close());
    EXPECT_LT(cancelled.elapsed(), 1000);
    EXPECT_FALSE(frame->IsBusy());
    // The download's own ending ran: the passwords typed for it are not left in the file.
    CQOBDoc reread;
    reread.SetWorkDir(work.path());
    ASSERT_TRUE(reread.LoadConfig());
    for (const SiteRec& s : reread.m_sites) EXPECT_EQ(s.DayWhite, "") << s.Name;
}

TEST_F(EngineWindow, ADownloadOfAnsweringSitesFillsTheListAndItsOutcomeStaysInTheStatusBar) {
    Start();
    StartDownload();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(doc->m_bDownloaded);
    EXPECT_EQ(grid->GetItemCount(), 20);
    EXPECT_EQ(frame->StatusText(), "Ready for synchronization");
    // The outcome stays when a button's prompt came and went.
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QApplication::sendEvent(Button(ID_SYNCHRONIZE), &enter);
    QApplication::sendEvent(Button(ID_SYNCHRONIZE), &leave);
    EXPECT_EQ(frame->StatusText(), "Ready for synchronization");
    EXPECT_TRUE(Check("100") == LGCS_UNCHECKED);
}

}  // namespace
