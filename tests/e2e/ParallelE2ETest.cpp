// The same download and synchronisation through qob-cli, one site at a time and eight at once,
// over zentsim daemons that answer after random delays: QOB.log is the same byte for byte (times
// aside) and every site holds the same records afterwards.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "E2EFixture.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNames[] = {"North", "South", "East", "West", "Upper", "Lower"};

std::string Address(size_t i) { return "127.0.0." + std::to_string(21 + i); }

class ParallelE2E : public E2E {
protected:
    // Six sites: North holds the extensions, the others some copies (one stale) and numbers of
    // their own; West has no route to East, Upper refuses new copies after its second.
    void MakeSites() {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            InitSite(kNames[i]);
            Site(kNames[i], Address(i));
        }
        for (int n = 100; n < 120; ++n)
            Run("zentsim", {"add", State("North"), "--number", std::to_string(n), "--type", "physical", "--first",
                            "F" + std::to_string(n)});
        for (size_t i = 1; i < std::size(kNames); ++i) {
            const std::string state = State(kNames[i]);
            Run("zentsim", {"add", state, "--number", "100", "--type", "virtual", "--forwarding", "--fwd-dial",
                            i == 2 ? "9100" : "8100", "--fwd-email", "ext100@north.example"});
            Run("zentsim", {"add", state, "--number", std::to_string(200 + i), "--type", "physical"});
        }
        Run("zentsim", {"fault", State("Upper"), "AddExtension", "E_FAIL", "--after", "2"});
        for (size_t f = 0; f < std::size(kNames); ++f)
            for (size_t t = 0; t < std::size(kNames); ++t) {
                if (f == t || (std::string(kNames[f]) == "West" && std::string(kNames[t]) == "East")) continue;
                std::string suffix = std::string(kNames[t]) + ".example";
                for (char& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
                Run("qob-cli", {"--dir", work.path(), "route", "set", kNames[f], kNames[t], "--fwd", "8N", "--suffix", suffix});
            }
        fs::create_directories(scratch.file("pristine"));
        for (const char* name : kNames) fs::copy_file(State(name), scratch.file("pristine/") + name + ".json");
    }

    struct Outcome {
        std::vector<std::string> log;  // QOB.log's lines, the time stamps blanked
        std::vector<nlohmann::json> records;
        int downloadExit = -1, syncExit = -1;
    };

    Outcome RunWith(int jobs) {
        for (const char* name : kNames)
            fs::copy_file(scratch.file("pristine/") + name + ".json", State(name), fs::copy_options::overwrite_existing);
        fs::remove(work.file("QOB.log"));
        for (size_t i = 0; i < std::size(kNames); ++i) Start(kNames[i], Address(i), {"--latency-ms", "1", "--jitter-ms", "12"});

        std::vector<std::string> sites(std::begin(kNames), std::end(kNames));
        std::vector<std::string> passwords;
        for (const std::string& s : sites) passwords.insert(passwords.end(), {"--password", s + "=pw-" + s});
        Outcome o;
        std::vector<std::string> download{"--jobs", std::to_string(jobs), "--dir", work.path(), "download"};
        download.insert(download.end(), sites.begin(), sites.end());
        download.insert(download.end(), passwords.begin(), passwords.end());
        download.push_back("--yes");
        o.downloadExit = RunProgram("qob-cli", download, scratch.path()).exitCode;

        std::vector<std::string> sync{"--jobs", std::to_string(jobs), "--dir", work.path(), "sync"};
        sync.insert(sync.end(), sites.begin(), sites.end());
        sync.insert(sync.end(), passwords.begin(), passwords.end());
        sync.push_back("--yes");
        for (int n = 100; n < 120; ++n) sync.push_back(std::to_string(n) + "=North");
        sync.push_back("202=East");
        o.syncExit = RunProgram("qob-cli", sync, scratch.path()).exitCode;

        for (auto& d : daemons) EXPECT_EQ(d->Stop(), 0);
        daemons.clear();
        std::ifstream in(work.file("QOB.log"), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (line.size() >= 19) line.replace(0, 19, std::string(19, '#'));
            o.log.push_back(line);
        }
        for (const char* name : kNames) {
            nlohmann::json dump = nlohmann::json::parse(Run("zentsim", {"dump", State(name)}).out);
            // A new copy's password hash has a salt of its own, and so has the digest of its bytes.
            for (auto& r : dump["records"]) {
                r.erase("password_hash");
                r.erase("raw_digest");
            }
            o.records.push_back(dump["records"]);
        }
        return o;
    }
};

TEST_F(ParallelE2E, EightSitesAtOnceLogAndLeaveWhatOneAtATimeDoes) {
    MakeSites();
    const Outcome one = RunWith(1);
    const Outcome eight = RunWith(8);
    EXPECT_EQ(one.downloadExit, 0);
    EXPECT_EQ(one.syncExit, 1);  // a refused copy and a missing route fail numbers
    EXPECT_EQ(eight.downloadExit, one.downloadExit);
    EXPECT_EQ(eight.syncExit, one.syncExit);
    ASSERT_GT(one.log.size(), 100u);
    ASSERT_EQ(one.log.size(), eight.log.size());
    for (size_t i = 0; i < one.log.size(); ++i) ASSERT_EQ(one.log[i], eight.log[i]) << "line " << i;
    for (size_t i = 0; i < std::size(kNames); ++i) EXPECT_EQ(one.records[i], eight.records[i]) << kNames[i];
}

}  // namespace
}  // namespace e2e
