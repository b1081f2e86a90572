// `zentsim serve` killed (SIGKILL) at a random moment of a stream of changes: every change it
// acknowledged is in `zentsim dump` afterwards and the state always loads; a clean stop leaves
// everything in the state file and no log beside it.
#include <atomic>
#include <map>
#include <set>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "E2EFixture.h"
#include "com/Activation.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "proxy/Interfaces.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace e2e {
namespace {

using Json = nlohmann::ordered_json;
constexpr const char* kAddress = "127.0.0.21";

class KilledServer : public E2E {
protected:
    void SetUp() override {
        E2E::SetUp();
        setenv("QOB_CALL_TIMEOUT_MS", "5000", 1);  // the call the kill cuts off ends in bounded time
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
    }
    void TearDown() override { unsetenv("QOB_CALL_TIMEOUT_MS"); }

    // What the server acknowledged: record numbers, and the tag of each data block written.
    struct Acknowledged {
        std::mutex mutex;
        std::vector<std::string> records;
        std::map<std::string, int32_t> tags;
    };

    // Adds records from `first` on, with a data block on every third, until stop or a failure.
    static void Stream(int first, const std::atomic<bool>& stop, Acknowledged& ack) {
        com::MULTI_QI qi[2];
        qi[0].pIID = &IID_IZentChangeI;
        qi[1].pIID = &IID_IZentOKLInterface;
        if (com::CoCreateInstanceEx(CLSID_ZentServer, kAddress, qi, 2) != com::S_OK) return;
        auto* change = static_cast<IZentChangeI*>(qi[0].pItf);
        auto* okl = static_cast<IZentOKLInterface*>(qi[1].pItf);
        const std::vector<uint8_t> block(3000, 0x3C);
        for (int i = first; !stop; ++i) {
            const std::string number = std::to_string(i);
            std::vector<uint8_t> rec(2400, 0);
            server::ExtRec r(rec.data(), rec.size());
            r.SetRecordSize(uint16_t(rec.size()));
            r.SetExtensionNumber(number);
            r.SetExtensionType(server::exttype::kVirtual);
            r.SetConfiguredLineType(server::extrec::kLineTypeCreated);
            if (change->AddExtension(int32_t(rec.size()), rec.data()) != com::S_OK) break;
            {
                std::lock_guard lock(ack.mutex);
                ack.records.push_back(number);
            }
            if (i % 3 == 0) {
                if (okl->WriteExtData(number.c_str(), i, int32_t(block.size()), block.data()) != com::S_OK) break;
                std::lock_guard lock(ack.mutex);
                ack.tags[number] = i;
            }
        }
        change->Release();
        okl->Release();
    }

    Json Dump() {
        ProgramResult r = RunProgram("zentsim", {"dump", State("North")}, scratch.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.exitCode == 0 ? Json::parse(r.out) : Json::object();
    }
};

TEST_F(KilledServer, EveryAcknowledgedChangeSurvivesAKillAndACleanStopFoldsTheLog) {
    InitSite("North");
    std::mt19937 random(std::random_device{}());
    std::size_t total = 0;
    for (int round = 0; round < 5; ++round) {
        Daemon& daemon = Start("North", kAddress);
        ASSERT_TRUE(daemon.Ready());
        Acknowledged ack;
        std::atomic<bool> stop{false};
        std::thread client([&] { Stream(10000 * (round + 1), stop, ack); });
        // Once the stream runs (activation takes its own time), at a random moment of it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto acknowledgedSoFar = [&] {
            std::lock_guard lock(ack.mutex);
            return ack.records.size();
        };
        while (acknowledgedSoFar() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 500)(random)));
        daemon.Process().Kill(SIGKILL);
        stop = true;
        client.join();
        EXPECT_TRUE(daemon.Process().Signalled());

        const Json dump = Dump();  // it loads, with whatever the kill cut short dropped
        std::set<std::string> held;
        for (const Json& rec : dump["records"]) held.insert(rec["number"].get<std::string>());
        std::map<std::string, int32_t> tags;
        for (const Json& d : dump["data_blocks"]["ext_data"]) tags[d["number"]] = d["tag"].get<int32_t>();
        std::lock_guard lock(ack.mutex);
        for (const std::string& n : ack.records) EXPECT_TRUE(held.count(n)) << "round " << round << ": " << n << " lost";
        for (const auto& [n, tag] : ack.tags) EXPECT_EQ(tags[n], tag) << "round " << round << ": data of " << n;
        // At most the change in flight when the kill came is held without its acknowledgement.
        const std::size_t acknowledged = ack.records.size() + total;
        EXPECT_GE(held.size(), acknowledged);
        EXPECT_LE(held.size(), acknowledged + 1);
        total = held.size();
        ASSERT_GT(ack.records.size(), 0u) << "round " << round << ": no change acknowledged before the kill";
    }

    const std::string log = State("North") + ".log";
    const Json before = Dump();
    Daemon& daemon = Start("North", kAddress);
    ASSERT_TRUE(daemon.Ready());
    EXPECT_EQ(daemon.Stop(), 0) << daemon.Process().Err();
    EXPECT_FALSE(std::filesystem::exists(log));
    EXPECT_EQ(Dump(), before);
    EXPECT_NE(Slurp(State("North")).find("\"" + before["records"].back()["number"].get<std::string>() + "\""),
              std::string::npos);
}

}  // namespace
}  // namespace e2e
