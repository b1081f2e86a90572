// Lookups and the forwarding templates.
#include <gtest/gtest.h>

#include "server/ForwardTemplates.h"
#include "document/QOBDoc.h"

namespace {

TEST(SiteLookups, NamesIgnoreCaseExceptInRouteLookups) {
    CQOBDoc doc;
    doc.m_sites = {SiteRec{"Alpha", 1}, SiteRec{"Beta", 2}};
    doc.m_sites[0].Routes = {{"beta", "b.example", "8N"}, {"Beta", "second", "9N"}};
    EXPECT_EQ(doc.GetSiteIndex("ALPHA"), 0);
    EXPECT_EQ(doc.GetSiteIndex("beta"), 1);
    EXPECT_EQ(doc.GetSiteIndex(" Beta"), -1);
    ASSERT_NE(doc.GetFwdPattern("alpha", "Beta"), nullptr);
    EXPECT_EQ(*doc.GetFwdPattern("alpha", "Beta"), "9N");  // exact case: the second entry
    EXPECT_EQ(*doc.GetVMAPostfix("ALPHA", "beta"), "b.example");
    EXPECT_EQ(doc.GetFwdPattern("Alpha", "BETA"), nullptr);
    EXPECT_EQ(doc.GetFwdPattern("Gamma", "Beta"), nullptr);
}

TEST(SiteLookups, DuplicateAddresses) {
    CQOBDoc doc;
    doc.m_sites = {SiteRec{"A", 1}, SiteRec{"B", 2}};
    EXPECT_FALSE(doc.HasDuplicateIP());
    EXPECT_TRUE(doc.IsIPUsed(2));
    EXPECT_FALSE(doc.IsIPUsed(3));
    doc.m_sites.push_back(SiteRec{"C", 1});
    EXPECT_TRUE(doc.HasDuplicateIP());
    doc.m_sites = {SiteRec{"A"}, SiteRec{"B"}};  // two addresses never set
    EXPECT_TRUE(doc.HasDuplicateIP());
}

TEST(ForwardNumber, Build) {
    EXPECT_EQ(BuildForwardNumber("9N", "1234"), "91234");
    EXPECT_EQ(BuildForwardNumber("8", "1234"), "81234");
    EXPECT_EQ(BuildForwardNumber("#n*", "1234"), "#1234*");
    EXPECT_EQ(BuildForwardNumber("N", "1234"), "1234");
    EXPECT_EQ(BuildForwardNumber("NN", "1234"), "1234N");
    EXPECT_EQ(BuildForwardNumber(" \t\r\n", "1234"), "");
    EXPECT_EQ(BuildForwardNumber("9N", "  "), "");
    EXPECT_EQ(BuildForwardNumber(" 9N ", " 12 "), "912");
}

TEST(ForwardNumber, Match) {
    EXPECT_TRUE(MatchForwardNumber("91234", "9N", "1234"));
    EXPECT_TRUE(MatchForwardNumber(" 91234\n", "9N", " 1234 "));
    EXPECT_FALSE(MatchForwardNumber("9123", "9N", "1234"));
    EXPECT_FALSE(MatchForwardNumber("912345", "9N", "1234"));
    EXPECT_TRUE(MatchForwardNumber("81234", "8", "1234"));
    EXPECT_TRUE(MatchForwardNumber("#1234*", "#n*", "1234"));
    EXPECT_FALSE(MatchForwardNumber("#1234", "#n*", "1234"));
    EXPECT_FALSE(MatchForwardNumber("91234", "9n", ""));
    EXPECT_FALSE(MatchForwardNumber("", "9N", "1234"));
}

TEST(MailForward, BuildAndMatch) {
    EXPECT_EQ(BuildMailForward("@b.example", "ext100"), "ext100@b.example");
    EXPECT_EQ(BuildMailForward("b.example", "ext100"), "ext100@b.example");
    EXPECT_EQ(BuildMailForward("b.example", " "), "");
    EXPECT_EQ(BuildMailForward("", "ext100"), "");

    EXPECT_TRUE(MatchMailForward("EXT100@B.Example", "b.example", "ext100"));
    EXPECT_TRUE(MatchMailForward("ext100@b.example", "@b.example", "ext100"));
    EXPECT_FALSE(MatchMailForward("ext100", "b.example", "ext100"));
    EXPECT_FALSE(MatchMailForward("ext101@b.example", "b.example", "ext100"));
    EXPECT_FALSE(MatchMailForward("ext100@c.example", "b.example", "ext100"));
    EXPECT_FALSE(MatchMailForward("ext100@b.example", "", "ext100"));
}

TEST(Addresses, DottedTextBothWays) {
    uint32_t ip = 0;
    ASSERT_TRUE(ParseDottedIP("192.168.1.20", ip));
    EXPECT_EQ(IPToText(ip), "192.168.1.20");
    EXPECT_EQ(IPToText(0), "0.0.0.0");
    EXPECT_FALSE(ParseDottedIP("256.1.1.1", ip));
    EXPECT_FALSE(ParseDottedIP("1.2.3", ip));
    EXPECT_FALSE(ParseDottedIP("1.2.3.4x", ip));
    EXPECT_FALSE(ParseDottedIP("-1.2.3.4", ip));
    EXPECT_EQ(IPFromText("garbage"), 0xFFFFFFFFu);
    EXPECT_EQ(IPToText(IPFromText("10.0.0.7")), "10.0.0.7");
}

}  // namespace
