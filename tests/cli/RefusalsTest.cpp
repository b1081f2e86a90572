// What qob-cli refuses, run as the real program: each refusal exits with its status and a message
// that says why, and leaves Plexar.xml exactly as it was.
#include <stdlib.h>

#include "ProgramFixture.h"

namespace {

class QobCliRefusals : public QobCliProgram {
protected:
    void SetUp() override {
        QobCliProgram::SetUp();
        setenv("QOB_CODEPAGE", "WINDOWS-1252", 1);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"site", "add", "Alpha", "10.0.0.1", "--mb-account", "adm"},
              std::vector<std::string>{"site", "add", "Beta", "10.0.0.2"},
              std::vector<std::string>{"route", "set", "Alpha", "Beta", "--fwd", "8N", "--suffix", "beta.example"}})
            ASSERT_EQ(Run(args).exitCode, 0);
        before = dir.Read("Plexar.xml");
    }
    void TearDown() override { unsetenv("QOB_CODEPAGE"); }

    struct Refusal {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    void ExpectRefused(const Refusal& r) {
        ProgramResult result = Run(r.args);
        EXPECT_EQ(result.exitCode, r.exitCode) << r.message << "\n" << result.err;
        EXPECT_NE(result.err.find(r.message), std::string::npos) << "expected: " << r.message << "\ngot: " << result.err;
        EXPECT_EQ(dir.Read("Plexar.xml"), before) << r.message;
    }

    std::string before;
};

// Lookups by name ignore case and take the first site; the lists show names between tabs.
TEST_F(QobCliRefusals, SitesStayAddressable) {
    const Refusal refused[] = {
        {{"site", "add", "ALPHA", "10.0.0.3"}, 1, "There is another server with this name (letter case does not count)."},
        {{"site", "edit", "Beta", "--name", "alpha"}, 1, "There is another server with this name"},
        {{"site", "add", "   ", "10.0.0.3"}, 1, "Server Name is blank!"},
        {{"site", "add", "Tab\tName", "10.0.0.3"}, 1, "a tab, a line end or another control character"},
        {{"site", "edit", "Beta", "--name", "Two\nLines"}, 1, "a tab, a line end or another control character"},
        {{"route", "set", "Alpha", "Beta", "--suffix", "beta\t.example"}, 1, "a tab, a line end"},
        {{"site", "add", "Gamma", "0.0.0.0"}, 1, "IP address is blank."},
        {{"site", "add", "Gamma", "255.255.255.255"}, 1, "255.255.255.255 is not the address of a server."},
        {{"site", "edit", "Beta", "--ip", "10.0.0.1"}, 1, "There is duplicate IP address in all servers."},
        {{"site", "edit", "Beta", "--ip", "0.0.0.0"}, 1, "IP address is blank."},
        {{"site", "add", "Gamma", "10.0.0.256"}, 2, "\"10.0.0.256\" is not an IP address (four numbers 0 to 255)"},
        {{"site", "add", "Gamma", "10.0.0"}, 2, "is not an IP address"},
        {{"site", "add", "Gamma", "0x0A.0.0.1"}, 2, "is not an IP address"},
    };
    for (const Refusal& r : refused) ExpectRefused(r);
    // A site may still change the case of its own name, and keep its own address.
    EXPECT_EQ(Run({"site", "edit", "Beta", "--name", "BETA", "--ip", "10.0.0.2"}).exitCode, 0);
}

// Text is never cut to its field or changed on the way to the code page: it is refused.
TEST_F(QobCliRefusals, ValuesAreRefusedRatherThanCutOrChanged) {
    const std::string name32(32, 'n'), code16(16, '8'), suffix64(64, 's');
    const Refusal refused[] = {
        {{"site", "add", name32, "10.0.0.3"}, 2,
         "qob-cli: NAME: the site name is 32 characters long, more than the 31 it may have; nothing was changed"},
        {{"site", "edit", "Beta", "--name", name32}, 2, "--name: the site name is 32 characters long, more than the 31"},
        {{"site", "add", "Gamma", "10.0.0.3", "--mb-account", std::string(50, 'a')}, 2,
         "--mb-account: the mailbox account is 50 characters long, more than the 49 it may have"},
        {{"site", "edit", "Beta", "--mb-password", std::string(16, 'p')}, 2,
         "--mb-password: the mailbox password is 16 characters long, more than the 15 it may have"},
        {{"route", "set", "Alpha", "Beta", "--fwd", code16}, 2,
         "--fwd: the forward access code is 16 characters long, more than the 15 it may have"},
        {{"route", "set", "Alpha", "Beta", "--suffix", suffix64}, 2,
         "--suffix: the mail forwarding suffix is 64 characters long, more than the 63 it may have"},
        {{"route", "set", name32, "Beta", "--fwd", "8N"}, 2, "FROM: the site name is 32 characters long"},
        {{"options", "set", "--mb-user", std::string(51, 'u')}, 2,
         "--mb-user: the default mailbox account is 51 characters long, more than the 50 it may have"},
        {{"options", "set", "--mb-password", std::string(17, 'p')}, 2,
         "--mb-password: the default mailbox password is 17 characters long, more than the 16 it may have"},
        {{"download", "Alpha", "Beta", "--password", "Alpha=" + std::string(16, 'p')}, 2,
         "--password: the password for site Alpha is 16 characters long, more than the 15 it may have"},
        // Not UTF-8: the byte used to be dropped.
        {{"site", "add", "Z\xE4rich", "10.0.0.3"}, 2, "NAME: the site name is not valid UTF-8 (at byte 1); nothing was changed"},
        {{"site", "edit", "Beta", "--mb-account", "adm\xFF"}, 2, "--mb-account: the mailbox account is not valid UTF-8"},
        {{"download", "Alpha", "Be\xC3", "--yes"}, 2, "SITE: the site name is not valid UTF-8 (at byte 2)"},
        // Not in the code page: it used to become "?".
        {{"site", "add", "Z\u00FCrich\u4E2D", "10.0.0.3"}, 2,
         "NAME: the site name has a character (U+4E2D) that the code page WINDOWS-1252 cannot hold"},
        {{"route", "set", "Alpha", "Beta", "--suffix", "b\u0103.example"}, 2,
         "--suffix: the mail forwarding suffix has a character (U+0103)"},
        {{"options", "set", "--mb-user", "\u0416"}, 2, "--mb-user: the default mailbox account has a character (U+0416)"},
    };
    for (const Refusal& r : refused) ExpectRefused(r);

    // At the limits, and in the code page, everything is taken as it is.
    ASSERT_EQ(Run({"site", "add", "Z\u00FCrich" + std::string(25, 'x'), "10.0.0.3", "--mb-password", std::string(15, 'p')})
                  .exitCode,
              0);
    ProgramResult sites = Run({"sites"});
    EXPECT_NE(sites.out.find("Z\u00FCrich" + std::string(25, 'x') + " "), std::string::npos) << sites.out;
}

}  // namespace
