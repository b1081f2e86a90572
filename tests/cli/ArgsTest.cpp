// The command-line reader: flags and repeatable options next to the ones allowed once.
#include <gtest/gtest.h>

#include "cli/Args.h"

namespace {

const OptionSpec kSpec{{"password", "dir"}, {"yes"}, {"password"}};

TEST(Args, RepeatedOptionsKeepEveryValueInOrder) {
    CArgs args;
    std::string error;
    ASSERT_TRUE(args.Parse({"A", "--password", "A=1", "B", "--password=B=2=3", "--yes"}, kSpec, error)) << error;
    EXPECT_EQ(args.Words(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(args.GetAll("password"), (std::vector<std::string>{"A=1", "B=2=3"}));
    EXPECT_EQ(args.Get("password"), "A=1");
    EXPECT_TRUE(args.Has("yes"));
    EXPECT_FALSE(args.Has("dir"));
    EXPECT_TRUE(args.GetAll("dir").empty());
}

TEST(Args, RefusesWhatTheCommandDoesNotAllow) {
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--dir", "a", "--dir", "b"}, "option --dir given twice"},
        {{"--yes", "--yes"}, "option --yes given twice"},
        {{"--yes=1"}, "option --yes takes no value"},
        {{"--password"}, "option --password needs a value"},
        {{"--colour"}, "unknown option --colour"},
        {{"--colour=red"}, "unknown option --colour"},
    };
    for (const auto& [argv, message] : bad) {
        CArgs args;
        std::string error;
        EXPECT_FALSE(args.Parse(argv, kSpec, error)) << message;
        EXPECT_EQ(error, message);
    }
    // The valued-only form stays as it was: no flags.
    CArgs args;
    std::string error;
    EXPECT_FALSE(args.Parse({"--yes"}, std::set<std::string>{"name"}, error));
    EXPECT_EQ(error, "unknown option --yes");
}

}  // namespace
