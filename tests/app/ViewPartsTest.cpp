// The list's printing into PDF files read back with pdftotext, the log pane's scrolling and its
// file failures, and finding and starting the administration program.
#include <QScrollBar>
#include <QTextBrowser>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "AppFixture.h"
#include "app/AdminTool.h"
#include "app/UserGuide.h"
#include "platform/Registry.h"
#include "support/RecordingFrame.h"
#include "support/RunProgram.h"
#include "ui/UiText.h"

using namespace apptest;

namespace {

class Printing : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        view = std::make_unique<CQOBView>(&doc, &frame);
        view->resize(900, 400);
    }
    void AddRows(int n) {
        for (int i = 0; i < n; ++i)
            view->m_listExt->InsertRow(QStringLiteral("%1\tExtension\tFirst%2\tLast%2\t \tUnsynchronized\tNorth\t1\t0")
                                           .arg(1000 + i)
                                           .arg(i, 3, 10, QLatin1Char('0')));
    }
    // The PDF's text, page by page.
    std::vector<std::string> PrintedPages() {
        const std::string pdf = dir.file("list.pdf");
        EXPECT_TRUE(view->PrintToPdf(QString::fromStdString(pdf)));
        const ProgramResult r = RunProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> pages;
        std::string text = r.out;
        size_t start = 0, ff;
        while ((ff = text.find('\f', start)) != std::string::npos) {
            pages.push_back(text.substr(start, ff - start));
            start = ff + 1;
        }
        return pages;
    }
    TempDir dir;
    CQOBDoc doc;
    RecordingFrame frame;
    std::unique_ptr<CQOBView> view;
};

TEST_F(Printing, AnEmptyListIsOnePageWithTitlePageNumberAndHeader) {
    const std::vector<std::string> pages = PrintedPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].find("Extension List - Tarn Manager"), std::string::npos) << pages[0];
    EXPECT_NE(pages[0].find("Page 1"), std::string::npos);
    EXPECT_NE(pages[0].find("Ext. No."), std::string::npos);
    EXPECT_NE(pages[0].find("Home Server"), std::string::npos);
}

TEST_F(Printing, EveryRowIsPrintedOnceInListOrderFiftyToAPage) {
    AddRows(120);
    view->m_listExt->OnColumnclick(2);  // sorted by first name, descending after the second click
    view->m_listExt->OnColumnclick(2);
    ASSERT_EQ(view->PageCount(), 3);
    const std::vector<std::string> pages = PrintedPages();
    ASSERT_EQ(pages.size(), 3u);
    std::vector<int> printed;
    std::vector<int> perPage;
    const std::regex row("(\\d{4}) +Extension +First(\\d{3})");
    for (size_t p = 0; p < pages.size(); ++p) {
        EXPECT_NE(pages[p].find("Page " + std::to_string(p + 1)), std::string::npos);
        int n = 0;
        for (auto it = std::sregex_iterator(pages[p].begin(), pages[p].end(), row); it != std::sregex_iterator(); ++it) {
            printed.push_back(std::stoi((*it)[1]));
            ++n;
        }
        perPage.push_back(n);
    }
    EXPECT_EQ(perPage, (std::vector<int>{50, 50, 20}));
    std::vector<int> expected;
    for (int i = 0; i < 120; ++i) expected.push_back(view->m_listExt->GetCellText(i, 0).toInt());
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(expected.front(), 1119);
}

// Each column is as wide as its title and its words need in the printer's font: none is cut with
// "...", in either language, however the columns are sized on the screen.
TEST_F(Printing, EveryColumnPrintsItsTitleAndWordsWhole) {
    for (bool chinese : {false, true}) {
        UseLanguage(chinese);
        view = std::make_unique<CQOBView>(&doc, &frame);
        view->resize(900, 400);
        const QString yes = ui::LoadQString(44223), no = ui::LoadQString(44224);
        view->m_listExt->InsertRow(QStringLiteral("1000\tExtension\tAnn\tLee\text1000\t%1\tNorth\t1\t0").arg(no));
        view->m_listExt->InsertRow(QStringLiteral("1001\tGroup\tBo\tRay\text1001\t%1\tSouth\t0\t1").arg(yes));
        for (int c = 0; c < 9; ++c) view->m_listExt->SetColumnWidth(c, 60);
        const std::vector<std::string> pages = PrintedPages();
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].find("..."), std::string::npos) << pages[0];
        for (const QString& word : ui::LoadQString(44201).split(QLatin1Char('\t')) + QStringList{yes, no})
            EXPECT_NE(pages[0].find(word.toStdString()), std::string::npos) << word.toStdString() << "\n" << pages[0];
    }
}

