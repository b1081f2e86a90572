// The state file: every byte of a record survives a save and a load, hand edits of decoded
// fields take effect, and a malformed file gives an error that names the problem.
#include <gtest/gtest.h>

#include <random>

#include "server/ExtRec.h"
#include "server/ExtSummary.h"
#include "server/WorkgrpRec.h"
#include "sim/HexBytes.h"
#include "sim/SiteSetup.h"
#include "sim/StateCodec.h"
#include "platform/CodePage.h"

using sim::Bytes;
using sim::Json;

namespace {

sim::SiteState SampleState(uint16_t recordLength = 2400) {
    sim::InitOptions o;
    o.name = "North";
    o.adminPassword = "pw";
    o.recordLength = recordLength;
    o.dialPlan = {{'9', 6}};
    sim::SiteState s;
    std::string error;
    EXPECT_TRUE(sim::MakeSiteState(o, s, error)) << error;
    for (const char* number : {"100", "101"}) {
        sim::AddOptions a;
        a.ext.number = number;
        a.ext.lastName = "M\xFCller";  // code page text
        EXPECT_TRUE(sim::AddToSite(s, a, error)) << error;
    }
    sim::AddOptions g;
    g.ext.number = "300";
    g.ext.type = "group";
    g.members = {"100"};
    EXPECT_TRUE(sim::AddToSite(s, g, error)) << error;
    s.extData["100"] = {7, {1, 2, 3}};
    s.items[{4, 100}] = {9};
    s.faults.methods["GetWorkgroupList"] = {static_cast<com::HRESULT>(0x80004005), 3};
    s.faults.interfaces["IZentONAI"] = sim::InterfaceAnswer::Empty;
    s.faults.itgTableBytes = 5203;
    return s;
}

Bytes RecordBytes(const sim::SiteState& s, const std::string& number) {
    const sim::Stored* r = s.FindRecord(number);
    return r ? r->bytes : Bytes{};
}

sim::SiteState Reparse(const std::string& text) {
    sim::SiteState s;
    std::string error;
    EXPECT_TRUE(sim::ParseState(text, s, error)) << error;
    return s;
}

TEST(StateCodec, EveryByteSurvivesSaveAndLoad) {
    sim::SiteState s = SampleState();
    // Scatter noise over unnamed bytes, including an unterminated text field.
    std::mt19937 rng(7);
    Bytes noisy = RecordBytes(s, "101");
    for (int i = 0; i < 200; ++i) noisy[600 + rng() % 1700] = uint8_t(rng());
    std::memset(noisy.data() + 46, 'x', 33);
    ASSERT_TRUE(s.ReplaceRecord(noisy, nullptr));
    const std::string text = sim::SerializeState(s);
    sim::SiteState back = Reparse(text);
    EXPECT_EQ(RecordBytes(back, "101"), RecordBytes(s, "101"));
    EXPECT_EQ(RecordBytes(back, "100"), RecordBytes(s, "100"));
    EXPECT_EQ(back.FindWorkgroup("300")->bytes, s.FindWorkgroup("300")->bytes);
    EXPECT_EQ(back.system, s.system);
    EXPECT_EQ(back.faults, s.faults);
    EXPECT_EQ(back.extData, s.extData);
    EXPECT_EQ(back.items, s.items);
    EXPECT_EQ(sim::SerializeState(back), text);
}

TEST(StateCodec, HandEditsOfDecodedFieldsApplyOverTheRawBytes) {
    sim::SiteState s = SampleState();
    Json j = Json::parse(sim::SerializeState(s));
    Json& rec = j["records"][0];
    ASSERT_EQ(rec["number"], "100");
    ASSERT_EQ(rec["last_name"], "Müller");  // shown in UTF-8
    rec["first_name"] = "Zoë";
    rec["status_flags"] = "0x00200082";
    rec["logon_ip"] = "10.1.2.3";
    j["workgroups"][0]["members"] = {"101", "100"};
    sim::SiteState back = Reparse(j.dump());
    Bytes before = RecordBytes(s, "100"), after = RecordBytes(back, "100");
    server::ConstExtRec r(after.data(), after.size());
    EXPECT_EQ(r.ExtFirstName(), "Zo\xEB");
    EXPECT_EQ(r.ExtName(), "M\xFCller");
    EXPECT_EQ(r.ExtStatusFlagBank(), 0x00200082u);
    EXPECT_EQ(after[1412], 10);
    EXPECT_EQ(after[1415], 3);
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i < 79 || (i >= 112 && i < 420) || (i >= 424 && i < 1412) || i >= 1416) {
            ASSERT_EQ(after[i], before[i]) << i;
        }
    }
    server::ConstWORKGRPREC w(back.FindWorkgroup("300")->bytes.data(), 4300);
    EXPECT_EQ(w.MemberCount(), 2u);
    EXPECT_EQ(w.Member(0), "101");
}

