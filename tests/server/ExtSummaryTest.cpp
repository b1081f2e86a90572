#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/ExtSummary.h"

using namespace server;

namespace {

struct Fixture : testing::Test {
    std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(2400, 0);
    ExtRec rec{buf.data(), buf.size()};
};

// Bytes of the summary outside its text fields' contents.
bool OnlyTextAndTypeSet(const ExtSummary& s) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&s);
    for (std::size_t i = 1; i < summary::kExtensionNumber.offset; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

using BuildExtSummaryTest = Fixture;

TEST_F(BuildExtSummaryTest, CopiesTextsAndSiteName) {
    rec.SetExtensionType(exttype::kWorkgroup);
    rec.SetExtensionNumber("500");
    rec.SetExtFirstName("Sales");
    rec.SetExtName("Team");
    rec.SetEMailName("ext500");
    rec.SetExtPassword("ABcdefghijkl");
    rec.SetFwdEmailAddr("ext500@north");
    rec.SetFwdDialString("8500");
    rec.SetU32(extrec::kHomeWord412, 0xFFFFFFFF);  // nothing but named fields is copied

    const ExtSummary s = BuildExtSummary(rec, "North");
    EXPECT_EQ(s.ExtensionType, exttype::kWorkgroup);
    EXPECT_EQ(FieldText(s.ExtensionNumber), "500");
    EXPECT_EQ(FieldText(s.ExtFirstName), "Sales");
    EXPECT_EQ(FieldText(s.ExtName), "Team");
    EXPECT_EQ(FieldText(s.EMailName), "ext500");
    EXPECT_EQ(FieldText(s.ExtPassword), "ABcdefghijkl");
    EXPECT_EQ(FieldText(s.HomeServer), "North");
    EXPECT_EQ(FieldText(s.FwdEmailAddr), "ext500@north");
    EXPECT_EQ(FieldText(s.FwdDialString), "8500");
    EXPECT_TRUE(OnlyTextAndTypeSet(s));
    EXPECT_EQ(s.FwdDialString[4], 0);
    EXPECT_EQ(s.FwdDialString[20], 0);
}

TEST_F(BuildExtSummaryTest, UnterminatedFieldsAndLongSiteNameAreCut) {
    std::memset(buf.data(), 'z', buf.size());
    const ExtSummary s = BuildExtSummary(rec, std::string(50, 'S'));
    EXPECT_EQ(std::string(s.ExtensionNumber), std::string(16, 'z'));
    EXPECT_EQ(std::string(s.ExtFirstName), std::string(32, 'z'));
    EXPECT_EQ(std::string(s.ExtPassword), std::string(12, 'z'));
    EXPECT_EQ(std::string(s.FwdEmailAddr), std::string(64, 'z'));
    EXPECT_EQ(std::string(s.FwdDialString), std::string(20, 'z'));
    EXPECT_EQ(std::string(s.HomeServer), std::string(32, 'S'));
}

TEST_F(BuildExtSummaryTest, IpTypeNeedsBothFlagsAndALogonAddress) {
    rec.SetExtensionType(exttype::kPhysical);
    rec.SetExtFeatureFlagBank(extrec::kFeatureIpEndpoint);
    rec.SetExtStatusFlagBank(extrec::kStatusIpEndpoint);
    EXPECT_EQ(BuildExtSummary(rec, "A").ExtensionType, exttype::kPhysical);
    rec.SetLogonIP(0x0100007F);
    EXPECT_EQ(BuildExtSummary(rec, "A").ExtensionType, exttype::kIp);
    rec.SetExtStatusFlagBank(0);
    EXPECT_EQ(BuildExtSummary(rec, "A").ExtensionType, exttype::kPhysical);
}
