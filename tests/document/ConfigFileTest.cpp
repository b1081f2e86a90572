// The configuration file: exact bytes written, and the reader's rules on hand-edited files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "document/Encrypt.h"
#include "document/QOBDoc.h"
#include "platform/CodePage.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"

namespace {

const std::string kHead = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Plexar>\r\n<Sites>\r\n";

std::string Options(const char* reload, const char* remember, const char* relocation, const char* relocateVM,
                    const std::string& user, const std::string& password) {
    return std::string("</Sites>\r\n<Options>\r\n") + "<Option><Name>Reload</Name><Value>" + reload +
           "</Value></Option>\r\n" + "<Option><Name>Remember</Name><Value>" + remember + "</Value></Option>\r\n" +
           "<Option><Name>Relocation</Name><Value>" + relocation + "</Value></Option>\r\n" +
           "<Option><Name>RelocateVM</Name><Value>" + relocateVM + "</Value></Option>\r\n" +
           "<Option><Name>DefaultMBUser</Name><Value>" + user + "</Value></Option>\r\n" +
           "<Option><Name>DefaultMBPassword</Name><Value>" + password + "</Value></Option>\r\n" +
           "</Options>\r\n</Plexar>\r\n";
}

uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    uint32_t ip;
    unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                              static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    std::memcpy(&ip, bytes, 4);
    return ip;
}

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCodePage("WINDOWS-1252");
        doc.SetWorkDir(dir.path());
        doc.SetFrame(&frame);
    }
    TempDir dir;
    RecordingFrame frame;
    CQOBDoc doc;
};

TEST_F(ConfigFile, EmptyConfigurationIsWrittenExactly) {
    ASSERT_TRUE(doc.SaveConfig()) << doc.GetConfigError();
    EXPECT_EQ(dir.Read("Plexar.xml"), kHead + Options("1", "0", "1", "0", "", ""));

    CQOBDoc again;
    again.SetWorkDir(dir.path());
    again.m_bReload = false;
    again.m_bRelocation = false;
    again.m_bRemember = true;
    ASSERT_TRUE(again.LoadConfig());
    EXPECT_TRUE(again.m_sites.empty());
    EXPECT_TRUE(again.m_bReload);
    EXPECT_FALSE(again.m_bRemember);
    EXPECT_TRUE(again.m_bRelocation);
}

