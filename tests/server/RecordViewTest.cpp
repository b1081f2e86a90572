#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "server/ExtRec.h"
#include "server/SysConfigTable.h"
#include "server/WorkgrpRec.h"

using namespace server;

namespace {

void Put(std::vector<std::uint8_t>& b, std::size_t off, const char* text) {
    std::memcpy(b.data() + off, text, std::strlen(text) + 1);
}

}  // namespace

TEST(ExtRec, ReadsFieldsAtTheirOffsetsLittleEndian) {
    std::vector<std::uint8_t> b(2400, 0);
    b[0] = 0x60; b[1] = 0x04;              // RecordVersion
    b[2] = 0x60; b[3] = 0x09;              // RecordSize 2400
    Put(b, 16, "1234");
    Put(b, 33, "ABxxxxxxxxxx");
    Put(b, 46, "Smith");
    Put(b, 79, "Ann");
    Put(b, 177, "ext1234");
    b[408] = 0x04; b[410] = 0x05; b[411] = 0x20;  // 0x20050004
    b[420] = 0x80; b[422] = 0x20;                 // 0x00200080
    b[432] = 0x43; b[433] = 1;
    b[552] = 7;
    Put(b, 556, "81234");
    Put(b, 1211, "ext1234@site.example");
    b[1276] = 1;
    b[1412] = 1; b[1415] = 127;

    ConstExtRec r(b.data(), b.size());
    EXPECT_EQ(r.RecordVersion(), 0x0460);
    EXPECT_EQ(r.RecordSize(), 2400);
    EXPECT_EQ(r.ExtensionNumber(), "1234");
    EXPECT_EQ(r.ExtPassword(), "ABxxxxxxxxxx");
    EXPECT_EQ(r.ExtName(), "Smith");
    EXPECT_EQ(r.ExtFirstName(), "Ann");
    EXPECT_EQ(r.EMailName(), "ext1234");
    EXPECT_EQ(r.ExtFeatureFlagBank(), extrec::kForwardingCopyMask);
    EXPECT_EQ(r.ExtStatusFlagBank(), 0x00200080u);
    EXPECT_EQ(r.ConfiguredLineType(), extrec::kLineTypeCreated);
    EXPECT_EQ(r.ExtensionType(), exttype::kVirtual);
    EXPECT_EQ(r.ForwardTarget(), 7u);
    EXPECT_EQ(r.FwdDialString(), "81234");
    EXPECT_EQ(r.FwdEmailAddr(), "ext1234@site.example");
    EXPECT_EQ(r.FwdMailOptions(), 1);
    EXPECT_EQ(r.LogonIP(), 0x7F000001u);
}

TEST(ExtRec, TextWithoutTerminatorIsCutAndWritesTerminateAndClearTheField) {
    std::vector<std::uint8_t> b(2400, 'x');
    ExtRec r(b.data(), b.size());
    EXPECT_EQ(r.ExtensionNumber(), std::string(16, 'x'));
    EXPECT_EQ(r.FwdEmailAddr().size(), 64u);

    EXPECT_TRUE(r.SetExtensionNumber(std::string(40, '9')));
    EXPECT_EQ(r.ExtensionNumber(), std::string(16, '9'));
    EXPECT_EQ(b[16 + 16], 0);
    EXPECT_EQ(b[33], 'x');  // the next field is untouched

    EXPECT_TRUE(r.SetExtName("Li"));
    EXPECT_EQ(r.ExtName(), "Li");
    for (std::size_t i = 46 + 2; i < 46 + 33; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[45], 'x');
    EXPECT_EQ(b[79], 'x');

    EXPECT_TRUE(r.SetFwdDialString(std::string(20, '8'), 19));
    EXPECT_EQ(r.FwdDialString(), std::string(19, '8'));
}

TEST(ExtRec, WritesTouchOnlyTheirOwnBytes) {
    std::vector<std::uint8_t> b(2400, 0xAA), before = b;
    ExtRec r(b.data(), b.size());
    r.SetExtFeatureFlagBank(0x11223344);
    r.SetExtensionType(2);
    r.SetRecordSize(2400);
    r.SetBits(extrec::kExtStatusFlagBank, 0x80, false);
    for (std::size_t i = 0; i < b.size(); ++i) {
        const bool named = (i >= 408 && i < 412) || i == 433 || (i >= 2 && i < 4) || i == 420;
        if (!named) {
            EXPECT_EQ(b[i], before[i]) << i;
        }
    }
    EXPECT_EQ(r.ExtFeatureFlagBank(), 0x11223344u);
    EXPECT_EQ(b[408], 0x44);
    EXPECT_EQ(r.ExtStatusFlagBank(), 0xAAAAAA2Au);
}