TEST(StateCodec, RecordsWithoutRawBytesAreMadeLikeTheCommandLineMakesThem) {
    const std::string text = R"({"format":"zentsim-state","format_version":1,"name":"S",
        "system":{"version":"0x0470","record_length":1500},
        "records":[{"number":"200","type":"ip","last_name":"Lee"},{"number":"201","type":3}]})";
    sim::SiteState s = Reparse(text);
    Bytes b = RecordBytes(s, "200");
    ASSERT_EQ(b.size(), 1500u);
    server::ConstExtRec r(b.data(), b.size());
    EXPECT_EQ(r.ExtensionType(), server::exttype::kPhysical);
    EXPECT_EQ(server::SummaryType(r), server::exttype::kIp);
    EXPECT_EQ(r.RecordVersion(), 0x0470);
    EXPECT_EQ(r.ExtName(), "Lee");
    Bytes w = RecordBytes(s, "201");
    EXPECT_EQ(server::ConstExtRec(w.data(), w.size()).ExtensionType(), 3);
}

TEST(StateCodec, ShortRecordsKeepOnlyTheFieldsTheyHold) {
    sim::SiteState s = SampleState(200);
    Json j = Json::parse(sim::SerializeState(s));
    EXPECT_TRUE(j["records"][0].contains("first_name"));
    EXPECT_FALSE(j["records"][0].contains("fwd_email_addr"));
    j["records"][0]["fwd_email_addr"] = "x@y";
    sim::SiteState back;
    std::string error;
    EXPECT_FALSE(sim::ParseState(j.dump(), back, error));
    EXPECT_NE(error.find("fwd_email_addr: lies outside the record length 200"), std::string::npos) << error;
}

