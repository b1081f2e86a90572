// The zentsim program: init, add, fault and dump as a user runs them, and clear errors for bad
// usage and for broken state files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

using Json = nlohmann::ordered_json;

class Command : public ::testing::Test {
protected:
    ProgramResult Run(std::vector<std::string> args) { return RunProgram("zentsim", args, dir.path()); }
    Json Dump() {
        ProgramResult r = Run({"dump", state});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return Json::parse(r.out, nullptr, false);
    }
    TempDir dir;
    std::string state = dir.file("north.json");
};

TEST_F(Command, InitAddFaultAndDump) {
    ASSERT_EQ(Run({"init", state, "--name", "North", "--version", "0x0470", "--admin-password", "secret",
                   "--ext-length", "4", "--dial-plan", "8=1,5=5", "--location-code-length", "2",
                   "--tie-trunk-codes", "12,34", "--record-length", "2000"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"add", state, "--number", "1000", "--type", "physical", "--first", "Ann", "--last", "Müller"}).exitCode, 0);
    ASSERT_EQ(Run({"add", state, "--number", "1001", "--type", "virtual", "--forwarding", "--fwd-dial", "81001",
                   "--fwd-email", "ext1001@south"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"add", state, "--number", "3000", "--type", "group", "--members", "1000,1001"}).exitCode, 0);
    ASSERT_EQ(Run({"add", state, "--number", "1002", "--type", "ip"}).exitCode, 0);
    ASSERT_EQ(Run({"fault", state, "GetExtensionList", "E_OUTOFMEMORY", "--after", "2", "--absent", "IZentDeleteI",
                   "--empty", "IZentOKLInterface", "--mailbox-answer", "170", "--delay-ms", "5", "--itg-table-bytes", "7"})
                  .exitCode,
              0);

    Json d = Dump();
    ASSERT_FALSE(d.is_discarded());
    EXPECT_EQ(d["system"]["version"], "0x0470");
    EXPECT_EQ(d["system"]["ext_number_length"], 4);
    EXPECT_EQ(d["system"]["record_length"], 2000);
    EXPECT_EQ(d["system"]["tie_trunk"]["used"], Json::parse(R"(["12","34"])"));
    ASSERT_EQ(d["records"].size(), 4u);
    const Json& ann = d["records"][0];
    EXPECT_EQ(ann["number"], "1000");
    EXPECT_EQ(ann["last_name"], "Müller");
    EXPECT_EQ(ann["status_flags"], "0x00000002");  // member of 3000
    const Json& copy = d["records"][1];
    EXPECT_EQ(copy["type"], "virtual");
    EXPECT_EQ(copy["status_flags"], "0x00000082");
    EXPECT_EQ(copy["feature_flags"], "0x2005060C");
    EXPECT_EQ(copy["forward_target"], 7);
    EXPECT_EQ(copy["fwd_mail_options"], 0);
    EXPECT_EQ(copy["fwd_dial_string"], "81001");
    EXPECT_EQ(copy["fwd_email_addr"], "ext1001@south");
    EXPECT_EQ(d["records"][2]["shown_type"], "ip");
    EXPECT_EQ(d["records"][2]["type"], "physical");
    EXPECT_EQ(d["workgroups"][0]["members"], Json::parse(R"(["1000","1001"])"));
    EXPECT_EQ(d["faults"]["methods"]["GetExtensionList"]["result"], "0x8007000E");
    EXPECT_EQ(d["faults"]["methods"]["GetExtensionList"]["after"], 2);
    EXPECT_EQ(d["faults"]["interfaces"]["IZentDeleteI"], "absent");
    EXPECT_EQ(d["faults"]["mailbox_share_answer"], "0x000000AA");
    EXPECT_EQ(d["faults"]["itg_table_bytes"], 7);

    ASSERT_EQ(Run({"fault", state, "--clear"}).exitCode, 0);
    d = Dump();
    EXPECT_TRUE(d["faults"]["methods"].empty());
    EXPECT_TRUE(d["faults"]["interfaces"].empty());
    EXPECT_EQ(d["faults"]["delay_ms"], 0);
    EXPECT_TRUE(d["faults"]["itg_table_bytes"].is_null());
}

TEST_F(Command, RefusalsAndUsageErrors) {
    ASSERT_EQ(Run({"init", state, "--name", "North"}).exitCode, 0);
    ProgramResult r = Run({"init", state, "--name", "North"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("exists already"), std::string::npos);
    EXPECT_EQ(Run({"init", state, "--name", "Again", "--force"}).exitCode, 0);

    r = Run({"add", state, "--number", "300", "--type", "group", "--members", "100"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("member 100 is not an extension"), std::string::npos);
    ASSERT_EQ(Run({"add", state, "--number", "100", "--type", "physical"}).exitCode, 0);
    r = Run({"add", state, "--number", "100", "--type", "physical"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("exists already"), std::string::npos);
    r = Run({"add", state, "--number", "101", "--type", "robot"});
    EXPECT_NE(r.err.find("unknown extension type \"robot\""), std::string::npos);

    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{}, "no command"},
        {{"frob", state}, "unknown command"},
        {{"init", state}, "init needs --name"},
        {{"init", state, "--name", "N", "--ext-length", "40"}, "--ext-length must be 1 to 16"},
        {{"init", state, "--name", "N", "--dial-plan", "8:1"}, "is not CHAR=CLASS"},
        {{"init", state, "--name", "N", "--admin-hash", "xx"}, "administrator password hash"},
        {{"add", state, "--number", "1"}, "add needs --number and --type"},
        {{"fault", state, "Frobnicate", "E_FAIL"}, "not a named method"},
        {{"fault", state, "ReadItem", "sometimes"}, "is not an HRESULT"},
        {{"fault", state, "ReadItem"}, "METHOD and HRESULT together"},
        {{"dump", state, "--all"}, "unknown option --all"},
        {{"serve", state}, "serve needs --address"},
    };
    for (const auto& [args, expected] : usage) {
        r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << expected;
        EXPECT_NE(r.err.find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << r.err;
    }
    r = Run({"fault", state, "--absent", "IZentNothing"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not one of the server interfaces"), std::string::npos);
}

TEST_F(Command, BrokenStateFilesGiveAClearError) {
    const std::pair<std::string, std::string> files[] = {
        {"", "not valid JSON"},
        {std::string("\x00\xFF\xFE garbage", 11), "not valid JSON"},
        {R"({"format":"zentsim-state","format_version":1,"name":"N","system":{},"records":[{"number":"100","type":"physical","frist_name":"x"}]})",
         "records[0] (number \"100\"): unknown field \"frist_name\""},
    };
    for (const auto& [content, expected] : files) {
        dir.Write("north.json", content);
        ProgramResult r = Run({"dump", state});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(state + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << r.err;
    }
    ProgramResult r = Run({"dump", dir.file("missing.json")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos);
}

}  // namespace
