// Whether a site's record of a number is a forwarding copy of another site's: every condition
// broken alone, against two simulated sites.
#include "support/HostedSites.h"

namespace {

using server::ExtRec;
using server::FieldText;
namespace extrec = server::extrec;

using RecordEdit = std::function<void(ExtRec)>;

class ForwardedCopy : public HostedSites {
protected:
    // North holds extension 100, South a correct forwarding copy of it along the route 8N /
    // north.example; the edits then change either record.
    bool CopyMatches(const RecordEdit& copyEdit, const RecordEdit& homeEdit = {}) {
        Hosted& north = Site("North");
        Hosted& south = Site("South");
        Add(north, Ext("100"));
        Add(south, ForwardingCopy("100", "8100", "ext100@north.example"));
        if (copyEdit) EditRecord(south, "100", copyEdit);
        if (homeEdit) EditRecord(north, "100", homeEdit);
        server::CZentServ& n = Load(north);
        server::CZentServ& s = Load(south);
        const bool match = s.MatchForwardedExt("100", &n, "8N", "north.example");
        // Only a copy takes the home's name; any other record keeps its own site's.
        EXPECT_EQ(FieldText(s.FindExt("100")->HomeServer), match ? "North" : "South");
        return match;
    }
    static RecordEdit Bits(size_t word, uint32_t bits, bool on) {
        return [=](ExtRec r) { r.SetBits(word, bits, on); };
    }
};

TEST_F(ForwardedCopy, ACorrectCopyMatchesAndRecordsItsHome) { EXPECT_TRUE(CopyMatches({})); }

TEST_F(ForwardedCopy, EveryConditionBrokenAloneFailsTheMatch) {
    const struct {
        const char* what;
        RecordEdit copy, home;
    } cases[] = {
        {"status bit 0x80 clear", Bits(extrec::kExtStatusFlagBank, 0x80, false), {}},
        {"feature bit 0x4 clear", Bits(extrec::kExtFeatureFlagBank, 0x4, false), {}},
        {"byte 434 is 1", [](ExtRec r) { r.SetU8(extrec::kNotCopyMark, 1); }, {}},
        {"forward target 8", [](ExtRec r) { r.SetForwardTarget(8); }, {}},
        {"dial string of another route", [](ExtRec r) { r.SetFwdDialString("9100"); }, {}},
        {"feature bit 0x10000 clear", Bits(extrec::kExtFeatureFlagBank, 0x10000, false), {}},
        {"feature bit 0x40000 clear", Bits(extrec::kExtFeatureFlagBank, 0x40000, false), {}},
        {"mail to another site", [](ExtRec r) { r.SetFwdEmailAddr("ext100@south.example"); }, {}},
        {"bit 0x200000 on the copy only", Bits(extrec::kExtStatusFlagBank, 0x200000, true), {}},
        {"bit 0x200000 on the home only", {}, Bits(extrec::kExtStatusFlagBank, 0x200000, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(CopyMatches(c.copy, c.home));
    }
}

TEST_F(ForwardedCopy, AHomeWithBit200000NeedsNoMailForwarding) {
    // With the bit on both records, the mail bits and the address are not asked for.
    const RecordEdit copy = [](ExtRec r) {
        r.SetBits(extrec::kExtStatusFlagBank, 0x200000, true);
        r.SetBits(extrec::kExtFeatureFlagBank, 0x10000 | 0x40000, false);
        r.SetFwdEmailAddr("");
    };
    EXPECT_TRUE(CopyMatches(copy, Bits(extrec::kExtStatusFlagBank, 0x200000, true)));
}

TEST_F(ForwardedCopy, MissingPartsFailAndASiteIsItsOwnCopy) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("100"));
    Add(south, Ext("200"));
    // North also lists a record without a number, as a server may.
    std::string error;
    ASSERT_TRUE(north.site->Modify(
        [](sim::SiteState& s, std::string&) {
            sim::Bytes blank = s.FindRecord("100")->bytes;
            ExtRec(blank.data(), blank.size()).SetExtensionNumber("");
            return s.LoadRecord(std::move(blank));
        },
        error));
    server::CZentServ& n = Load(north);
    ASSERT_NE(n.FindExt(""), nullptr);
    server::CZentServ& s = Load(south);
    EXPECT_TRUE(n.MatchForwardedExt("100", &n, "", ""));
    EXPECT_FALSE(s.MatchForwardedExt("100", &n, "8N", "north.example"));  // South holds no 100
    EXPECT_FALSE(s.MatchForwardedExt("200", &n, "8N", "north.example"));  // North holds no 200
    EXPECT_FALSE(n.MatchForwardedExt("100", nullptr, "8N", "north.example"));
    EXPECT_FALSE(n.MatchForwardedExt("", &n, "", ""));  // not even of its own site
}

}  // namespace
