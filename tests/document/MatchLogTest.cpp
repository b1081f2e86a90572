// The log file of a download of ten sites, compared byte for byte (except the times) with the one
// the matching wrote before it became a single pass over the sites' lists
// (tests/document/golden/match10.log). The sites hold a generated mix of every kind of number:
// synchronised ones, broken copies, numbers held twice, groups, IP and virtual extensions, names
// differing in letter case or altogether, names missing.
//
// QOB_MATCH_LOG_OUT=<file> writes the log there instead of comparing (to make the golden file).
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "DownloadFixture.h"
#include "document/LogSink.h"

namespace {

using namespace downloadtest;

// Records what the document shows and writes the log file as every frame does.
class LogFileFrame : public RecordingFrame {
public:
    void Log(uint32_t level, const std::string& text) override {
        RecordingFrame::Log(level, text);
        sink.OnLogMessage(level, text);
    }
    CLogSink sink;
};

// A fixed sequence: the same sites on every run and every machine.
class Sequence {
public:
    uint32_t Next(uint32_t below) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33) % below;
    }

private:
    uint64_t state = 11;
};

class MatchLog : public DownloadFixture {
protected:
    static constexpr int kSites = 10;
    static constexpr int kNumbers = 600;

    void MakeSites() {
        for (int s = 0; s < kSites; ++s) AddSite("Site" + std::to_string(s), 0x0480, 4);
        LinkAll();
        Sequence seq;
        static const char* const kFirst[] = {"Ann", "ann", "ANN", "Bo", "Cy"};
        static const char* const kLast[] = {"Lee", "LEE", "lee", "Ng", "Oh"};
        static const char* const kMail[] = {"ann", "Ann", "bo", "cy"};
        for (int i = 0; i < kNumbers; ++i) {
            const std::string number = std::to_string(1000 + i);
            const int home = static_cast<int>(seq.Next(kSites));
            const uint32_t kind = seq.Next(12);
            // Which other sites hold the number: all, or each with even chance.
            const bool everywhere = seq.Next(2) == 0;
            std::vector<sim::NewExtension> held(kSites);
            std::vector<bool> holds(kSites, false);
            for (int s = 0; s < kSites; ++s) holds[s] = s == home || everywhere || seq.Next(2) == 0;
            const std::string homeName = "Site" + std::to_string(home);
            for (int s = 0; s < kSites; ++s) {
                held[s] = s == home ? Ext(number) : Copy(number, homeName);
                held[s].firstName = "Ann";
                held[s].lastName = "Lee";
            }
            switch (kind) {
            case 0: break;  // physical on its home, correct copies
            case 1: held[home].type = "ip"; break;
            case 2: held[home].type = "group"; break;
            case 3: held[home] = Copy(number, homeName); break;  // virtual everywhere
            case 4: {  // held as an extension on a second site
                const int other = (home + 1 + static_cast<int>(seq.Next(kSites - 1))) % kSites;
                holds[other] = true;
                held[other] = Ext(number, seq.Next(2) ? "physical" : "ip");
                break;
            }
            case 5: {  // a group on a second site
                const int other = (home + 1 + static_cast<int>(seq.Next(kSites - 1))) % kSites;
                holds[other] = true;
                held[other] = Ext(number, "group");
                break;
            }
            case 6: {  // a copy dialling another number
                const int other = (home + 1 + static_cast<int>(seq.Next(kSites - 1))) % kSites;
                holds[other] = true;
                held[other].fwdDial = "8" + std::to_string(9000 + i);
                break;
            }
            case 7: {  // a copy without its mail address, or to another site
                const int other = (home + 1 + static_cast<int>(seq.Next(kSites - 1))) % kSites;
                holds[other] = true;
                held[other].fwdEmail = seq.Next(2) ? "" : "ext" + number + "@elsewhere.example";
                break;
            }
            case 8: {  // a plain virtual extension where a copy would be
                const int other = (home + 1 + static_cast<int>(seq.Next(kSites - 1))) % kSites;
                holds[other] = true;
                held[other] = Ext(number, "virtual");
                break;
            }
            default: break;
            }
            // Names: mostly the same; on one site of some numbers differing in letter case or
            // altogether (numbers of the last kinds: on every site), now and then missing.
            const int varied = static_cast<int>(seq.Next(4 * kSites));
            for (int s = 0; s < kSites; ++s) {
                sim::NewExtension& e = held[s];
                if (kind >= 9 || s == varied) {
                    e.firstName = kFirst[seq.Next(5)];
                    e.lastName = kLast[seq.Next(5)];
                    if (seq.Next(2)) e.email = kMail[seq.Next(4)];
                }
                if (seq.Next(64) == 0) e.firstName = "";
                if (seq.Next(64) == 0) e.lastName = "";
                if (seq.Next(64) == 0) e.email = "";
                if (holds[s]) Add(*sites[s].site, e);
            }
        }
    }

    // The log file with each line's time taken out; a line without its time is kept whole.
    static std::string WithoutTimes(const std::string& text) {
        std::istringstream in(text);
        std::string out, line;
        while (std::getline(in, line)) {
            // "YYYY/MM/DD HH:MM:SS --> "
            if (line.size() >= 24 && line[4] == '/' && line[7] == '/' && line[10] == ' ' && line[13] == ':' &&
                line[16] == ':' && line.compare(19, 5, " --> ") == 0)
                out += "-------------------" + line.substr(19);
            else
                out += line;
            out += '\n';
        }
        return out;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(MatchLog, TenSitesLogAsBefore) {
    LogFileFrame fileFrame;
    const std::string logPath = work.path() + "/QOB.log";
    fileFrame.sink.SetLogFile(logPath);
    fileFrame.answer = IDYES;
    doc.SetFrame(&fileFrame);
    MakeSites();
    ASSERT_TRUE(doc.Download());
    // A second matching over the same lists (the reload after a synchronisation) logs the same again.
    doc.MatchExtensions();
    doc.SetFrame(&frame);

    const std::string log = WithoutTimes(ReadFile(logPath));
    if (const char* out = getenv("QOB_MATCH_LOG_OUT")) {
        std::ofstream(out, std::ios::binary) << log;
        GTEST_SKIP() << "log written to " << out;
    }
    const std::string golden = ReadFile(std::string(QOB_SOURCE_DIR) + "/tests/document/golden/match10.log");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(doc.m_extList.size(), static_cast<size_t>(kNumbers));
    // Line by line first, so a difference is shown where it is.
    std::istringstream a(log), b(golden);
    std::string la, lb;
    for (int n = 1; std::getline(a, la) && std::getline(b, lb); ++n) ASSERT_EQ(la, lb) << "line " << n;
    EXPECT_TRUE(log == golden) << "the logs differ in length: " << log.size() << " against " << golden.size();
}

}  // namespace
