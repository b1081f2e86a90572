// Mailboxes on real SMB shares: smbd serves North's share on 127.0.4.22 and South's on
// 127.0.4.23; the sites' servers are simulated in this process at those addresses.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "document/QOBDoc.h"
#include "support/HostedSites.h"
#include "support/RecordingFrame.h"
#include "support/SmbServer.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kNorth = "127.0.4.22";
constexpr const char* kSouth = "127.0.4.23";
constexpr const char* kBox = "ext000000000000205";

class Mailbox : public HostedSites {
protected:
    void SetUp() override {
        if (!SmbServer::Available()) GTEST_SKIP() << "smbd is not installed (scripts/bootstrap installs samba)";
        HostedSites::SetUp();
        options.relocateVM = true;
        options.workDir = work.path();
        work.Write("readme.txt", "probe");
    }
    void TearDown() override {
        HostedSites::TearDown();
        shares.clear();
    }

    SmbServer& Share(const char* address, SmbServer::Options o = {}) {
        o.address = address;
        if (o.accounts.empty()) o.accounts = {{"operator", "secret"}};
        shares.push_back(std::make_unique<SmbServer>(o));
        // A share that is not up ends the test with smbd's or smbpasswd's own words, before the
        // product's messages could blame the password.
        if (!shares.back()->Ready()) throw std::runtime_error(shares.back()->Log());
        return *shares.back();
    }
    Hosted& SiteAt(const std::string& name, const char* address) {
        Hosted& h = Site(name, 2400, 0x0480, address);
        Add(h, Ext("205", name == "North" ? "physical" : "virtual"));
        return h;
    }
    static void WriteFile(const fs::path& p, size_t size, char fill = 'x') {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, fill);
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A mailbox: two files, a file named .tmp, a directory named .tmp, and nested directories.
    static void FillMailbox(const fs::path& box) {
        WriteFile(box / "msg1.wav", 600, 'a');
        WriteFile(box / "msg2.wav", 700, 'b');
        WriteFile(box / ".tmp", 100, 'c');
        WriteFile(box / ".tmp.d" / "skip.wav", 5000, 'd');
        WriteFile(box / "old" / "msg3.wav", 1500, 'e');
        WriteFile(box / "old" / "deeper" / "msg4.wav", 10, 'f');
    }

    TempDir work;
    std::optional<TempDir> privateParent;  // outlives the shares made below it
    std::vector<std::unique_ptr<SmbServer>> shares;
};

// A checkout in a private home: the share's folders lie below one that only this user may enter.
TEST_F(Mailbox, AShareBelowAPrivateFolderServes) {
    privateParent.emplace();
    const std::string closed = privateParent->file("home");
    fs::create_directories(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    const char* tmp = std::getenv("TMPDIR");
    const std::string saved = tmp ? tmp : "";
    setenv("TMPDIR", closed.c_str(), 1);
    struct Restore {
        const std::string& saved;
        ~Restore() { saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1); }
    } restore{saved};

    SmbServer& share = Share(kNorth);
    ASSERT_EQ(share.ShareDir().rfind(closed, 0), 0u);
    FillMailbox(fs::path(share.ShareDir()) / kBox);
    Hosted& north = SiteAt("North", kNorth);
    Load(north, "operator", "secret");
    ASSERT_TRUE(north.conn->CheckMailboxAccess()) << north.conn->GetLastError();
    EXPECT_EQ(north.conn->GetMailboxSize("205"), 2);
}

