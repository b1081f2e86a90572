// The command-line reader's repeatable options and flags (its refusals are checked through
// qob-cli download itself).
#include <gtest/gtest.h>

#include "cli/Args.h"

namespace {

TEST(Args, RepeatedOptionsKeepEveryValueInOrder) {
    const OptionSpec spec{{"password", "dir"}, {"yes"}, {"password"}};
    CArgs args;
    std::string error;
    ASSERT_TRUE(args.Parse({"A", "--password", "A=1", "B", "--password=B=2=3", "--yes"}, spec, error)) << error;
    EXPECT_EQ(args.Words(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(args.GetAll("password"), (std::vector<std::string>{"A=1", "B=2=3"}));
    EXPECT_EQ(args.Get("password"), "A=1");
    EXPECT_TRUE(args.Has("yes"));
    EXPECT_FALSE(args.Has("dir"));
    EXPECT_FALSE(args.Parse({"--dir", "a", "--dir", "b"}, spec, error));
    EXPECT_EQ(error, "option --dir given twice");

    // The valued-only form the other commands use knows no flags.
    EXPECT_FALSE(args.Parse({"--yes"}, std::set<std::string>{"name"}, error));
    EXPECT_EQ(error, "unknown option --yes");
}

}  // namespace
