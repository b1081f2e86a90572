// Commands that work on several sites at once: what they log and leave on the sites is what a run
// one site after another logs and leaves, whatever the order the sites answer in; and a stop
// request ends them between calls, saying what was done and what was not.
#include <algorithm>
#include <functional>
#include <random>
#include <stop_token>

#include "DownloadFixture.h"
#include "document/SiteJobs.h"

using namespace downloadtest;

namespace {

constexpr int kEverything = 1;

// A recorder that lets a test act at a given point of a command.
class HookedFrame : public RecordingFrame {
public:
    void Log(uint32_t level, const std::string& text) override {
        RecordingFrame::Log(level, text);
        if (onLog) onLog(text);
    }
    void ShowProgress(int done, int total) override {
        progress.emplace_back(done, total);
        if (onProgress) onProgress(done, total);
    }
    bool AskDeleteScope(DeleteScopePrompt& prompt) override {
        if (onAsk) onAsk();
        return RecordingFrame::AskDeleteScope(prompt);
    }
    std::function<void()> onAsk;
    std::function<void(const std::string&)> onLog;
    std::function<void(int, int)> onProgress;
    std::vector<std::pair<int, int>> progress;
};

class Parallel : public DownloadFixture {
protected:
    void SetUp() override {
        DownloadFixture::SetUp();
        doc.SetFrame(&hooked);
        hooked.answer = IDYES;
    }

    static void Delay(sim::Site& site, uint32_t ms) {
        std::string error;
        ASSERT_TRUE(site.Modify(
            [ms](sim::SiteState& s, std::string&) {
                s.faults.delayMs = ms;
                return true;
            },
            error))
            << error;
    }

    // Six sites answering after different delays, with every kind of number: synchronised,
    // missing copies, a stale copy, names that differ, one site's own; one site refuses new
    // copies and one has no route to East.
    void Network(unsigned seed) {
        for (const char* name : {"North", "South", "East", "West", "Upper", "Lower"}) AddSite(name);
        LinkAll();
        auto& west = doc.m_sites[3];
        west.Routes.erase(std::remove_if(west.Routes.begin(), west.Routes.end(),
                                         [](const MapEntry& e) { return e.Name == "East"; }),
                          west.Routes.end());
        std::mt19937 random(seed);
        for (SimSite& s : sites) Delay(*s.site, random() % 12);
        sim::Site& north = *sites[0].site;
        for (int n = 100; n < 130; ++n) Add(north, Ext(std::to_string(n)));
        for (size_t i = 1; i < sites.size(); ++i) {
            Add(*sites[i].site, Copy("100", "North"));
            if (i % 2) Add(*sites[i].site, Copy("101", "North"));
            Add(*sites[i].site, Ext(std::to_string(200 + i)));
        }
        Add(*sites[2].site, Ext("102", "virtual", "Other"));
        Fault(*sites[4].site, "AddExtension", com::E_FAIL, 3);
    }

    bool Logged(uint32_t level, const std::string& text) const {
        return std::find(hooked.logs.begin(), hooked.logs.end(), std::make_pair(level, text)) != hooked.logs.end();
    }
    bool LoggedPrefix(uint32_t level, const std::string& prefix) const {
        for (const auto& [l, t] : hooked.logs)
            if (l == level && t.rfind(prefix, 0) == 0) return true;
        return false;
    }

    HookedFrame hooked;