TEST(ExtRec, ShortRecordReadsZeroAndRefusesWritesBeyondItsEnd) {
    // A record of 560 bytes ends inside FwdDialString: that field and all later ones are absent.
    std::vector<std::uint8_t> b(600, 0x31);
    ExtRec r(b.data(), 560);
    EXPECT_EQ(r.ForwardTarget(), 0x31313131u);
    EXPECT_EQ(r.FwdDialString(), "");
    EXPECT_EQ(r.FwdEmailAddr(), "");
    EXPECT_EQ(r.LogonIP(), 0u);
    EXPECT_EQ(r.FwdMailOptions(), 0);
    EXPECT_FALSE(r.SetFwdDialString("1"));
    EXPECT_FALSE(r.SetLogonIP(1));
    EXPECT_FALSE(r.SetU32(558, 1));  // straddles the end
    EXPECT_EQ(b[559], 0x31);
    EXPECT_EQ(b[560], 0x31);

    ConstExtRec tiny(b.data(), 1);
    EXPECT_EQ(tiny.RecordVersion(), 0);
    EXPECT_EQ(tiny.ExtensionNumber(), "");
    EXPECT_EQ(ConstExtRec().ExtensionType(), 0);
}

TEST(WorkgrpRec, MembersEndAtFirstEmptyEntryOrAfter128) {
    std::vector<std::uint8_t> b(4300, 0);
    b[2] = 0xCC; b[3] = 0x10;  // 4300
    Put(b, 16, "500");
    WORKGRPREC g(b.data(), b.size());
    EXPECT_EQ(g.RecordSize(), 4300);
    EXPECT_EQ(g.GroupNumber(), "500");
    EXPECT_EQ(g.MemberCount(), 0u);

    for (std::size_t i = 0; i < 128; ++i) ASSERT_TRUE(g.SetMember(i, std::to_string(1000 + i)));
    EXPECT_EQ(g.MemberCount(), 128u);
    EXPECT_EQ(g.Member(0), "1000");
    EXPECT_EQ(g.Member(127), "1127");
    EXPECT_EQ(b[1607 + 127 * 17], '1');
    EXPECT_EQ(g.Member(128), "");
    EXPECT_FALSE(g.SetMember(128, "1"));

    b[1607 + 5 * 17] = 0;  // a leading NUL ends the list even with later entries filled
    EXPECT_EQ(g.MemberCount(), 5u);
    EXPECT_EQ(g.Member(6), "1006");
}

TEST(WorkgrpRec, ShortRecordEndsMemberListAtItsEnd) {
    std::vector<std::uint8_t> b(4300, '7');
    // 1607 + 3 * 17 + 10: three whole entries and part of the fourth.
    ConstWORKGRPREC g(b.data(), 1607 + 3 * 17 + 10);
    EXPECT_EQ(g.MemberCount(), 3u);
    EXPECT_EQ(g.Member(2), std::string(16, '7'));
    EXPECT_EQ(g.Member(3), "");
}

TEST(SysConfigTable, FieldsAndDialPlan) {
    std::vector<std::uint8_t> b(syscfg::kSize, 0);
    SysConfigTable t(b.data(), b.size());
    b[0] = 0x80; b[1] = 0x04;
    Put(b, 33, "ABcdefghijkl");
    b[72] = 4;
    EXPECT_EQ(t.ServerVersion(), 0x0480);
    EXPECT_EQ(t.AdminPassword(), "ABcdefghijkl");
    EXPECT_EQ(t.ExtNumberLength(), 4);

    ASSERT_TRUE(t.SetDialPlanEntry(0, '9', 6));
    ASSERT_TRUE(t.SetDialPlanEntry(1, '5', 5));
    ASSERT_TRUE(t.SetDialPlanEntry(2, '5', 1));  // a later duplicate does not count
    ASSERT_TRUE(t.SetDialPlanEntry(15, '\xE9', -3));
    EXPECT_EQ(b[1580 + 8], '5');
    EXPECT_EQ(b[1580 + 8 + 4], 5);
    EXPECT_EQ(t.DigitClass('9'), 6);
    EXPECT_EQ(t.DigitClass('5'), 5);
    EXPECT_EQ(t.DigitClass('1'), 0);
    EXPECT_EQ(t.DialChar(15), -23);
    EXPECT_EQ(t.DigitClass('\xE9'), -3);
    EXPECT_FALSE(t.SetDialPlanEntry(16, '1', 1));

    // A truncated table only consults the entries it wholly holds.
    ConstSysConfigTable shortT(b.data(), 1580 + 8 + 7);
    EXPECT_EQ(shortT.DigitClass('9'), 6);
    EXPECT_EQ(shortT.DigitClass('5'), 0);
}
