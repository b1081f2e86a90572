// Plexar.xml as the file system has it: a link, a pipe, a read-only file, what a killed save left,
// a file at the size limit, and commands that change it at the same time.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "document/QOBDoc.h"
#include "support/Processes.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class QobCliFiles : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_CODEPAGE", "WINDOWS-1252", 1);
    }
    void TearDown() override { unsetenv("QOB_CODEPAGE"); }

    ProgramResult Run(std::vector<std::string> args, const std::string& in = "") {
        args.insert(args.begin(), {"--dir", in.empty() ? dir.path() : in});
        return RunProgram("qob-cli", args, scratch.path());
    }
    // The names in the directory, sorted.
    std::vector<std::string> Entries(const std::string& d) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir registry, dir, scratch;
};

TEST_F(QobCliFiles, ASaveThroughALinkReplacesItsTargetAndKeepsTheLink) {
    TempDir elsewhere;
    fs::create_directory(elsewhere.file("conf"));
    const std::string target = elsewhere.file("conf/network.xml");
    ASSERT_EQ(Run({"site", "add", "Alpha", "10.0.0.1"}, elsewhere.file("conf")).exitCode, 0);
    fs::rename(elsewhere.file("conf/Plexar.xml"), target);
    fs::create_symlink(target, dir.file("Plexar.xml"));

    ASSERT_EQ(Run({"site", "add", "Beta", "10.0.0.2"}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("Plexar.xml")));
    EXPECT_EQ(fs::read_symlink(dir.file("Plexar.xml")), target);
    EXPECT_NE(elsewhere.Read("conf/network.xml").find("<Name>Beta</Name>"), std::string::npos);
    // Nothing was left beside either name but the lock, which sits beside the file itself.
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"Plexar.xml"}));
    EXPECT_EQ(Entries(elsewhere.file("conf")),
              (std::vector<std::string>{"Plexar.xml.lock", "network.xml", "network.xml.lock"}));

    // A relative link, and one that leads through another link.
    fs::remove(dir.file("Plexar.xml"));
    fs::create_symlink("../" + fs::path(elsewhere.path()).filename().string() + "/conf/network.xml", dir.file("middle"));
    fs::create_symlink("middle", dir.file("Plexar.xml"));
    ASSERT_EQ(Run({"site", "remove", "Alpha"}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("middle")));
    EXPECT_EQ(elsewhere.Read("conf/network.xml").find("<Name>Alpha</Name>"), std::string::npos);
}

TEST_F(QobCliFiles, APipeOrADeviceIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(dir.file("Plexar.xml").c_str(), 0600), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"sites"},
                                                 std::vector<std::string>{"site", "add", "Alpha", "10.0.0.1"},
                                                 std::vector<std::string>{"save"}}) {
        std::vector<std::string> full{"--dir", dir.path()};
        full.insert(full.end(), args.begin(), args.end());
        // Without a writer, opening the pipe for reading would wait for ever.
        Background cli("qob-cli", full, scratch.path(), "pipe");
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 1) << "qob-cli " << args[0] << " waited on the pipe";
        EXPECT_NE(cli.Err().find("Plexar.xml is not a regular file but a pipe"), std::string::npos) << cli.Err();
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("Plexar.xml")));

    fs::remove(dir.file("Plexar.xml"));
    fs::create_symlink("/dev/zero", dir.file("Plexar.xml"));
    ProgramResult r = Run({"sites"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not a regular file but a device"), std::string::npos) << r.err;
}

TEST_F(QobCliFiles, AReadOnlyFileIsNotReplaced) {
    ASSERT_EQ(Run({"site", "add", "Alpha", "10.0.0.1"}).exitCode, 0);
    const std::string before = dir.Read("Plexar.xml");
    ASSERT_EQ(::chmod(dir.file("Plexar.xml").c_str(), 0400), 0);
    ProgramResult r = Run({"site", "add", "Beta", "10.0.0.2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Plexar.xml: cannot write: Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("Plexar.xml"), before);
    EXPECT_EQ(fs::status(dir.file("Plexar.xml")).permissions(), fs::perms::owner_read);
    // Reading it is fine.
    EXPECT_EQ(Run({"sites"}).exitCode, 0);
}

TEST_F(QobCliFiles, TheNextSaveRemovesWhatAKilledOneLeft) {
    ASSERT_EQ(Run({"site", "add", "Alpha", "10.0.0.1", "--mb-password", "secret"}).exitCode, 0);
    // As a save killed between writing its new file and renaming it leaves things; a file of the
    // user's with a similar name is left alone.
    dir.Write("Plexar.xml.tmp-a1B2c3", dir.Read("Plexar.xml"));
    dir.Write("Plexar.xml.tmp-keep-me", "mine");
    fs::create_directory(dir.file("Plexar.xml.tmp-zzzzzz"));
    EXPECT_EQ(Run({"sites"}).exitCode, 0);  // reading changes nothing
    EXPECT_TRUE(fs::exists(dir.file("Plexar.xml.tmp-a1B2c3")));

    ASSERT_EQ(Run({"site", "add", "Beta", "10.0.0.2"}).exitCode, 0);
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"Plexar.xml", "Plexar.xml.lock", "Plexar.xml.tmp-keep-me",
                                                            "Plexar.xml.tmp-zzzzzz"}));
}