    struct Outcome {
        std::vector<std::pair<uint32_t, std::string>> logs;
        std::vector<std::string> held;  // every site's records: number, type, forwarding
        std::vector<bool> results;
    };
    Outcome Run(int jobs) {
        doc.SetJobs(jobs);
        Outcome o;
        EXPECT_TRUE(doc.Download());
        std::vector<CQOBDoc::SyncRequest> list;
        for (int n = 100; n < 130; ++n) list.push_back({std::to_string(n), "North"});
        list.push_back({"202", "East"});
        doc.SyncNumbers(list, [&](const CQOBDoc::SyncRequest& r) { o.results.push_back(r.ok); });
        hooked.deleteScope = kEverything;
        doc.DeleteEverywhere("101");
        doc.OnCloseDocument();
        o.logs = hooked.logs;
        for (SimSite& s : sites) {
            std::lock_guard lock(s.site->Mutex());
            for (const auto& [number, stored] : s.site->State().Records()) {
                server::ConstExtRec r(stored.bytes.data(), stored.bytes.size());
                o.held.push_back(s.name + " " + number + " " + std::to_string(r.ExtensionType()) + " " +
                                 std::string(r.FwdDialString()) + " " + std::string(r.FwdEmailAddr()));
            }
        }
        return o;
    }
};

TEST_F(Parallel, SitesSideBySideLogAndLeaveWhatOneAfterAnotherDoes) {
    Network(7);
    const Outcome one = Run(1);
    // The same network again, from scratch.
    TearDown();
    sites.clear();
    doc.m_sites.clear();
    doc.m_selServers.clear();
    hooked.logs.clear();
    SetUp();
    Network(7);
    const Outcome eight = Run(8);

    ASSERT_EQ(one.logs.size(), eight.logs.size());
    for (size_t i = 0; i < one.logs.size(); ++i) ASSERT_EQ(one.logs[i], eight.logs[i]) << "line " << i;
    EXPECT_EQ(one.held, eight.held);
    EXPECT_EQ(one.results, eight.results);
    // The run did meet what it is meant to: a refused copy and a missing route failed numbers.
    EXPECT_NE(std::count(one.results.begin(), one.results.end(), false), 0);
    EXPECT_NE(std::count(one.results.begin(), one.results.end(), true), 0);
}

// A copy refused on one site does not keep the others from theirs; the number fails.
TEST_F(Parallel, ASiteThatFailsLeavesTheOthersDone) {
    ThreeSites();
    Add(North(), Ext("100"));
    Fault(South(), "AddExtension", com::E_FAIL);
    ASSERT_TRUE(doc.Download());
    EXPECT_FALSE(doc.SyncExtension("100", "North"));
    EXPECT_TRUE(Held(South(), "100").empty());
    ASSERT_FALSE(Held(East(), "100").empty());
    EXPECT_EQ(Rec(Held(East(), "100")).FwdDialString(), "8100");
    EXPECT_TRUE(LoggedPrefix(LOG_ERROR, "\tSync failed: Failed to add extension 100 to server South."));
    EXPECT_TRUE(Logged(LOG_ERROR, "Failed to sync extension 100."));
}

TEST_F(Parallel, AStopBetweenNumbersSaysWhichWereNotDone) {
    ThreeSites();
    for (const char* n : {"100", "101", "102"}) Add(North(), Ext(n));
    ASSERT_TRUE(doc.Download());
    std::stop_source stop;
    doc.SetStopToken(stop.get_token());
    std::vector<CQOBDoc::SyncRequest> list{{"100", "North"}, {"101", "North"}, {"102", "North"}};
    EXPECT_FALSE(doc.SyncNumbers(list, [&](const CQOBDoc::SyncRequest&) { stop.request_stop(); }));
    EXPECT_TRUE(list[0].done && list[0].ok);
    EXPECT_FALSE(list[1].done || list[2].done);
    EXPECT_FALSE(Held(South(), "100").empty());
    EXPECT_TRUE(Held(South(), "101").empty() && Held(East(), "102").empty());
    EXPECT_TRUE(Logged(LOG_INFO, "Synchronization cancelled by the user: 1 of 3 extension(s) done."));
    EXPECT_TRUE(Logged(LOG_INFO, "\tNot synchronized (cancelled): extension 101."));
    EXPECT_TRUE(Logged(LOG_INFO, "\tNot synchronized (cancelled): extension 102."));
}

// A stop before a number's home is written sends nothing of it; one while the home's write is in
// flight lets that write end and sends no copy. Either way the log names what was not sent.
TEST_F(Parallel, AStopSendsNothingMoreOfTheNumber) {
    ThreeSites();
    Add(North(), Ext("100"));
    Add(North(), Ext("101"));
    ASSERT_TRUE(doc.Download());
    {
        std::stop_source stop;
        doc.SetStopToken(stop.get_token());
        hooked.onLog = [&](const std::string& text) {
            if (text.rfind("Sync extension 100", 0) == 0) stop.request_stop();
        };
        ForgetCalls();
        EXPECT_FALSE(doc.SyncExtension("100", "North"));
        EXPECT_TRUE(Calls(North()).empty() && Calls(South()).empty() && Calls(East()).empty());
        EXPECT_TRUE(Logged(LOG_INFO, "\tSync cancelled: extension 100 was not sent to server North."));
        EXPECT_TRUE(Logged(LOG_ERROR, "Failed to sync extension 100."));
    }
    {
        hooked.onLog = nullptr;
        std::stop_source stop;
        doc.SetStopToken(stop.get_token());
        Delay(North(), 400);
        ForgetCalls();
        std::jthread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            stop.request_stop();
        });
        EXPECT_FALSE(doc.SyncExtension("101", "North"));
        EXPECT_EQ(Calls(North()), std::vector<std::string>{"ReplaceExtension"});
        EXPECT_TRUE(Calls(South()).empty() && Calls(East()).empty());
        EXPECT_TRUE(Logged(LOG_INFO, "\tSync cancelled: extension 101 was not sent to server South."));
        EXPECT_TRUE(Logged(LOG_INFO, "\tSync cancelled: extension 101 was not sent to server East."));
    }
    doc.SetStopToken({});
}