TEST_F(ConfigFile, SitesRoutesEscapesCodePageAndSecretsAreWrittenExactly) {
    SiteRec a;
    a.Name = "A&B";
    a.IP = Ip(10, 0, 0, 1);
    a.MBAccount = "adm<in>";
    a.MBPassword = "abc";  // length 3: "def"
    a.VMATempl = "a.example";
    a.FWDTempl = "8N";
    a.DayWhite = "pw";  // length 2: "ry"
    a.Routes = {{"Z\xFCrich", "z.example", "7N*"}, {"Gone", "g.example", "5N"}, {"a&b", "self", "'\""}};
    SiteRec z;
    z.Name = "Z\xFCrich";  // u with diaeresis in the code page: U+00FC, two bytes in UTF-8
    z.IP = Ip(192, 168, 1, 20);
    z.Routes = {{"A&B", "@a.example", "9N"}};
    doc.m_sites = {a, z};
    doc.m_bReload = false;
    doc.m_bRemember = true;
    doc.m_bRelocateVM = true;
    doc.m_strDefaultMBUser = "dom\\user";
    doc.m_strDefaultMBPassword = "x";  // length 1: "y"

    ASSERT_TRUE(doc.SaveConfig()) << doc.GetConfigError();
    const std::string expected =
        kHead +
        "<Site>\r\n<Name>A&amp;B</Name><IP>10.0.0.1</IP>\r\n"
        "<MBAccount>adm&lt;in&gt;</MBAccount><MBPassword>def</MBPassword>\r\n"
        "<VMATempl>a.example</VMATempl><FWDTempl>8N</FWDTempl>\r\n"
        "<DayWhite>ry</DayWhite>\r\n"
        "<To><Name>Z\xC3\xBCrich</Name><IP>192.168.1.20</IP>\r\n"
        "<VMAPostfix>z.example</VMAPostfix><FwdPattern>7N*</FwdPattern></To>\r\n"
        // "Gone" names no site: not written, the route after it is.
        "<To><Name>a&amp;b</Name><IP>10.0.0.1</IP>\r\n"
        "<VMAPostfix>self</VMAPostfix><FwdPattern>&apos;&quot;</FwdPattern></To>\r\n"
        "</Site>\r\n"
        "<Site>\r\n<Name>Z\xC3\xBCrich</Name><IP>192.168.1.20</IP>\r\n"
        "<MBAccount></MBAccount><MBPassword></MBPassword>\r\n"
        "<VMATempl></VMATempl><FWDTempl></FWDTempl>\r\n"
        "<DayWhite></DayWhite>\r\n"
        "<To><Name>A&amp;B</Name><IP>10.0.0.1</IP>\r\n"
        "<VMAPostfix>@a.example</VMAPostfix><FwdPattern>9N</FwdPattern></To>\r\n"
        "</Site>\r\n" +
        Options("0", "1", "1", "1", "dom\\user", "y");
    EXPECT_EQ(dir.Read("Plexar.xml"), expected);

    // Read back: the same model (less the route to nowhere), and the same bytes written again.
    CQOBDoc again;
    again.SetWorkDir(dir.path());
    ASSERT_TRUE(again.LoadConfig());
    ASSERT_EQ(again.m_sites.size(), 2u);
    EXPECT_EQ(again.m_sites[0].Name, "A&B");
    EXPECT_EQ(again.m_sites[0].MBAccount, "adm<in>");
    EXPECT_EQ(again.m_sites[0].MBPassword, "abc");
    EXPECT_EQ(again.m_sites[0].DayWhite, "pw");
    ASSERT_EQ(again.m_sites[0].Routes.size(), 2u);
    EXPECT_EQ(again.m_sites[0].Routes[0].Name, "Z\xFCrich");
    EXPECT_EQ(again.m_sites[0].Routes[1].FwdPattern, "'\"");
    EXPECT_EQ(again.m_sites[1].Name, "Z\xFCrich");
    EXPECT_EQ(again.m_sites[1].IP, Ip(192, 168, 1, 20));
    EXPECT_EQ(again.m_strDefaultMBUser, "dom\\user");
    EXPECT_EQ(again.m_strDefaultMBPassword, "x");
    EXPECT_FALSE(again.m_bReload);
    EXPECT_TRUE(again.m_bRelocateVM);
    std::string first = dir.Read("Plexar.xml");
    ASSERT_TRUE(again.SaveConfig());
    EXPECT_EQ(dir.Read("Plexar.xml"), first);
}