TEST_F(Mailbox, AccountsInEveryFormReachTheShare) {
    SmbServer& share = Share(kNorth);
    Hosted& north = SiteAt("North", kNorth);
    // A bare account is one of the site's: it logs in with the site's name as its domain.
    auto logsInAsTheSites = [&](const std::string& account, const std::string& password) {
        const size_t before = share.Logins().size();
        Load(north, account, password);
        EXPECT_TRUE(north.conn->CheckMailboxAccess()) << north.conn->GetLastError();
        const std::vector<std::string> logins = share.Logins(before + 1);
        ASSERT_GT(logins.size(), before);
        EXPECT_EQ(logins[before], "NORTH\\operator");
    };
    for (const char* account : {"operator", "North\\operator", "operator@north"}) {
        SCOPED_TRACE(account);
        logsInAsTheSites(account, "secret");
    }
    // Without an account of its own the site uses the defaults, password and all.
    options.defaultUser = "operator";
    options.defaultPassword = "secret";
    logsInAsTheSites("", "wrong");

    Load(north, "operator", "wrong");
    EXPECT_FALSE(north.conn->CheckMailboxAccess());
    EXPECT_EQ(north.conn->GetLastError(), "The operator password is not right for site North.");
}

TEST_F(Mailbox, AMissingShareOrProbeFileIsSaidSo) {
    SmbServer::Options other;
    other.shareName = "Elsewhere";
    Share(kNorth, other);
    Hosted& north = SiteAt("North", kNorth);
    Load(north, "operator", "secret");
    EXPECT_FALSE(north.conn->CheckMailboxAccess());
    EXPECT_EQ(north.conn->GetLastError(), "The mailbox is not exist for site North.");

    Share(kSouth);
    Hosted& south = SiteAt("South", kSouth);
    fs::remove(work.file("readme.txt"));
    Load(south, "operator", "secret");
    EXPECT_FALSE(south.conn->CheckMailboxAccess());
    EXPECT_EQ(south.conn->GetLastError(),
              "Cannot access the mailbox in site South.\nPlease make sure that you have the read/write permission to it.");
}

TEST_F(Mailbox, TheProbeLeavesTheSharesOwnFilesAlone) {
    SmbServer& share = Share(kNorth);
    WriteFile(fs::path(share.ShareDir()) / "readme.txt", 3, 'z');
    Hosted& north = SiteAt("North", kNorth);
    Load(north, "operator", "secret");
    ASSERT_TRUE(north.conn->CheckMailboxAccess()) << north.conn->GetLastError();
    EXPECT_EQ(Read(fs::path(share.ShareDir()) / "readme.txt"), "zzz");
    EXPECT_EQ(std::distance(fs::directory_iterator(share.ShareDir()), fs::directory_iterator()), 1);
}

TEST_F(Mailbox, SizeCountsEachDirectorysWholeKilobytes) {
    SmbServer& share = Share(kNorth);
    FillMailbox(fs::path(share.ShareDir()) / kBox);
    Hosted& north = SiteAt("North", kNorth);
    Load(north, "operator", "secret");
    ASSERT_TRUE(north.conn->CheckMailboxAccess()) << north.conn->GetLastError();
    // 600 + 700 + 100 bytes: 1 KB; 1500 + 10 bytes below: 1 KB; the .tmp.d directory is not counted.
    EXPECT_EQ(north.conn->GetMailboxSize("205"), 2);
    EXPECT_EQ(north.conn->GetMailboxSize("206"), 0);
    EXPECT_EQ(north.conn->GetMailboxSize("..\\205"), 0);
    EXPECT_EQ(north.conn->GetLastError(), "Extension number ..\\205 cannot name a mailbox directory.");
}

TEST_F(Mailbox, ARelocationCarriesTheMailboxWhole) {
    SmbServer& from = Share(kNorth);
    SmbServer& to = Share(kSouth);
    FillMailbox(fs::path(from.ShareDir()) / kBox);
    Hosted& north = SiteAt("North", kNorth);
    Hosted& south = SiteAt("South", kSouth);
    Load(north, "operator", "secret");
    Load(south, "operator", "secret");
    ASSERT_TRUE(north.conn->CheckMailboxAccess() && south.conn->CheckMailboxAccess());

    // South has no directory for the extension yet: it is made, below the share's root.
    ASSERT_TRUE(south.conn->RelocateExt("205", north.conn.get(), true)) << south.conn->GetLastError();
    EXPECT_EQ(south.conn->GetLastError(), "");
    const fs::path box = fs::path(to.ShareDir()) / kBox;
    EXPECT_EQ(Read(box / "msg1.wav"), std::string(600, 'a'));
    EXPECT_EQ(Read(box / "msg2.wav"), std::string(700, 'b'));
    EXPECT_EQ(Read(box / ".tmp"), std::string(100, 'c'));
    EXPECT_EQ(Read(box / "old" / "msg3.wav"), std::string(1500, 'e'));
    EXPECT_EQ(Read(box / "old" / "deeper" / "msg4.wav"), std::string(10, 'f'));
    EXPECT_FALSE(fs::exists(box / ".tmp.d"));
    EXPECT_TRUE(fs::exists(fs::path(from.ShareDir()) / kBox / "msg1.wav"));  // the old home keeps its copy
}