// A stop once the deletion was confirmed deletes nothing: every copy is named as not deleted and
// the home stays, since its copies do.
TEST_F(Parallel, AStopBeforeTheDeletionsDeletesNothing) {
    ThreeSites();
    Add(North(), Ext("100"));
    Add(South(), Copy("100", "North"));
    Add(East(), Copy("100", "North"));
    ASSERT_TRUE(doc.Download());
    std::stop_source stop;
    doc.SetStopToken(stop.get_token());
    hooked.deleteScope = kEverything;
    hooked.onAsk = [&] { stop.request_stop(); };
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_FALSE(Held(North(), "100").empty() || Held(South(), "100").empty() || Held(East(), "100").empty());
    EXPECT_TRUE(Logged(LOG_INFO, "\tCancelled: extension 100 was not deleted in South."));
    EXPECT_TRUE(Logged(LOG_INFO, "\tCancelled: extension 100 was not deleted in East."));
    EXPECT_TRUE(Logged(LOG_ERROR, "\tExtension 100 is kept in North: not every forwarding copy of it could be deleted."));
    doc.SetStopToken({});
}

TEST_F(Parallel, AStopDuringADownloadGivesUpOnEverySite) {
    for (int at : {0, 1, 3, 4}) {  // connecting the first, the second site; loading the first, the second
        SCOPED_TRACE(at);
        if (sites.empty()) ThreeSites();
        std::stop_source stop;
        doc.SetStopToken(stop.get_token());
        hooked.logs.clear();
        hooked.onProgress = [&](int done, int total) {
            if (total > 0 && done == at) stop.request_stop();
        };
        EXPECT_FALSE(doc.Download());
        EXPECT_TRUE(doc.m_servers.empty());
        EXPECT_FALSE(doc.m_bDownloaded);
        EXPECT_TRUE(Logged(LOG_INFO, "Download cancelled by the user."));
        EXPECT_FALSE(Logged(LOG_INFO, "Begin to match these extensions..."));
    }
    doc.SetStopToken({});
    hooked.onProgress = nullptr;
    EXPECT_TRUE(doc.Download());
}

// The runner itself: results taken in site order whatever order the work ends in, at most `jobs`
// at a time, and nothing started once the rest is skipped.
TEST(SiteJobs, ResultsComeInSiteOrderAndAtMostJobsRunAtOnce) {
    std::mutex m;
    int running = 0, most = 0;
    std::vector<int> finished;
    document::CSiteJobs jobs(12, 3, {}, [&](size_t i) {
        {
            std::lock_guard lock(m);
            most = std::max(most, ++running);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds((12 - i) * 3));
        std::lock_guard lock(m);
        --running;
        finished.push_back(int(i));
    });
    for (size_t i = 0; i < 12; ++i) ASSERT_TRUE(jobs.Wait(i));
    EXPECT_EQ(most, 3);
    EXPECT_NE(finished, std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));  // they overtook each other

    std::atomic<int> ran{0};
    document::CSiteJobs one(5, 1, {}, [&](size_t) { ++ran; });
    EXPECT_TRUE(one.Wait(0));
    EXPECT_EQ(ran, 1);  // with one job nothing runs ahead of the caller
    one.SkipRest();
    EXPECT_FALSE(one.Wait(1));
    EXPECT_EQ(ran, 1);
}

}  // namespace