// A full mesh grows with the square of the sites: a save must not write what no load reads.
TEST_F(QobCliFiles, ASaveAtTheSizeLimitWorksAndOneByteMoreIsRefused) {
    CQOBDoc doc;
    doc.SetWorkDir(dir.path());
    std::string error;
    const size_t empty = doc.BuildConfigText(&error).size();
    doc.SetDefaultMBUser(std::string(CQOBDoc::kMaxConfigBytes - empty, 'u'));
    ASSERT_EQ(doc.BuildConfigText().size(), CQOBDoc::kMaxConfigBytes);
    ASSERT_TRUE(doc.SaveConfig()) << doc.GetConfigError();
    const std::string atLimit = dir.Read("Plexar.xml");
    ASSERT_EQ(atLimit.size(), CQOBDoc::kMaxConfigBytes);

    CQOBDoc again;
    again.SetWorkDir(dir.path());
    ASSERT_TRUE(again.LoadConfig()) << again.GetConfigError();
    EXPECT_EQ(again.GetDefaultMBUser(), doc.GetDefaultMBUser());

    doc.SetDefaultMBUser(doc.GetDefaultMBUser() + "u");
    EXPECT_FALSE(doc.SaveConfig());
    EXPECT_EQ(doc.GetConfigError(), "The configuration would take 16777217 bytes, more than the 16777216 a "
                                    "configuration file may hold; " + dir.file("Plexar.xml") + " was not written.");
    EXPECT_EQ(dir.Read("Plexar.xml"), atLimit);

    // The command line says why, and leaves the file as it was.
    ProgramResult r = Run({"site", "add", "Alpha", "10.0.0.1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("more than the 16777216 a configuration file may hold"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("Plexar.xml"), atLimit);
}

TEST_F(QobCliFiles, TenCommandsAtOnceKeepAllTenChanges) {
    std::vector<std::unique_ptr<Background>> commands;
    for (int i = 0; i < 10; ++i)
        commands.push_back(std::make_unique<Background>(
            "qob-cli",
            std::vector<std::string>{"--dir", dir.path(), "site", "add", "S" + std::to_string(i),
                                     "127.0.1." + std::to_string(i + 1)},
            scratch.path(), "add" + std::to_string(i)));
    for (auto& c : commands) EXPECT_EQ(c->Wait(std::chrono::seconds(60)), 0) << c->Err();
    CQOBDoc doc;
    doc.SetWorkDir(dir.path());
    ASSERT_TRUE(doc.LoadConfig()) << doc.GetConfigError();
    ASSERT_EQ(doc.m_sites.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_GE(doc.GetSiteIndex("S" + std::to_string(i)), 0) << i;
    for (const SiteRec& s : doc.m_sites) EXPECT_EQ(s.Routes.size(), 9u) << s.Name;
}

// A command that cannot get the lock in time says who has it and changes nothing.
TEST_F(QobCliFiles, ACommandThatCannotGetTheLockSaysWhoHasIt) {
    ASSERT_EQ(Run({"site", "add", "Alpha", "10.0.0.1"}).exitCode, 0);
    const std::string before = dir.Read("Plexar.xml");
    CQOBDoc holder;
    holder.SetWorkDir(dir.path());
    std::string error;
    ASSERT_TRUE(holder.LockConfig("a test", error)) << error;
    setenv("QOB_LOCK_TIMEOUT_MS", "300", 1);
    ProgramResult r = Run({"site", "add", "Beta", "10.0.0.2"});
    unsetenv("QOB_LOCK_TIMEOUT_MS");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Plexar.xml is being changed by process " + std::to_string(::getpid()) +
                         " (a test), which did not finish within 300 ms; nothing was changed."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(dir.Read("Plexar.xml"), before);
    holder.UnlockConfig();
    EXPECT_EQ(Run({"site", "add", "Beta", "10.0.0.2"}).exitCode, 0);
}

}  // namespace