// The document moves homes between the shares' sites: a mailbox goes along only while voice mail
// relocation is on (the shares were checked at the download either way).
TEST_F(Mailbox, TheDocumentMovesAMailboxOnlyWithVoiceMailRelocationOn) {
    SmbServer& from = Share(kNorth);
    SmbServer& to = Share(kSouth);
    Hosted& north = Site("North", 2400, 0x0480, kNorth);
    Hosted& south = Site("South", 2400, 0x0480, kSouth);
    for (const std::string n : {"205", "206"}) {
        FillMailbox(fs::path(from.ShareDir()) / ("ext000000000000" + n));
        Add(north, Ext(n));
        Add(south, ForwardingCopy(n, "8" + n, "ext" + n + "@north.example"));
    }
    RecordingFrame frame;
    CQOBDoc doc;
    doc.SetWorkDir(work.path());
    doc.SetFrame(&frame);
    const std::tuple<const char*, const char*, const char*> configured[] = {{"North", kNorth, "south.example"},
                                                                           {"South", kSouth, "north.example"}};
    for (const auto& [name, address, suffix] : configured) {
        SiteRec rec;
        rec.Name = name;
        inet_pton(AF_INET, address, &rec.IP);
        rec.DayWhite = "pw";
        rec.MBAccount = "operator";
        rec.MBPassword = "secret";
        rec.Routes.push_back(MapEntry{name == std::string("North") ? "South" : "North", suffix, "8N"});
        doc.m_sites.push_back(rec);
        doc.m_selServers.push_back(name);
    }
    doc.m_bRelocation = true;
    doc.m_bRelocateVM = true;
    ASSERT_TRUE(doc.Download());
    ASSERT_EQ(doc.FindExtRow("205")->SyncStatus, 1);

    doc.m_bRelocateVM = false;
    ASSERT_TRUE(doc.SyncExtension("205", "South"));
    EXPECT_EQ(server::FieldText(doc.FindExtRow("205")->HomeServer), "South");
    EXPECT_FALSE(fs::exists(fs::path(to.ShareDir()) / "ext000000000000205"));

    doc.m_bRelocateVM = true;
    ASSERT_TRUE(doc.SyncExtension("206", "South"));
    EXPECT_EQ(Read(fs::path(to.ShareDir()) / "ext000000000000206" / "msg1.wav"), std::string(600, 'a'));
    doc.OnCloseDocument();
}

TEST_F(Mailbox, AMailboxThatCannotArriveIsAWarningAfterThreeTries) {
    SmbServer& from = Share(kNorth);
    SmbServer& to = Share(kSouth);
    FillMailbox(fs::path(from.ShareDir()) / kBox);
    WriteFile(fs::path(to.ShareDir()) / kBox, 1);  // a file where the directory would go
    Hosted& north = SiteAt("North", kNorth);
    Hosted& south = SiteAt("South", kSouth);
    Load(north, "operator", "secret");
    Load(south, "operator", "secret");
    ASSERT_TRUE(north.conn->CheckMailboxAccess() && south.conn->CheckMailboxAccess());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(south.conn->RelocateExt("205", north.conn.get(), true));  // the record moved all the same
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_NE(south.conn->GetLastError().find("Warning: The mailbox of extension 205 was not copied from North to "
                                              "South: cannot create \\\\127.0.4.23\\Tarn_ZentMailBox\\" +
                                              std::string(kBox)),
              std::string::npos)
        << south.conn->GetLastError();
}

}  // namespace
