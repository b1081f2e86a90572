// The History window against in-process sites: a synchronisation undone byte for byte, a record
// changed since left alone when the user says so, the numbers that failed run again with their
// homes, and a command the program died in shown at start and checked against the sites.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>

#include "WindowFixture.h"
#include "document/JournalFormat.h"
#include "server/ExtRec.h"
#include "ui/HistoryWnd.h"

namespace apptest {
namespace {

class History : public Window {
protected:
    CHistoryWnd* Open() {
        frame->Command(ID_HISTORY)->trigger();
        CHistoryWnd* h = frame->GetHistoryWindow();
        EXPECT_TRUE(h && h->isVisible());
        return h;
    }
    // A button of the History window (or a command of the main window) that downloads the
    // command's sites first: both sites chosen with their password, the boxes answered in turn.
    int Act(const std::function<void()>& press, std::vector<int> answers) {
        MessageBoxes boxes(std::move(answers));
        NextDialog<CDlgSelServer> choose(ChooseSites({0, 1}));
        press();
        WaitIdle();
        shown = boxes.texts;
        return choose.seen;
    }
    void SyncChecked(std::initializer_list<const char*> numbers) {
        for (const char* n : numbers) grid->SetCheck(Row(n), 1);
        Click(ID_SYNCHRONIZE);
    }
    document::JournalContents Journal() {
        document::JournalContents j;
        std::string error;
        EXPECT_TRUE(document::ReadJournalFile(work.file(document::kJournalFileName), j, error)) << error;
        return j;
    }
    static std::string Dump(sim::Site& site) { return site.DumpText(); }
    static void Rename(sim::Site& site, const std::string& number, const std::string& first) {
        std::string error;
        ASSERT_TRUE(site.Modify(
            [&](sim::SiteState& s, std::string&) {
                sim::Bytes bytes = s.FindRecord(number)->bytes;
                server::ExtRec(bytes.data(), bytes.size()).SetExtFirstName(first);
                return s.ReplaceRecord(std::move(bytes), nullptr);
            },
            error))
            << error;
    }
    static std::string FirstName(sim::Site& site, const std::string& number) {
        std::lock_guard lock(site.Mutex());
        const sim::Stored* held = site.State().FindRecord(number);
        return held ? std::string(server::ConstExtRec(held->bytes.data(), held->bytes.size()).ExtFirstName()) : "-";
    }
};

TEST_F(History, AnUndoneSynchronizationLeavesEverySiteAsItWasAndIsACommandOfItsOwn) {
    StartAndDownload();
    doc->m_bReload = false;
    const std::string north = Dump(North()), east = Dump(East());
    SyncChecked({"101", "102"});
    ASSERT_TRUE(Holds(East(), "101"));
    ASSERT_TRUE(Holds(East(), "102"));

    CHistoryWnd* h = Open();
    ASSERT_EQ(h->m_listCommands->topLevelItemCount(), 1);
    EXPECT_EQ(h->m_listCommands->topLevelItem(0)->text(2), "sync");
    EXPECT_TRUE(h->m_textDetails->toPlainText().contains("AddExtension\tapplied")) << h->m_textDetails->toPlainText().toStdString();
    EXPECT_TRUE(h->m_btnUndo->isEnabled());
    EXPECT_FALSE(h->m_btnRetry->isEnabled());  // nothing failed

    EXPECT_EQ(Act([&] { QTest::mouseClick(h->m_btnUndo, Qt::LeftButton); }, {IDYES}), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith("Undo command 1? As the sites were downloaded just now: 2 to put back")) << shown[0].toStdString();
    EXPECT_EQ(Dump(East()), east);
    EXPECT_EQ(Dump(North()), north);
    // The undo is in the list, newest first, and says what it put back.
    ASSERT_EQ(h->m_listCommands->topLevelItemCount(), 2);
    EXPECT_EQ(h->m_listCommands->topLevelItem(0)->text(2), "undo 1");
    EXPECT_EQ(h->m_listCommands->topLevelItem(0)->text(5), "ok");
    EXPECT_TRUE(h->m_textDetails->toPlainText().contains("East (HQ)\t101\trecord\tput back as it was"))
        << h->m_textDetails->toPlainText().toStdString();
    EXPECT_TRUE(LogLines().contains("Undo of command 1:"));

    // Declining the question sends nothing.
    SyncChecked({"101"});
    const std::string synced = Dump(East());
    h->Select(3);
    Act([&] { QTest::mouseClick(h->m_btnUndo, Qt::LeftButton); }, {IDNO});
    EXPECT_EQ(Dump(East()), synced);
    EXPECT_EQ(Journal().commands.size(), 3u);
}

TEST_F(History, ARecordChangedSinceIsAskedAboutAndNoLeavesItWhileTheRestIsPutBack) {
    StartAndDownload();
    doc->m_bReload = false;
    SyncChecked({"101", "102"});
    Rename(East(), "102", "Changed");

    CHistoryWnd* h = Open();
    Act([&] { QTest::mouseClick(h->m_btnUndo, Qt::LeftButton); }, {IDYES, IDNO});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[0].contains("1 to put back, 2 already as they were, 1 changed since the command")) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].startsWith("1 record(s) were changed on the sites after command 1.")) << shown[1].toStdString();
    EXPECT_FALSE(Holds(East(), "101"));
    EXPECT_EQ(FirstName(East(), "102"), "Changed");
    EXPECT_TRUE(h->m_textDetails->toPlainText().contains("102\trecord\tchanged since the command: left alone"));
    EXPECT_EQ(h->m_listCommands->topLevelItem(0)->text(5), "failed");

    // Yes puts it back all the same: the copy the synchronisation added goes.
    ASSERT_EQ(h->SelectedId(), 1u);
    Act([&] { QTest::mouseClick(h->m_btnUndo, Qt::LeftButton); }, {IDYES, IDYES});
    EXPECT_FALSE(Holds(East(), "102"));
}

