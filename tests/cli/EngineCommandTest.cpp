// qob-cli's commands on the engine against zentsim daemons on 127.0.0.81-82: Ctrl+C stops a
// download that waits on a stopped site and the command exits 1, a second Ctrl+C ends the process,
// and --progress writes a line in place on standard error without touching standard output.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "document/QOBDoc.h"
#include "support/DaemonSites.h"

using namespace std::chrono_literals;

namespace {

constexpr uint16_t kPort = 1181;

class EngineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        // A command nothing stops ends by itself: the test fails, it does not hang.
        setenv("QOB_CALL_TIMEOUT_MS", "10000", 1);
        ASSERT_TRUE(sites.Start());
    }
    void TearDown() override {
        unsetenv("QOB_CALL_TIMEOUT_MS");
        unsetenv("QOB_RESOLVER_PORT");
    }
    std::vector<std::string> Download(std::vector<std::string> global = {}) {
        std::vector<std::string> a{"--dir", sites.dir};
        a.insert(a.end(), global.begin(), global.end());
        a.insert(a.end(), {"download", "North", "South", "--password", "North=pw-North", "--password", "South=pw-South",
                           "--yes"});
        return a;
    }
    // Started in the background, and given time to be waiting on the stopped site: it has said which
    // sites it downloads (a slow start, as under a sanitizer, is waited for, ten seconds at most).
    std::unique_ptr<Background> StartWaiting(const std::string& tag) {
        auto p = std::make_unique<Background>("qob-cli", Download(), sites.scratch.path(), tag);
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (p->Err().find("\tSouth\n") == std::string::npos && p->Running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(500ms);
        EXPECT_TRUE(p->Running()) << p->Err();
        return p;
    }

    TempDir registry;
    DaemonSites sites{{{"North", "127.0.0.81"}, {"South", "127.0.0.82"}}, kPort};
};

TEST_F(EngineCommand, CtrlCStopsADownloadWaitingOnAStoppedSiteAndExitsOne) {
    ASSERT_TRUE(sites.Stop(sites[1]));
    auto cli = StartWaiting("interrupted");
    const auto asked = std::chrono::steady_clock::now();
    cli->Signal(SIGINT);
    const int code = cli->Wait(5s);
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_EQ(code, 1) << cli->Err();
    EXPECT_LT(took, 2s);
    EXPECT_NE(cli->Err().find("The command was cancelled."), std::string::npos) << cli->Err();
    EXPECT_EQ(cli->Out(), "");
    // The passwords given for the download are not left in the file.
    CQOBDoc reread;
    reread.SetWorkDir(sites.dir);
    ASSERT_TRUE(reread.LoadConfig());
    for (const SiteRec& s : reread.m_sites) EXPECT_EQ(s.DayWhite, "") << s.Name;
}

TEST_F(EngineCommand, ASecondCtrlCEndsTheProcessAtOnce) {
    ASSERT_TRUE(sites.Stop(sites[0]));
    auto cli = StartWaiting("twice");
    cli->Signal(SIGINT);
    std::this_thread::sleep_for(50ms);
    cli->Signal(SIGINT);
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (cli->Running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(cli->Running());
}

TEST_F(EngineCommand, ProgressGoesToStandardErrorInPlaceOnlyWhenAsked) {
    const ProgramResult plain = RunProgram("qob-cli", Download(), sites.scratch.path());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const ProgramResult shown = RunProgram("qob-cli", Download({"--progress", "--jobs", "1"}), sites.scratch.path());
    ASSERT_EQ(shown.exitCode, 0) << shown.err;

    // The rows are the same either way.
    EXPECT_EQ(shown.out, plain.out);
    EXPECT_EQ(Lines(plain.out).size(), 20u);
    // Without a terminal and without --progress: nothing but the lines.
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    EXPECT_EQ(plain.err.find('\033'), std::string::npos);
    // With it: the line is drawn from the start of the line and wiped again before the next.
    EXPECT_NE(shown.err.find("\r\033[KDownloading the selected sites ..."), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find(" of 4)"), std::string::npos) << shown.err;
    // Every ordinary line is still there, whole, in its order.
    const std::regex drawn("\r\x1b\\[K[^\r\n]*(?=\r\x1b\\[K)"), wipe("\r\x1b\\[K");
    EXPECT_EQ(std::regex_replace(std::regex_replace(shown.err, drawn, ""), wipe, ""), plain.err);
}

}  // namespace