TEST(PageCount, FiftyRowsAPage) {
    // The count as the printed pages show it: 50 fill one page, the 51st starts the next.
    CQOBDoc doc;
    RecordingFrame frame;
    CQOBView view(&doc, &frame);
    EXPECT_EQ(view.PageCount(), 1);
    for (int i = 0; i < 51; ++i) {
        if (i == 50) EXPECT_EQ(view.PageCount(), 1);
        view.m_listExt->InsertRow(QStringLiteral("%1\tx").arg(i + 100));
    }
    EXPECT_EQ(view.PageCount(), 2);
}

class LogPane : public UiTest {
protected:
    TempDir dir;
    CLogView log;
};

TEST_F(LogPane, AnUnwritableFileIsSaidInThePaneAndTheNextWritableRequestWrites) {
    log.SetLogFile(dir.file("missing/QOB.log"));
    EXPECT_EQ(log.OnLogMessage(LOG_INFO, "shown"), 1);
    EXPECT_EQ(log.OnLogMessage(LOG_DETAIL, "hidden"), 1);
    ASSERT_EQ(log.GetLineCount(), 2);  // said once per command
    EXPECT_EQ(log.GetLine(0), "shown");
    EXPECT_EQ(log.GetLine(1), "Failed to open the log file.");
    std::filesystem::create_directory(dir.file("missing"));
    EXPECT_EQ(log.OnLogMessage(LOG_INFO, "written"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("missing/QOB.log")));
}

TEST_F(LogPane, EachNewLineBecomesTheBottomLineEvenWhenScrolledUp) {
    log.SetLogFile(dir.file("QOB.log"));
    log.resize(300, 200);
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    ASSERT_GT(log.VisibleLines(), 2);
    for (int i = 0; i < 60; ++i) log.OnLogMessage(LOG_INFO, "line " + std::to_string(i));
    QTest::qWait(10);
    log.verticalScrollBar()->setValue(0);
    log.OnLogMessage(LOG_DETAIL, "file only");
    QTest::qWait(10);
    EXPECT_EQ(log.verticalScrollBar()->value(), 0);  // a level-1 line moves nothing
    log.OnLogMessage(LOG_INFO, "newest");
    QTest::qWait(10);
    EXPECT_EQ(log.verticalScrollBar()->value(), log.GetLineCount() - log.VisibleLines());
    const QModelIndex bottom = log.indexAt(QPoint(5, (log.VisibleLines() - 1) * log.sizeHintForRow(0) + 2));
    EXPECT_EQ(bottom.row(), log.GetLineCount() - 1);
}

// A text with line ends inside, or far wider than the pane, is one line like any other: every row
// keeps one line's height and the newest line stays the bottom visible one.
TEST_F(LogPane, MultiLineAndLongTextsKeepTheNewestLineAtTheBottom) {
    log.SetLogFile(dir.file("QOB.log"));
    log.resize(300, 200);
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    const int oneLine = log.VisibleLines();
    ASSERT_GT(oneLine, 2);
    log.OnLogMessage(LOG_INFO, "first line\r\nsecond line\nthird line");
    log.OnLogMessage(LOG_INFO, std::string(2000, 'w'));
    for (int i = 0; i < 30; ++i) log.OnLogMessage(LOG_INFO, "filler " + std::to_string(i));
    for (int i = 0; i < 40; ++i) {
        log.OnLogMessage(LOG_INFO, i % 7 == 3 ? "two\nlines " + std::to_string(i) : "line " + std::to_string(i));
        QTest::qWait(1);
        const int newest = log.GetLineCount() - 1;
        const QRect r = log.visualRect(log.model()->index(newest, 0));
        ASSERT_TRUE(r.top() >= 0 && r.top() < log.viewport()->height())
            << "line " << newest << " at " << r.y() << " in " << log.viewport()->height();
        ASSERT_EQ(log.indexAt(QPoint(5, log.viewport()->height() - 2)).row(), newest) << "after line " << newest;
    }
    EXPECT_EQ(log.VisibleLines(), oneLine);
    EXPECT_EQ(log.sizeHintForRow(0), log.sizeHintForRow(5));
    // The log makes every entry one line before the pane gets it.
    EXPECT_EQ(log.GetLine(0), "first line second line third line");
}

// The administration program's uninstall entries.
TEST(AdminToolRules, DirectoryAfterDashCOrBetweenQuotes) {
    EXPECT_EQ(AdminDirAfterC("C:\\Zent\\unins.exe -cC:\\Zent\\Admin\\setup.isu"), "C:\\Zent\\Admin\\");
    EXPECT_EQ(AdminDirAfterC("/opt/zent/uninstall -c /opt/zent/admin/setup.isu"), "/opt/zent/admin/");
    EXPECT_EQ(AdminDirAfterC("X/opt/zent/remove"), "/opt/zent/");  // no "-c": from the second character
    EXPECT_EQ(AdminDirBetweenQuotes("\"C:\\Program Files\\Zent\\remove.exe\" /S"), "C:\\Program Files\\Zent\\");
    EXPECT_EQ(AdminDirBetweenQuotes("no quotes"), "");
}