TEST_F(History, RetryFailedRunsAgainOnlyTheNumbersThatFailedWithTheirHomes) {
    StartAndDownload();
    doc->m_bReload = false;
    std::string error;
    // East takes the first copy and refuses the second.
    ASSERT_TRUE(East().SetMethodFault("AddExtension", sim::MethodFault{com::E_FAIL, 1, false}, error)) << error;
    SyncChecked({"101", "102"});
    EXPECT_TRUE(Holds(East(), "101"));
    EXPECT_FALSE(Holds(East(), "102"));
    EXPECT_TRUE(LogLines().contains("Some numbers were not done: Retry Failed (Sites menu, or the History) runs them again."));
    ASSERT_TRUE(East().Modify([](sim::SiteState& s, std::string&) { s.faults.methods.clear(); return true; }, error));

    EXPECT_EQ(Act([&] { frame->Command(ID_RETRY_FAILED)->trigger(); }, {IDOK}), 1);
    EXPECT_TRUE(Holds(East(), "102"));
    const document::JournalContents j = Journal();
    ASSERT_EQ(j.commands.size(), 2u);
    const document::JournalCommand& retry = j.commands[1];
    EXPECT_EQ(retry.kind, "retry");
    EXPECT_EQ(retry.of, 1u);
    EXPECT_EQ(retry.numbers, std::vector<std::string>{"102"});
    EXPECT_EQ(retry.homes.at("102"), "North");
    EXPECT_EQ(retry.result, "ok");
    for (const document::JournalEntry& e : retry.changes) EXPECT_EQ(e.number, "102");

    // Nothing is left to run again: said, nothing downloaded.
    EXPECT_EQ(Act([&] { frame->Command(ID_RETRY_FAILED)->trigger(); }, {IDOK}), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Every number of command 2 was done: nothing to retry.");
}

TEST_F(History, ACommandTheProgramDiedInOpensTheHistoryAtStartAndCheckSaysWhatReachedTheSites) {
    StartAndDownload();
    doc->m_bReload = false;
    SyncChecked({"101"});
    app.reset();
    // As a kill after the copy was sent leaves it: the change written, no answer, no end.
    const std::string path = work.file(document::kJournalFileName);
    std::ifstream in(path);
    std::string kept, line;
    while (std::getline(in, line))
        if (line.find("\"entry\":\"answer\"") == std::string::npos && line.find("\"entry\":\"number\"") == std::string::npos &&
            line.find("\"entry\":\"end\"") == std::string::npos)
            kept += line + "\n";
    in.close();
    std::ofstream(path, std::ios::trunc) << kept;

    Start();
    CHistoryWnd* h = frame->GetHistoryWindow();
    ASSERT_TRUE(h && h->isVisible());
    EXPECT_TRUE(h->m_labelBanner->isVisible());
    EXPECT_TRUE(h->m_labelBanner->text().startsWith("Command 1 did not end")) << h->m_labelBanner->text().toStdString();
    EXPECT_EQ(h->SelectedId(), 1u);
    EXPECT_TRUE(h->m_textDetails->toPlainText().contains("no answer written")) << h->m_textDetails->toPlainText().toStdString();

    EXPECT_EQ(Act([&] { QTest::mouseClick(h->m_btnCheck, Qt::LeftButton); }, {IDOK}), 1);
    EXPECT_TRUE(h->m_textDetails->toPlainText().contains("East (HQ)\t101\trecord\treached the site"))
        << h->m_textDetails->toPlainText().toStdString();
    // Retry Failed takes the number no outcome was written for.
    EXPECT_TRUE(h->m_btnRetry->isEnabled());
}

}  // namespace
}  // namespace apptest
