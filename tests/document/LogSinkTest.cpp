// The log's core: what reaches the window and the file, and how.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "document/LogSink.h"
#include "support/TempDir.h"

namespace {

class LogSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        sink.SetLogFile(dir.file("QOB.log"));
        sink.SetLineListener([this](const std::string& line) { window.push_back(line); });
    }
    TempDir dir;
    CLogSink sink;
    std::vector<std::string> window;
};

TEST_F(LogSinkTest, LevelsBelowTwoGoToTheFileOnly) {
    EXPECT_EQ(sink.OnLogMessage(1, "detail"), 0);
    EXPECT_EQ(sink.OnLogMessage(0, "zero"), 0);
    EXPECT_EQ(sink.OnLogMessage(2, "info"), 0);
    EXPECT_EQ(sink.OnLogMessage(7, "seven"), 0);
    EXPECT_EQ(window, (std::vector<std::string>{"info", "seven"}));
    const std::string file = dir.Read("QOB.log");
    const std::regex line(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} --> (detail|zero|info|seven)\r\n)");
    auto begin = std::sregex_iterator(file.begin(), file.end(), line);
    EXPECT_EQ(std::distance(begin, std::sregex_iterator()), 4);
}

TEST_F(LogSinkTest, TrailingWhiteSpaceGoesLeadingTabStays) {
    sink.OnLogMessage(1, "Compare extension 100 name result : 0x0 \n");
    sink.OnLogMessage(2, "\tSync failed\r\n\t ");
    sink.OnLogMessage(2, "   ");
    EXPECT_EQ(window, (std::vector<std::string>{"\tSync failed", ""}));
    const std::string file = dir.Read("QOB.log");
    EXPECT_NE(file.find("--> Compare extension 100 name result : 0x0\r\n"), std::string::npos);
    EXPECT_NE(file.find("--> \tSync failed\r\n"), std::string::npos);
    EXPECT_NE(file.find("--> \r\n"), std::string::npos);
    EXPECT_EQ(file.find("\n\r\n"), std::string::npos);  // exactly one line end each
}

TEST_F(LogSinkTest, ATextOfSeveralLinesIsOneDatedLine) {
    sink.OnLogMessage(2, "Failed to connect to North\nhr = 0x800706ba\r\n\tstep: bind\rend");
    EXPECT_EQ(window, (std::vector<std::string>{"Failed to connect to North hr = 0x800706ba \tstep: bind end"}));
    const std::string file = dir.Read("QOB.log");
    // Every line end is the entry's own, after its date.
    const std::regex line(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} --> [^\r\n]*\r\n)");
    EXPECT_TRUE(std::regex_match(file, line)) << file;
}

TEST_F(LogSinkTest, FormatOfTheFileLine) {
    struct tm t {};
    t.tm_year = 104;
    t.tm_mon = 4;
    t.tm_mday = 17;
    t.tm_hour = 9;
    t.tm_min = 3;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    EXPECT_EQ(CLogSink::FormatFileLine("Begin to match these extensions...", mktime(&t)),
              "2004/05/17 09:03:07 --> Begin to match these extensions...\r\n");
}

TEST_F(LogSinkTest, AppendsAcrossSinksAndRetriesAfterAFailure) {
    sink.OnLogMessage(2, "first run");
    CLogSink second;
    second.SetLogFile(dir.file("QOB.log"));
    second.OnLogMessage(2, "second run");
    const std::string file = dir.Read("QOB.log");
    EXPECT_LT(file.find("first run"), file.find("second run"));

    // A folder that cannot be written: the window says so after the line, once per command.
    window.clear();
    sink.SetLogFile(dir.file("missing/QOB.log"));
    EXPECT_EQ(sink.OnLogMessage(2, "lost"), 1);
    EXPECT_EQ(sink.OnLogMessage(1, "detail"), 1);
    EXPECT_EQ(sink.OnLogMessage(2, "lost too"), 1);
    EXPECT_EQ(window, (std::vector<std::string>{"lost", "Failed to open the log file.", "lost too"}));
    sink.BeginCommand();
    EXPECT_EQ(sink.OnLogMessage(1, "next command"), 1);
    EXPECT_EQ(window.back(), "Failed to open the log file.");
    ::mkdir(dir.file("missing").c_str(), 0755);
    EXPECT_EQ(sink.OnLogMessage(2, "back"), 0);
    EXPECT_NE(dir.Read("missing/QOB.log").find("--> back\r\n"), std::string::npos);
}

// The file stays open between lines; moved away or removed, it is made again at its name by the
// next command, and what was written before stays where it went.
TEST_F(LogSinkTest, AFileMovedOrRemovedIsMadeAgainAtItsName) {
    sink.OnLogMessage(2, "one");
    ASSERT_EQ(::rename(dir.file("QOB.log").c_str(), dir.file("QOB.old").c_str()), 0);
    sink.BeginCommand();
    sink.OnLogMessage(2, "two");
    ASSERT_EQ(::unlink(dir.file("QOB.log").c_str()), 0);
    sink.BeginCommand();
    sink.OnLogMessage(2, "three");
    sink.OnLogMessage(2, "four");
    const std::string old = dir.Read("QOB.old"), now = dir.Read("QOB.log");
    EXPECT_NE(old.find("--> one\r\n"), std::string::npos);
    EXPECT_EQ(old.find("two"), std::string::npos);
    EXPECT_EQ(now.find("two"), std::string::npos);
    EXPECT_NE(now.find("--> three\r\n"), std::string::npos);
    EXPECT_NE(now.find("--> four\r\n"), std::string::npos);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 2);
}

}  // namespace