TEST(StateCodec, MalformedStatesNameTheProblem) {
    const std::string good = sim::SerializeState(SampleState());
    auto edited = [&](auto edit) {
        Json j = Json::parse(good);
        edit(j);
        return j.dump();
    };
    const std::pair<std::string, std::string> cases[] = {
        {"{\"format\": ", "not valid JSON"},
        {"[1,2]", "state: must be an object"},
        {std::string(100, '[') + std::string(100, ']'), "nested deeper than 32"},
        {edited([](Json& j) { j["format"] = "other"; }), "format: is not \"zentsim-state\""},
        {edited([](Json& j) { j["format_version"] = 2; }), "state.format_version: must be an integer from 1 to 1"},
        {edited([](Json& j) { j.erase("system"); }), "\"system\" is missing"},
        {edited([](Json& j) { j["system"]["record_length"] = 10; }), "system.record_length: must be an integer from 33"},
        {edited([](Json& j) { j["system"]["admin_password_hash"] = "short"; }), "system: administrator password hash"},
        {edited([](Json& j) { j["system"]["tie_trunk"] = {{"location_code_length", 2}, {"used", {"123"}}}; }),
         "system.tie_trunk.used: \"123\" is not a location code of 2 digits"},
        {edited([](Json& j) { j["records"][0]["first_name"] = std::string(40, 'a'); }),
         "records[0] (number \"100\"): first_name: longer than 32 bytes"},
        {edited([](Json& j) { j["records"][1]["number"] = "100"; }), "listed before"},
        {edited([](Json& j) { j["records"][0]["frist_name"] = "a"; }), "unknown field \"frist_name\""},
        {edited([](Json& j) { j["records"][0]["feature_flags"] = "0x1FFFFFFFF"; }), "feature_flags: must be an integer"},
        {edited([](Json& j) { j["records"][0]["raw"] = {"2399:0102"}; }), "reaches past the record length 2400"},
        {edited([](Json& j) { j["records"][0]["raw"] = {"zz"}; }), "run 0 is not \"OFFSET:HEX\""},
        {edited([](Json& j) { j["records"][0]["number"] = "1 0"; }), "is not 1 to 16 printable characters"},
        {edited([](Json& j) { j["records"].erase(2); }), "workgroups[0] (number \"300\"): there is no record of type group"},
        {edited([](Json& j) { j["faults"]["methods"]["Frobnicate"] = {{"result", "E_FAIL"}}; }),
         "faults.methods.Frobnicate: not a named method"},
        {edited([](Json& j) { j["faults"]["methods"]["GetExtensionList"] = {{"result", "oops"}}; }),
         "faults.methods.GetExtensionList.result: must be an HRESULT"},
        {edited([](Json& j) { j["faults"]["interfaces"]["IZentDeleteI"] = "gone"; }),
         "faults.interfaces.IZentDeleteI: must be \"absent\""},
        {edited([](Json& j) { j["faults"]["extension_list_extra_bytes"] = 2400; }), "extension_list_extra_bytes"},
        {edited([](Json& j) { j["ext_data"][0]["hex"] = "abc"; }), "ext_data[0] (number \"100\").hex: must be an even"},
        {edited([](Json& j) { j["mailbox"]["open"] = 1; }), "mailbox.open: must be true or false"},
    };
    for (const auto& [text, expected] : cases) {
        sim::SiteState s;
        std::string error;
        EXPECT_FALSE(sim::ParseState(text, s, error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << error;
    }
}

// Where a plain JSON reader would choose silently (the last of two values, "?" for a character),
// or a loaded site would hold something no server holds, the loader refuses.
TEST(StateCodec, TheLoaderRefusesWhatItWouldOtherwiseGuess) {
    const std::string good = sim::SerializeState(SampleState());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    auto edited = [&](auto edit) {
        Json j = Json::parse(good);
        edit(j);
        return j.dump();
    };
    Json manyKeys = Json::object();
    for (int i = 0; i < 300; ++i) manyKeys["k" + std::to_string(i)] = i;
    const std::pair<std::string, std::string> cases[] = {
        {replaced("\"first_name\":", "\"first_name\":\"Ann\",\"first_name\":"),
         "records[0]: the key \"first_name\" is given twice"},
        {replaced("\"format_version\": 1", "\"format_version\": 1, \"format_version\": 1"),
         "state: the key \"format_version\" is given twice"},
        {edited([&](Json& j) { j["faults"]["methods"] = manyKeys; }), "faults.methods: more than 256 keys"},
        {edited([](Json& j) { j["ext_data"][0]["number"] = "999"; }),
         "ext_data[0] (number \"999\"): there is no record with this number"},
        {edited([](Json& j) { j["ona_data"] = {{{"number", "998"}, {"hex", "01"}}}; }),
         "ona_data[0] (number \"998\"): there is no record with this number"},
        {edited([](Json& j) { j["records"][0]["first_name"] = "\u4E2D"; }),
         "records[0] (number \"100\"): first_name: the text has a character (U+4E2D) that the code page "
         "WINDOWS-1252 cannot hold"},
        {edited([](Json& j) { j["name"] = "Z\u00FCrich\u4E2D"; }), "name: \"Z\u00FCrich\u4E2D\" has a character (U+4E2D)"},
        {edited([](Json& j) { j["workgroups"][0]["members"] = {"100", "\u4E2D"}; }), "members: "},
        {edited([](Json& j) { j["records"] = 7; }), "records: must be an array"},
    };
    platform::SetCodePage("WINDOWS-1252");
    for (const auto& [text, expected] : cases) {
        sim::SiteState s;
        std::string error;
        EXPECT_FALSE(sim::ParseState(text, s, error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << error;
    }
    platform::SetCodePage("");

    // Records before the system configuration they need still load, with its record length.
    const std::string early = R"({"records":[{"number":"200","type":"physical"}],"workgroups":[],
        "format":"zentsim-state","format_version":1,"name":"S","system":{"record_length":1500}})";
    sim::SiteState s = Reparse(early);
    EXPECT_EQ(RecordBytes(s, "200").size(), 1500u);
}

TEST(StateCodec, RecordsBeyondTheMemoryLimitAreRefusedAsTheyAreRead) {
    const std::string text = sim::SerializeState(SampleState(2400));  // 3 records, 1 workgroup
    sim::SiteState s;
    std::string error;
    sim::StateLimits limits;
    limits.maxSiteBytes = 3 * 2400 + 4300;
    EXPECT_TRUE(sim::ParseState(text, s, error, limits)) << error;
    limits.maxSiteBytes -= 1;
    EXPECT_FALSE(sim::ParseState(text, s, error, limits));
    EXPECT_NE(error.find("would take more than 11499 bytes in memory"), std::string::npos) << error;
}

TEST(HexBytes, RunsKeepSparseBytesAndShortGaps) {
    Bytes b(300, 0);
    b[0] = 1;
    b[5] = 2;      // gap of 4: same run
    b[100] = 3;    // a run of its own
    b[299] = 0xFF; // the last byte
    Json runs = sim::EncodeRuns(b);
    EXPECT_EQ(runs, Json::parse(R"(["0:010000000002", "100:03", "299:ff"])"));
    Bytes back(300, 0);
    std::string error;
    ASSERT_TRUE(sim::DecodeRuns(runs, back, error)) << error;
    EXPECT_EQ(back, b);
    EXPECT_EQ(sim::EncodeRuns(Bytes(10, 0)).size(), 0u);
}

}  // namespace