TEST_F(ConfigFile, FileIsOwnerOnlyAndReplacedWhole) {
    dir.Write("Plexar.xml", "old");
    ::chmod(dir.file("Plexar.xml").c_str(), 0644);
    ASSERT_TRUE(doc.SaveConfig());
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Plexar.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left beside it.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(ConfigFile, WriteFailureKeepsTheOldFile) {
    ASSERT_TRUE(doc.SaveConfig());
    const std::string before = dir.Read("Plexar.xml");
    doc.m_sites.push_back(SiteRec{"New", Ip(1, 2, 3, 4)});
    doc.SetWorkDir(dir.path() + "/missing-folder");
    EXPECT_FALSE(doc.SaveConfig());
    EXPECT_FALSE(doc.GetConfigError().empty());
    EXPECT_EQ(dir.Read("Plexar.xml"), before);
}

TEST_F(ConfigFile, SecretThatCannotSurviveTheFileIsRefusedAndNothingIsWritten) {
    ASSERT_TRUE(doc.SaveConfig());
    const std::string before = dir.Read("Plexar.xml");
    // 200 characters: "E" (69) + 200 wraps to 13, a carriage return the parser would turn
    // into a line feed.
    doc.m_strDefaultMBPassword = std::string(199, 'a') + "E";
    EXPECT_FALSE(IsStorableSecret(doc.m_strDefaultMBPassword));
    EXPECT_FALSE(doc.SaveConfig());
    EXPECT_NE(doc.GetConfigError().find("default mailbox password"), std::string::npos);
    EXPECT_EQ(dir.Read("Plexar.xml"), before);

    // A secret that scrambles into a control character is refused too.
    doc.m_strDefaultMBPassword.clear();
    doc.m_sites.push_back(SiteRec{"S", Ip(1, 1, 1, 1)});
    doc.m_sites[0].MBPassword = std::string("\x01", 1);  // +1 gives 0x02
    EXPECT_FALSE(doc.SaveConfig());
    EXPECT_EQ(dir.Read("Plexar.xml"), before);
}

TEST_F(ConfigFile, EveryStorableByteOfASecretComesBackUnchanged) {
    // Each byte value, as a three-character secret: whatever IsStorableSecret accepts must be
    // read back exactly; bytes that scramble to the code page's undefined values included.
    int accepted = 0;
    for (int c = 0; c < 256; ++c) {
        std::string secret = std::string("ab") + static_cast<char>(c);
        if (!IsStorableSecret(secret)) continue;
        ++accepted;
        doc.m_sites = {SiteRec{"S", Ip(1, 1, 1, 1)}};
        doc.m_sites[0].MBPassword = secret;
        doc.m_sites[0].DayWhite = secret;
        doc.m_strDefaultMBPassword = secret;
        ASSERT_TRUE(doc.SaveConfig()) << c;
        CQOBDoc again;
        again.SetWorkDir(dir.path());
        ASSERT_TRUE(again.LoadConfig()) << c;
        ASSERT_EQ(again.m_sites.size(), 1u);
        EXPECT_EQ(again.m_sites[0].MBPassword, secret) << c;
        EXPECT_EQ(again.m_sites[0].DayWhite, secret) << c;
        EXPECT_EQ(again.m_strDefaultMBPassword, secret) << c;
    }
    // Everything but the bytes that scramble into forbidden control characters.
    EXPECT_GE(accepted, 256 - 32);
    EXPECT_TRUE(IsStorableSecret("ab~"));  // "~" + 3 is 0x81, undefined in the code page
}

TEST_F(ConfigFile, ReaderFollowsElementParentsAndTheSiteLevelFlag) {
    dir.Write("Plexar.xml",
              kHead +
                  "<Site>\r\n<Name>A</Name><IP>10.0.0.1</IP>\r\n"
                  "<VMAPostfix>ignored at site level</VMAPostfix>\r\n"
                  "<MBAccount>acct</MBAccount>\r\n"
                  "<To><Name>B</Name><IP>9.9.9.9</IP><MBAccount>ignored in a route</MBAccount>\r\n"
                  "<VMAPostfix>b.example</VMAPostfix><FwdPattern>8N</FwdPattern></To>\r\n"
                  "<FWDTempl>ignored after a route</FWDTempl>\r\n"
                  "</Site>\r\n"
                  "<Site><Name>B</Name><IP>not an address</IP></Site>\r\n"
                  "<Name>no parent of ours</Name>\r\n" +
                  Options("1", "0", "1", "0", "", ""));
    ASSERT_TRUE(doc.LoadConfig());
    ASSERT_EQ(doc.m_sites.size(), 2u);
    const SiteRec& a = doc.m_sites[0];
    EXPECT_EQ(a.IP, Ip(10, 0, 0, 1));  // the route's IP changes nothing
    EXPECT_EQ(a.MBAccount, "acct");
    EXPECT_EQ(a.FWDTempl, "");
    ASSERT_EQ(a.Routes.size(), 1u);
    EXPECT_EQ(a.Routes[0].Name, "B");
    EXPECT_EQ(a.Routes[0].VMAPostfix, "b.example");
    EXPECT_EQ(a.Routes[0].FwdPattern, "8N");
    EXPECT_EQ(doc.m_sites[1].IP, 0xFFFFFFFFu);  // unparsable: all ones

    // After a write, the route shows the current address of the site it names.
    ASSERT_TRUE(doc.SaveConfig());
    EXPECT_NE(dir.Read("Plexar.xml").find("<To><Name>B</Name><IP>255.255.255.255</IP>"), std::string::npos);
}

TEST_F(ConfigFile, OptionNamesCompareWithCaseAndValuesByTheirFirstCharacter) {
    doc.m_bReload = true;
    doc.m_bRemember = false;
    doc.m_bRelocation = true;
    doc.m_bRelocateVM = true;
    dir.Write("Plexar.xml", kHead +
                                "</Sites><Options>"
                                "<Option><Name>reload</Name><Value>0</Value></Option>"
                                "<Option><Name>Remember</Name><Value>1x</Value></Option>"
                                "<Option><Name>Relocation</Name><Value>yes</Value></Option>"
                                "<Option><Name>Unknown</Name><Value>1</Value></Option>"
                                "</Options></Plexar>");
    ASSERT_TRUE(doc.LoadConfig());
    EXPECT_TRUE(doc.m_bReload);       // "reload" is not an option name
    EXPECT_TRUE(doc.m_bRemember);     // "1x"
    EXPECT_FALSE(doc.m_bRelocation);  // "yes"
    EXPECT_TRUE(doc.m_bRelocateVM);   // not named: kept
}

TEST_F(ConfigFile, ReadReplacesSitesAndMailboxDefaults) {
    doc.m_sites.push_back(SiteRec{"Old", Ip(1, 1, 1, 1)});
    doc.m_strDefaultMBUser = "old user";
    doc.m_strDefaultMBPassword = "old";
    dir.Write("Plexar.xml", kHead + "</Sites></Plexar>");
    ASSERT_TRUE(doc.LoadConfig());
    EXPECT_TRUE(doc.m_sites.empty());
    EXPECT_EQ(doc.m_strDefaultMBUser, "");
    EXPECT_EQ(doc.m_strDefaultMBPassword, "");
}

TEST_F(ConfigFile, FileCutInsideASiteKeepsTheSitesBeforeItAndShowsTheParserError) {
    dir.Write("Plexar.xml", kHead +
                                "<Site>\r\n<Name>First</Name><IP>10.0.0.1</IP>\r\n</Site>\r\n"
                                "<Site>\r\n<Name>Second</Name><IP>10.0.0.2</IP>\r\n");
    EXPECT_FALSE(doc.LoadConfig());
    ASSERT_EQ(doc.m_sites.size(), 1u);
    EXPECT_EQ(doc.m_sites[0].Name, "First");
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].rfind("Failed to read the configration file : ", 0), 0u) << frame.messages[0];
    EXPECT_NE(frame.messages[0].find("no element found"), std::string::npos) << frame.messages[0];
}

