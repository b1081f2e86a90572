// The engine thread: one command at a time, a cancel seen by the command as its stop request,
// the completion after the command on the engine's thread, and the jobs setting in the user's
// profile of the registry stand-in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "document/Engine.h"
#include "document/QOBDoc.h"
#include "platform/AppProfile.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

// A command that waits until it is let go or asked to stop; it reports which.
struct Gate {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> sawStop{false};

    CEngine::Command Command() {
        return [this](std::stop_token token) {
            entered.set_value();
            while (!token.stop_requested() && released.wait_for(1ms) != std::future_status::ready) {
            }
            sawStop = token.stop_requested();
        };
    }
};

TEST(Engine, RunsOneCommandAtATimeOnAThreadOfItsOwn) {
    CEngine engine;
    Gate gate;
    std::thread::id commandThread;
    auto entered = gate.entered.get_future();
    ASSERT_TRUE(engine.Start([&](std::stop_token t) {
        commandThread = std::this_thread::get_id();
        gate.Command()(t);
    }));
    ASSERT_EQ(entered.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(engine.Busy());
    // A second command while the first runs is refused and never runs.
    bool secondRan = false;
    EXPECT_FALSE(engine.Start([&](std::stop_token) { secondRan = true; }));
    EXPECT_FALSE(engine.Wait(50ms));

    gate.release.set_value();
    ASSERT_TRUE(engine.Wait(5s));
    EXPECT_FALSE(engine.Busy());
    EXPECT_FALSE(secondRan);
    EXPECT_FALSE(gate.sawStop);
    EXPECT_NE(commandThread, std::this_thread::get_id());

    // Idle again: the next command is taken.
    bool thirdRan = false;
    ASSERT_TRUE(engine.Start([&](std::stop_token) { thirdRan = true; }));
    engine.Wait();
    EXPECT_TRUE(thirdRan);
}

TEST(Engine, CancelIsTheCommandsStopRequestAndEachCommandGetsAFreshOne) {
    CEngine engine;
    engine.Cancel();  // nothing runs: nothing to stop, and nothing kept for later
    Gate gate;
    auto entered = gate.entered.get_future();
    ASSERT_TRUE(engine.Start(gate.Command()));
    ASSERT_EQ(entered.wait_for(5s), std::future_status::ready);
    const auto asked = std::chrono::steady_clock::now();
    engine.Cancel();
    ASSERT_TRUE(engine.Wait(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_TRUE(gate.sawStop);

    bool stopped = true;
    ASSERT_TRUE(engine.Start([&](std::stop_token t) { stopped = t.stop_requested(); }));
    engine.Wait();
    EXPECT_FALSE(stopped);
}

TEST(Engine, TheCompletionComesAfterTheCommandOnTheEngineThreadBeforeItCountsAsIdle) {
    CEngine engine;
    std::thread::id commandThread, completionThread;
    std::atomic<int> order{0};
    int commandAt = -1, completionAt = -1;
    bool busyInCompletion = false;
    ASSERT_TRUE(engine.Start(
        [&](std::stop_token) {
            commandThread = std::this_thread::get_id();
            commandAt = order++;
        },
        [&] {
            completionThread = std::this_thread::get_id();
            completionAt = order++;
            busyInCompletion = engine.Busy();
        }));
    ASSERT_TRUE(engine.Wait(5s));
    EXPECT_EQ(commandAt, 0);
    EXPECT_EQ(completionAt, 1);
    EXPECT_EQ(completionThread, commandThread);
    // Whoever the completion tells may find the engine still finishing, and waits for it.
    EXPECT_TRUE(busyInCompletion);
}

TEST(Engine, DestroyingItStopsAndWaitsForTheCommand) {
    Gate gate;
    auto entered = gate.entered.get_future();
    {
        CEngine engine;
        ASSERT_TRUE(engine.Start(gate.Command()));
        ASSERT_EQ(entered.wait_for(5s), std::future_status::ready);
    }
    EXPECT_TRUE(gate.sawStop);
}

class JobsSetting : public ::testing::Test {
protected:
    void SetUp() override { setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1); }
    void TearDown() override { unsetenv("QOB_REGISTRY_DIR"); }
    TempDir registry;
};

TEST_F(JobsSetting, KeptAsADwordInTheUsersProfileAndOnlyInRange) {
    EXPECT_EQ(LoadJobsSetting(), CQOBDoc::kDefaultJobs);
    ASSERT_TRUE(SaveJobsSetting(3));
    EXPECT_EQ(LoadJobsSetting(), 3);
    platform::RegValue v;
    ASSERT_TRUE(platform::RegQueryValue(platform::RegRoot::CurrentUser, platform::kAppProfileKey, "Jobs", v));
    EXPECT_EQ(v.type, platform::REG_DWORD);
    EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, platform::kAppProfileKey));

    EXPECT_FALSE(SaveJobsSetting(0));
    EXPECT_FALSE(SaveJobsSetting(CQOBDoc::kMaxJobs + 1));
    EXPECT_EQ(LoadJobsSetting(), 3);
    // A value put there by hand that is out of range, or of another type, counts as unset.
    for (const platform::RegValue& bad : {platform::RegValue::Dword(0), platform::RegValue::Dword(65),
                                          platform::RegValue::String("4")}) {
        ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::CurrentUser, platform::kAppProfileKey, "Jobs", bad));
        EXPECT_EQ(LoadJobsSetting(), CQOBDoc::kDefaultJobs);
    }
    ASSERT_TRUE(SaveJobsSetting(CQOBDoc::kMaxJobs));
    EXPECT_EQ(LoadJobsSetting(), CQOBDoc::kMaxJobs);
}

}  // namespace
