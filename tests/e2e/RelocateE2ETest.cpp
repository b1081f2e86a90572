// Moving a synchronised extension's home over TCP: zentsim daemons on 127.0.0.21-23, a real smbd
// per site serving its mailbox share on the same address, and qob-cli with both relocation options.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "E2EFixture.h"
#include "support/SmbServer.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

class RelocateE2E : public E2E {
protected:
    void SetUp() override {
        if (!SmbServer::Available()) GTEST_SKIP() << "smbd is not installed (scripts/bootstrap installs samba)";
        E2E::SetUp();
    }
    nlohmann::json Dump(const std::string& site) { return nlohmann::json::parse(Run("zentsim", {"dump", State(site)}).out); }
    static nlohmann::json Find(const nlohmann::json& list, const std::string& key, const std::string& value) {
        for (const auto& e : list)
            if (e[key] == value) return e;
        return nullptr;
    }
    std::vector<std::string> Args(const std::string& command, std::vector<std::string> more) const {
        std::vector<std::string> a{"--dir", work.path(), command, "North", "South", "East", "--yes"};
        for (const char* s : {"North", "South", "East"}) a.insert(a.end(), {"--password", std::string(s) + "=pw-" + s});
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
};

TEST_F(RelocateE2E, AHomeMovesWithItsRecordGroupDataAndMailbox) {
    const std::map<std::string, std::string> address = {
        {"North", "127.0.0.21"}, {"South", "127.0.0.22"}, {"East", "127.0.0.23"}};
    std::map<std::string, std::unique_ptr<SmbServer>> shares;
    for (const auto& [name, ip] : address) {
        SmbServer::Options o;
        o.address = ip;
        o.accounts = {{"operator", "secret"}};
        shares[name] = std::make_unique<SmbServer>(o);
        ASSERT_TRUE(shares[name]->Ready()) << shares[name]->Log();
        InitSite(name);
        Run("qob-cli", {"--dir", work.path(), "site", "add", name, ip, "--mb-account", "operator", "--mb-password",
                        "secret"});
    }
    for (const char* from : {"North", "South", "East"})
        for (const char* to : {"North", "South", "East"})
            if (std::string(from) != to) {
                std::string suffix = std::string(to) + ".example";
                for (char& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
                Run("qob-cli", {"--dir", work.path(), "route", "set", from, to, "--fwd", "8N", "--suffix", suffix});
            }
    Run("qob-cli", {"--dir", work.path(), "options", "set", "--relocation", "1", "--relocate-vm", "1"});
    std::ofstream(work.file("readme.txt")) << "probe";

    // 205 lives on North with a description, a data block and a mailbox, and is agent of group 600.
    Run("zentsim", {"add", State("North"), "--number", "205", "--type", "physical", "--first", "Eve"});
    Run("zentsim", {"add", State("North"), "--number", "600", "--type", "group", "--members", "205"});
    {
        nlohmann::json state = nlohmann::json::parse(Slurp(State("North")));
        state["ext_data"] = nlohmann::json::array({{{"number", "205"}, {"tag", 7}, {"hex", "0102030405"}}});
        std::ofstream(State("North")) << state.dump();
    }
    const fs::path box = fs::path(shares["North"]->ShareDir()) / "ext000000000000205";
    fs::create_directories(box / "old");
    std::ofstream(box / "greeting.wav", std::ios::binary) << std::string(3000, 'g');
    std::ofstream(box / "old" / "msg.wav", std::ios::binary) << std::string(1234, 'm');
    StartAll();

    ASSERT_EQ(Run("qob-cli", Args("sync", {"205", "600"})).exitCode, 0);
    ProgramResult moved = Run("qob-cli", Args("sync", {"205=South"}));
    EXPECT_NE(moved.err.find("There are total 3 KB size mailbox to move in this process."), std::string::npos)
        << moved.err;
    EXPECT_NE(moved.err.find("Relocate extension 205 from North to South..."), std::string::npos) << moved.err;

    const nlohmann::json south = Dump("South"), north = Dump("North");
    const nlohmann::json record = Find(south["records"], "number", "205");
    EXPECT_EQ(record["first_name"], "Eve");
    EXPECT_EQ(record["forward_target"], 10);  // South's own extension now
    EXPECT_FALSE(Find(south["data_blocks"]["ext_data"], "number", "205").is_null()) << south["data_blocks"].dump();
    EXPECT_EQ(Find(north["records"], "number", "205")["fwd_email_addr"], "ext205@south.example");
    EXPECT_EQ(Find(north["records"], "number", "205")["forward_target"], 7);

    const fs::path arrived = fs::path(shares["South"]->ShareDir()) / "ext000000000000205";
    EXPECT_EQ(Slurp((arrived / "greeting.wav").string()), std::string(3000, 'g'));
    EXPECT_EQ(Slurp((arrived / "old" / "msg.wav").string()), std::string(1234, 'm'));

    const std::vector<std::string> list = Lines(Run("qob-cli", Args("download", {})).out);
    EXPECT_NE(std::find(list.begin(), list.end(), "205\tExtension\tEve\t \text205\tSynchronized\tSouth\t1\t0"),
              list.end());
}

}  // namespace
}  // namespace e2e
