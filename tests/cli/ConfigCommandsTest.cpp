// qob-cli's configuration commands, run as the real program on real files.
#include "ProgramFixture.h"

namespace {

using QobCli = QobCliProgram;

TEST_F(QobCli, EditingCommandsBuildAConsistentMapTable) {
    ASSERT_EQ(Run({"site", "add", "A", "10.0.0.1", "--mb-account", "adm", "--mb-password", "pw"}).exitCode, 0);
    ASSERT_EQ(Run({"site", "add", "B", "10.0.0.2"}).exitCode, 0);
    ASSERT_EQ(Run({"site", "add", "C", "10.0.0.3"}).exitCode, 0);
    ASSERT_EQ(Run({"route", "set", "A", "C", "--fwd", "8N", "--suffix", "c.example"}).exitCode, 0);
    ASSERT_EQ(Run({"site", "edit", "B", "--name", "B2", "--ip", "10.0.0.22"}).exitCode, 0);
    ASSERT_EQ(Run({"site", "remove", "C"}).exitCode, 0);
    ASSERT_EQ(Run({"options", "set", "--reload", "0", "--relocate-vm", "1", "--mb-user", "u"}).exitCode, 0);

    const std::string file = dir.Read("Plexar.xml");
    EXPECT_NE(file.find("<To><Name>B2</Name><IP>10.0.0.22</IP>"), std::string::npos);
    EXPECT_NE(file.find("<To><Name>A</Name><IP>10.0.0.1</IP>"), std::string::npos);
    EXPECT_EQ(file.find("<Name>C</Name>"), std::string::npos);
    EXPECT_EQ(file.find("<Name>B</Name>"), std::string::npos);
    EXPECT_NE(file.find("<Option><Name>Reload</Name><Value>0</Value></Option>"), std::string::npos);
    EXPECT_NE(file.find("<MBPassword>ry</MBPassword>"), std::string::npos);

    ProgramResult sites = Run({"sites"});
    ASSERT_EQ(sites.exitCode, 0) << sites.err;
    EXPECT_NE(sites.out.find("Sites (2)"), std::string::npos);
    EXPECT_NE(sites.out.find("10.0.0.22"), std::string::npos);
    EXPECT_EQ(sites.out.find("pw"), std::string::npos);  // passwords are never printed
    EXPECT_NE(sites.out.find("RelocateVM"), std::string::npos);
}

TEST_F(QobCli, SaveWritesBackByteForByte) {
    ASSERT_EQ(Run({"site", "add", "A", "10.0.0.1"}).exitCode, 0);
    ASSERT_EQ(Run({"site", "add", "B", "10.0.0.2"}).exitCode, 0);
    const std::string before = dir.Read("Plexar.xml");
    ASSERT_EQ(Run({"save"}).exitCode, 0);
    EXPECT_EQ(dir.Read("Plexar.xml"), before);
}

TEST_F(QobCli, RefusalsGiveTheProgramsMessageAndExitOne) {
    ASSERT_EQ(Run({"site", "add", "A", "10.0.0.1"}).exitCode, 0);
    ProgramResult dup = Run({"site", "add", "B", "10.0.0.1"});
    EXPECT_EQ(dup.exitCode, 1);
    EXPECT_NE(dup.err.find("There is duplicate IP address in all servers."), std::string::npos);
    ProgramResult missing = Run({"site", "remove", "Nowhere"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("The selected server is invalid."), std::string::npos);
    EXPECT_EQ(Run({"route", "set", "A", "Nowhere", "--fwd", "8N"}).exitCode, 1);
    EXPECT_EQ(Run({"options", "set", "--mb-password", "\u00FF"}).exitCode, 1);  // scrambled, a NUL
}

TEST_F(QobCli, BadUsageExitsTwo) {
    EXPECT_EQ(Run({}).exitCode, 2);
    EXPECT_EQ(Run({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(Run({"site", "add", "A", "300.0.0.1"}).exitCode, 2);
    EXPECT_EQ(Run({"site", "add", "A"}).exitCode, 2);
    EXPECT_EQ(Run({"options", "set", "--reload", "yes"}).exitCode, 2);
    EXPECT_EQ(Run({"options", "set", "--colour", "1"}).exitCode, 2);
    EXPECT_FALSE(std::ifstream(dir.file("Plexar.xml")).good());
}

TEST_F(QobCli, UnreadableFileIsReportedAndNeverOverwritten) {
    const std::string broken = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Plexar>\r\n<Sites>\r\n"
                               "<Site>\r\n<Name>A</Name><IP>10.0.0.1</IP>\r\n</Site>\r\n<Site><Name>B";
    dir.Write("Plexar.xml", broken);
    ProgramResult sites = Run({"sites"});
    EXPECT_EQ(sites.exitCode, 1);
    EXPECT_NE(sites.err.find("Failed to read the configration file : "), std::string::npos) << sites.err;
    EXPECT_EQ(Run({"site", "add", "C", "10.0.0.3"}).exitCode, 1);
    EXPECT_EQ(Run({"save"}).exitCode, 1);
    EXPECT_EQ(dir.Read("Plexar.xml"), broken);

    TempDir empty;
    ProgramResult none = RunProgram("qob-cli", {"--dir", empty.path(), "sites"}, scratch.path());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no configuration file"), std::string::npos);
}

TEST_F(QobCli, RegistersTheProxyLibraryAtStartUpWhenMissing) {
    ASSERT_EQ(Run({"options", "set", "--reload", "1"}).exitCode, 0);
    const std::string hive = registry.Read("HKCR.reg");
    EXPECT_NE(hive.find("{73E44C00-6474-11D2-A1ED-00104B88890E}\\InProcServer32"), std::string::npos) << hive;
    EXPECT_NE(hive.find("libzentproxy.so"), std::string::npos);
}

}  // namespace