TEST_F(ConfigFile, LongTextIsCutToTheFieldAndSecretsAreUnscrambledAfterwards) {
    std::string name(40, 'n');
    dir.Write("Plexar.xml", kHead + "<Site><Name>" + name + "</Name><DayWhite>" + ScrambleText("secret") +
                                "</DayWhite></Site></Sites></Plexar>");
    ASSERT_TRUE(doc.LoadConfig());
    ASSERT_EQ(doc.m_sites.size(), 1u);
    EXPECT_EQ(doc.m_sites[0].Name, std::string(31, 'n'));
    EXPECT_EQ(doc.m_sites[0].DayWhite, "secret");
}

TEST_F(ConfigFile, NewDocumentAsksForTheEditorWhenTheFileIsMissingOrHasADuplicateAddress) {
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(frame.mapEditRequests, 1);
    EXPECT_TRUE(frame.messages.empty());

    doc.m_sites = {SiteRec{"A", Ip(1, 1, 1, 1)}, SiteRec{"B", Ip(1, 1, 1, 1)}};
    ASSERT_TRUE(doc.SaveConfig());
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(frame.mapEditRequests, 2);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0],
              "There is duplicate IP address in all servers. Re-enter the IP address of the server.");
}

TEST(Scramble, ShiftsByTheLength) {
    EXPECT_EQ(ScrambleText("abc"), "def");
    EXPECT_EQ(UnscrambleText("def"), "abc");
    EXPECT_EQ(ScrambleText(""), "");
    std::string longText(200, 'z');
    EXPECT_EQ(ScrambleText(longText), std::string(200, 'B'));
    EXPECT_EQ(UnscrambleText(ScrambleText(longText)), longText);
}

}  // namespace