class AdminTool : public AppTest {
protected:
    static std::string Key(const std::string& product) {
        return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
    }
    void Uninstall(const std::string& product, const std::string& value) {
        ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::LocalMachine, Key(product), "UninstallString",
                                          platform::RegValue::String(value)));
    }
    std::string MakeProgram(const std::string& sub, const std::string& name) {
        std::filesystem::create_directories(work.file(sub));
        const std::string path = work.file(sub + "/" + name);
        std::ofstream(path) << "#!/bin/sh\npwd > launched\n";
        ::chmod(path.c_str(), 0755);
        return work.file(sub) + "/";
    }
};

TEST_F(AdminTool, TheFirstEntryNamingKqradminMakesTheLaterEntriesLookForIt) {
    EXPECT_TRUE(FindAdminTool().dir.empty());
    // Order 1 exists but its directory holds neither program; order 4's holds both names.
    Uninstall("ZentWare RT 4.6", "/bin/true -c " + work.file("empty") + "/x");
    const std::string dir = MakeProgram("admin", "kqradmin.exe");
    MakeProgram("admin", "zentadmin.exe");
    Uninstall("ZentWare Administrator 4.6", "\"" + dir + "uninstall\" now");
    const ::AdminTool found = FindAdminTool();
    EXPECT_EQ(found.dir, dir);
    EXPECT_EQ(found.exe, "kqradmin.exe");
}

TEST_F(AdminTool, LaunchStartsTheProgramInItsDirectoryAndIsEnabledOnlyWhenFound) {
    const std::string dir = MakeProgram("vx", "zentadmin.exe");
    Uninstall("ZentWare VX 4.5", "/bin/true -c" + dir + "setup.isu");
    WriteConfig();
    Start();
    ASSERT_TRUE(frame->Command(ID_LAUNCH_ADMIN)->isEnabled());
    EXPECT_EQ(frame->m_strAdminExe, "zentadmin.exe");
    Click(ID_LAUNCH_ADMIN);
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(dir + "launched"); }));
    std::ifstream in(dir + "launched");
    std::string cwd;
    std::getline(in, cwd);
    EXPECT_EQ(cwd + "/", dir);
    // Removed since the start: nothing happens and nothing is said.
    std::filesystem::remove_all(dir);
    MessageBoxes boxes;
    Click(ID_LAUNCH_ADMIN);
    QTest::qWait(50);
    EXPECT_TRUE(boxes.texts.empty());
}

// Help on a desktop without a launcher (here, Qt's offscreen platform): the guide in a window of
// the program's own, in the program's language; Qt's own dialogs speak it too.
class Help : public AppTest {
protected:
    CHelpWindow* Shown() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<CHelpWindow*>(w); h && h->isVisible()) return h;
        return nullptr;
    }
};

TEST_F(Help, WithoutADesktopLauncherTheGuideOpensInAWindowOfItsOwnInTheLanguageInForce) {
    AddSite("North");
    WriteConfig();
    Start();
    ASSERT_FALSE(frame->m_strHelpFile.isEmpty()) << "the build renders the guide";
    Click(ID_HELP);
    CHelpWindow* help = Shown();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->Browser()->source().toLocalFile().endsWith(QStringLiteral("/guide.html")));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("Tarn Manager user guide")));
    EXPECT_EQ(QCoreApplication::translate("QPrintDialog", "Print"), "Print");
    app.reset();

    UseLanguage(true);
    Start();
    Click(ID_HELP);
    help = Shown();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->windowTitle(), QString::fromUtf8("Tarn Manager 帮助"));
    EXPECT_TRUE(help->Browser()->source().toLocalFile().endsWith(QStringLiteral("/guide.zh_CN.html")));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QString::fromUtf8("用户指南")));
    EXPECT_EQ(QCoreApplication::translate("QPrintDialog", "Print"), QString::fromUtf8("打印"));
    app.reset();
    UseLanguage(false);
    ASSERT_TRUE(LoadQtTranslations());
}

TEST(UserGuide, FoundInstalledBesideTheProgram) {
    TempDir root;
    std::filesystem::create_directories(root.file("bin"));
    std::filesystem::create_directories(root.file("share/doc/tarn-manager"));
    root.Write("share/doc/tarn-manager/guide.html", "<html></html>");
    EXPECT_EQ(FindUserGuide(QString::fromStdString(root.file("bin"))).toStdString(),
              std::filesystem::canonical(root.file("share/doc/tarn-manager/guide.html")).string());
    // Chinese where it is there, else the English one.
    EXPECT_EQ(FindUserGuide(QString::fromStdString(root.file("bin")), true).toStdString(),
              std::filesystem::canonical(root.file("share/doc/tarn-manager/guide.html")).string());
    root.Write("share/doc/tarn-manager/guide.zh_CN.html", "<html></html>");
    EXPECT_EQ(FindUserGuide(QString::fromStdString(root.file("bin")), true).toStdString(),
              std::filesystem::canonical(root.file("share/doc/tarn-manager/guide.zh_CN.html")).string());
}

}  // namespace
