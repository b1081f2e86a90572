// The program's window started as the program starts it, in this process, against sites served
// in process by zentsim through the real proxy library; the configuration and log file live in a
// fresh directory, and the single-instance name in a private temporary directory.
#pragma once

#include <QAction>
#include <QToolBar>
#include <QToolButton>

#include <arpa/inet.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/MainFrm.h"
#include "app/QOB.h"
#include "com/ProxyLoader.h"
#include "connection/SPDCOM.h"
#include "document/QOBDoc.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"
#include "support/SimRecords.h"
#include "support/TempDir.h"
#include "ui/DlgSelServer.h"
#include "ui/LogView.h"
#include "ui/QOBView.h"
#include "../ui/UiDriver.h"

// QStrings read in test failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace apptest {

using namespace uitest;

// Runs the event loop until the condition holds, for at most five seconds.
inline bool Eventually(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }

class AppTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("TMPDIR", tmp.path().c_str(), 1);
        com::ResetProxyStubCache();
        server::CZentServDcom::SetListCapacity(160000);
        config.SetWorkDir(work.path());
    }
    void TearDown() override {
        app.reset();
        for (auto& [address, site] : sites) sim::UnhostSite(address);
        unsetenv("TMPDIR");
        UiTest::TearDown();
    }

    // A site served at 127.0.0.(40 + i) with password "pw", extension numbers of three digits.
    sim::Site& AddSite(const std::string& name) {
        sim::InitOptions o;
        o.name = name;
        o.adminPassword = "pw";
        o.extNumberLength = 3;
        o.dialPlan = {{'8', 1}, {'9', 6}, {'5', 5}};
        sim::SiteState state;
        std::string error;
        EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
        auto site = std::make_shared<sim::Site>(std::move(state));
        const std::string address = "127.0.0." + std::to_string(40 + sites.size());
        sim::HostSite(address, site);
        sites.emplace_back(address, site);
        SiteRec rec;
        rec.Name = name;
        inet_pton(AF_INET, address.c_str(), &rec.IP);
        config.m_sites.push_back(rec);
        return *site;
    }
    // Routes between every pair of sites, then the configuration file.
    void WriteConfig() {
        for (SiteRec& from : config.m_sites) {
            from.Routes.clear();
            for (const SiteRec& to : config.m_sites)
                if (&to != &from) from.Routes.push_back(MapEntry{to.Name, Suffix(to.Name), "8N"});
        }
        ASSERT_TRUE(config.SaveConfig()) << config.GetConfigError();
    }
    static std::string Suffix(const std::string& name) {
        std::string s;
        for (char c : name)
            if (isalpha(static_cast<unsigned char>(c))) s += static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return s + ".example";
    }
    static void Add(sim::Site& site, sim::NewExtension ext, std::vector<std::string> members = {}) {
        AddSimRecord(site, std::move(ext), std::move(members));
    }
    static sim::NewExtension Ext(const std::string& number, const std::string& type = "physical",
                                 const std::string& first = "") {
        sim::NewExtension e;
        e.number = number;
        e.type = type;
        if (!first.empty()) e.firstName = first;
        return e;
    }
    static sim::NewExtension Copy(const std::string& number, const std::string& home) {
        sim::NewExtension e = Ext(number, "virtual");
        e.forwarding = true;
        e.fwdDial = "8" + number;
        e.fwdEmail = "ext" + number + "@" + Suffix(home);
        return e;
    }
    static bool Holds(sim::Site& site, const std::string& number) {
        std::lock_guard lock(site.Mutex());
        return site.State().FindRecord(number) != nullptr;
    }

    void Start() {
        app = std::make_unique<CQOBApp>();
        ASSERT_TRUE(app->InitInstance(work.path()));
        frame = app->GetMainWnd();
        doc = app->GetDocument();
        view = frame->GetListView();
        grid = view->m_listExt;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    }

    QToolButton* Button(int id) {
        return qobject_cast<QToolButton*>(frame->GetToolBar()->widgetForAction(frame->Command(id)));
    }
    // A click on a toolbar button; a command it started on the engine has ended when it returns.
    void Click(int id) {
        QTest::mouseClick(Button(id), Qt::LeftButton);
        WaitIdle();
    }
    // Until no command runs, for at most 30 seconds.
    bool WaitIdle() {
        const bool idle = QTest::qWaitFor([&] { return !frame->IsBusy(); }, 30000);
        EXPECT_TRUE(idle) << "the command did not end";
        return idle;
    }

    // Sites Download, choosing the sites of the given rows and typing "pw" for each; the texts of
    // the message boxes it showed (answered with `answer`) are kept in `shown`.
    int Download(std::vector<int> rows, const QString& password = QStringLiteral("pw"), int answer = IDOK) {
        MessageBoxes boxes(answer);
        NextDialog<CDlgSelServer> choose(ChooseSites(rows, password));
        Click(ID_SITES_DOWNLOAD);
        shown = boxes.texts;
        return choose.seen;
    }
    // What answers Sites Download's dialog: the sites of the given rows chosen, `password` typed for each.
    static std::function<void(CDlgSelServer&)> ChooseSites(std::vector<int> rows, const QString& password = QStringLiteral("pw")) {
        return [rows, password](CDlgSelServer& dlg) {
            CListGrid& g = *dlg.m_listServers;
            for (int r : rows) {
                ClickCell(g, r, 1);
                ClickCell(g, r, 1);
                QTest::keyClicks(dlg.m_editPassword, password);
                QTest::keyClick(dlg.m_editPassword, Qt::Key_Return);
            }
            for (size_t i = 0; i < rows.size(); ++i)
                ClickCell(g, rows[i], 0, i == 0 ? Qt::NoModifier : Qt::ControlModifier);
            QTest::mouseClick(dlg.GetDlgItem(1), Qt::LeftButton);
            // A refused choice leaves the dialog up: give up.
            if (dlg.isVisible()) dlg.reject();
        };
    }
    std::vector<QString> shown;

    int Row(const std::string& number) { return grid->FindRow(QString::fromStdString(number), 0); }
    QString Cell(const std::string& number, int column) { return grid->GetCellText(Row(number), column).trimmed(); }
    int Check(const std::string& number) { return grid->GetCheck(Row(number)); }
    std::vector<int> Checks(const std::vector<std::string>& numbers) {
        std::vector<int> out;
        for (const auto& n : numbers) out.push_back(Check(n));
        return out;
    }
    std::string LogFile() const {
        std::ifstream in(work.file("QOB.log"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    QStringList LogLines() const {
        QStringList out;
        for (int i = 0; i < frame->GetLogView()->GetLineCount(); ++i) out << frame->GetLogView()->GetLine(i);
        return out;
    }

    TempDir registry, work, tmp;
    CQOBDoc config;
    std::vector<std::pair<std::string, std::shared_ptr<sim::Site>>> sites;
    std::unique_ptr<CQOBApp> app;
    CMainFrame* frame = nullptr;
    CQOBDoc* doc = nullptr;
    CQOBView* view = nullptr;
    CListGrid* grid = nullptr;
};

}  // namespace apptest
