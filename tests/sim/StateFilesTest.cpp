// The state file as zentsim's commands meet it: changed by several at once, held by a server,
// reached through a link, or something that is not a state file at all; and text that the file
// or the code page could not keep as given.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

#include "sim/StateCodec.h"
#include "support/Processes.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

class StateFiles : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_CODEPAGE", "WINDOWS-1252", 1);
        ASSERT_EQ(Run({"init", state, "--name", "North", "--admin-password", "pw"}).exitCode, 0);
    }
    void TearDown() override { unsetenv("QOB_CODEPAGE"); }

    ProgramResult Run(const std::vector<std::string>& args) { return RunProgram("zentsim", args, scratch.path()); }
    ProgramResult Add(const std::string& number, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"add", state, "--number", number, "--type", "physical"};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }
    std::vector<std::string> Numbers() {
        ProgramResult r = Run({"dump", state});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> numbers;
        const Json dump = Json::parse(r.out);
        for (const Json& rec : dump["records"]) numbers.push_back(rec["number"]);
        return numbers;
    }

    TempDir registry, dir, scratch;
    std::string state = dir.file("north.json");
};

TEST_F(StateFiles, TenCommandsAtOnceKeepAllTenChanges) {
    std::vector<std::unique_ptr<Background>> commands;
    for (int i = 0; i < 10; ++i)
        commands.push_back(std::make_unique<Background>(
            "zentsim", std::vector<std::string>{"add", state, "--number", std::to_string(100 + i), "--type", "physical"},
            scratch.path(), "add" + std::to_string(i)));
    for (auto& c : commands) EXPECT_EQ(c->Wait(std::chrono::seconds(60)), 0) << c->Err();
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"100", "101", "102", "103", "104", "105", "106", "107", "108", "109"}));
}

// What the server holds would overwrite any change made beside it: it is refused at once.
TEST_F(StateFiles, WhileServedTheStateFileIsRefusedToOtherCommands) {
    ASSERT_EQ(Add("100").exitCode, 0);
    const std::string before = dir.Read("north.json");
    Daemon server(state, "127.0.1.1", 1135, scratch.path());
    ASSERT_TRUE(server.Ready()) << server.Process().Err();
    const std::string served = " is served by process " + std::to_string(server.Process().Pid()) + " (zentsim serve); ";
    const auto start = std::chrono::steady_clock::now();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", state, "--number", "101", "--type", "physical"},
          std::vector<std::string>{"fault", state, "--delay-ms", "5"},
          std::vector<std::string>{"init", state, "--name", "Again", "--force"},
          std::vector<std::string>{"serve", state, "--address", "127.0.1.2", "--port", "1135"}}) {
        Background r("zentsim", args, scratch.path(), args[0]);  // a second server would not end by itself
        EXPECT_EQ(r.Wait(std::chrono::seconds(10)), 1) << args[0];
        EXPECT_NE(r.Err().find(state + served + "stop it before using the state file with zentsim " + args[0] + "."),
                  std::string::npos)
            << r.Err();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // no waiting for the lock
    EXPECT_EQ(dir.Read("north.json"), before);
    EXPECT_EQ(Numbers(), std::vector<std::string>{"100"});  // reading is fine

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(Add("101").exitCode, 0);
}

TEST_F(StateFiles, ALinkKeepsLeadingToTheFileItNames) {
    fs::create_directory(dir.file("real"));
    fs::rename(state, dir.file("real/site.json"));
    fs::create_symlink("real/site.json", state);
    ASSERT_EQ(Add("100").exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(state));
    EXPECT_EQ(Numbers(), std::vector<std::string>{"100"});
    EXPECT_NE(dir.Read("real/site.json").find("\"number\":\"100\""), std::string::npos);
}

TEST_F(StateFiles, WhatIsNotAStateFileIsRefusedWithoutBeingRead) {
    fs::remove(state);
    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    for (const char* command : {"dump", "add"}) {
        std::vector<std::string> args{command, state};
        if (std::string(command) == "add") args.insert(args.end(), {"--number", "100", "--type", "physical"});
        Background r("zentsim", args, scratch.path(), command);
        EXPECT_EQ(r.Wait(std::chrono::seconds(10)), 1) << command << " waited on the pipe";
        EXPECT_NE(r.Err().find("north.json is not a regular file but a pipe"), std::string::npos) << r.Err();
    }
    fs::remove(state);

    // Larger than a state file may be: refused before a byte is read (the file is sparse).
    {
        std::ofstream(state, std::ios::binary) << "{";
    }
    fs::resize_file(state, sim::kMaxStateText + 1);
    ProgramResult r = Run({"dump", state});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("larger than 268435456 bytes, the most a state file may hold"), std::string::npos) << r.err;
}

TEST_F(StateFiles, AReadOnlyStateFileIsNotReplaced) {
    const std::string before = dir.Read("north.json");
    ASSERT_EQ(::chmod(state.c_str(), 0444), 0);
    ProgramResult r = Add("100");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("north.json: cannot write: Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("north.json"), before);
}

TEST_F(StateFiles, TheNextChangeRemovesWhatAKilledSaveLeft) {
    dir.Write("north.json.tmp-Xy12Zw", dir.Read("north.json"));
    dir.Write("north.json.tmp-mine", "keep");
    ASSERT_EQ(Run({"dump", state}).exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.file("north.json.tmp-Xy12Zw")));
    ASSERT_EQ(Add("100").exitCode, 0);
    EXPECT_FALSE(fs::exists(dir.file("north.json.tmp-Xy12Zw")));
    EXPECT_TRUE(fs::exists(dir.file("north.json.tmp-mine")));
}

// Text the server's code page or field cannot keep is refused, not cut or turned into "?".
TEST_F(StateFiles, TextThatCannotBeKeptIsRefused) {
    const std::string before = dir.Read("north.json");
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--first", "Z\u00FCrich\u4E2D"}, "--first: the text has a character (U+4E2D) that the code page WINDOWS-1252 "
                                          "cannot hold"},
        {{"--last", "Z\xE4rich"}, "--last: the text is not valid UTF-8 (at byte 1)"},
        {{"--first", std::string(33, 'f')}, "--first: the text is 33 bytes long, more than the 32 its field holds"},
        {{"--fwd-dial", std::string(21, '8')}, "--fwd-dial: the text is 21 bytes long, more than the 20 its field holds"},
    };
    for (const auto& [more, message] : refused) {
        ProgramResult r = Add("100", more);
        EXPECT_EQ(r.exitCode, 2) << message;
        EXPECT_NE(r.err.find("zentsim: " + message + "\n"), std::string::npos) << r.err;
    }
    ProgramResult r = Run({"init", dir.file("other.json"), "--name", "S\xFC" "d"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--name: the text is not valid UTF-8"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("north.json"), before);
    EXPECT_FALSE(fs::exists(dir.file("other.json")));

    // A state file with such text is refused by every command, and so is never rewritten.
    ASSERT_EQ(Add("100", {"--first", "Z\u00FCrich"}).exitCode, 0);
    std::string text = dir.Read("north.json");
    text.replace(text.find("Z\u00FCrich"), std::string("Z\u00FCrich").size(), "\u4E2D\u6587");
    dir.Write("north.json", text);
    r = Add("101");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("records[0] (number \"100\"): first_name: the text has a character (U+4E2D)"), std::string::npos)
        << r.err;
    EXPECT_EQ(dir.Read("north.json"), text);
}

}  // namespace
