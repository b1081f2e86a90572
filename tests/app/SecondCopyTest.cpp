// One copy of the program per directory: a second start in the same directory hands over to the
// running copy, which comes to the front (restored when minimised); the second shows nothing and
// ends with 0. A copy started in another directory (another network) runs beside the first.
#include <QLocalSocket>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AppFixture.h"
#include "support/Processes.h"

using namespace apptest;

namespace {

class SecondCopy : public AppTest {
protected:
    // Starts bin/qob in a directory (the work directory) on the offscreen platform, its trace into `errFile`.
    // The copy is killed and reaped when its owner goes, whatever way the test ends.
    Child Spawn(const std::string& errFile, std::string dir = {}) {
        if (dir.empty()) dir = work.path();
        const std::string program = BinDir() + "/qob";
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int null = ::open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(err, 2);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("QOB_TRACE", "1", 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return Child(pid);
    }
    bool Listening(std::string dir = {}) {
        QLocalSocket s;
        s.connectToServer(CQOBApp::InstanceName(dir.empty() ? work.path() : dir));
        const bool up = s.waitForConnected(200);
        s.abort();
        return up;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Waits for the process to end: its exit code, 128 when a signal ended it, -1 when it runs past the time.
    static int Wait(Child& copy, int ms) {
        const int code = copy.Wait(std::chrono::milliseconds(ms));
        return !copy.Ended() ? -1 : copy.Signalled() ? 128 : code;
    }
    // Asks a copy to end as a user would, and waits for it.
    static void End(Child& copy) {
        copy.Signal(SIGTERM);
        Wait(copy, 5000);
    }
};

TEST_F(SecondCopy, HandsOverToTheRunningProgramAndEndsWithZero) {
    AddSite("North");
    WriteConfig();
    const std::string err1 = tmp.file("first.err"), err2 = tmp.file("second.err");
    Child first = Spawn(err1);
    ASSERT_GT(first.Pid(), 0);
    bool up = false;
    for (int i = 0; i < 300 && !(up = Listening()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!up) {
        End(first);
        FAIL() << "the first copy never listened: " << Read(err1);
    }
    Child second = Spawn(err2);
    EXPECT_EQ(Wait(second, 15000), 0);
    bool raised = false;
    for (int i = 0; i < 100 && !(raised = Read(err1).find("Brought to the front by another copy") != std::string::npos); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(raised) << Read(err1);
    EXPECT_EQ(Read(err2).find("Brought to the front"), std::string::npos);
    EXPECT_EQ(Wait(first, 0), -1);  // the first copy still runs
    End(first);
}

TEST_F(SecondCopy, ACopyInAnotherDirectoryRunsBesideTheFirst) {
    AddSite("North");
    WriteConfig();
    TempDir other;
    ASSERT_TRUE(std::filesystem::copy_file(work.file("Plexar.xml"), other.file("Plexar.xml")));
    const std::string err1 = tmp.file("first.err"), err2 = tmp.file("second.err");
    Child first = Spawn(err1);
    ASSERT_GT(first.Pid(), 0);
    bool up = false;
    for (int i = 0; i < 300 && !(up = Listening()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Child second = up ? Spawn(err2, other.path()) : Child();
    bool both = false;
    for (int i = 0; i < 300 && second.Pid() > 0 && !(both = Listening(other.path())); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A copy that handed over would have ended by now.
    const int secondEnded = second.Pid() > 0 ? Wait(second, 1500) : 0;
    for (Child* c : {&first, &second})
        if (c->Pid() > 0) End(*c);
    ASSERT_TRUE(up) << Read(err1);
    EXPECT_TRUE(both) << "the second copy did not start its own window: " << Read(err2);
    EXPECT_EQ(secondEnded, -1);  // it was still running
    EXPECT_EQ(Read(err1).find("Brought to the front"), std::string::npos);
}

TEST_F(SecondCopy, TheRunningWindowIsRestoredWhenMinimised) {
    AddSite("North");
    WriteConfig();
    Start();
    frame->showMinimized();
    ASSERT_TRUE(Eventually([&] { return frame->isMinimized(); }));
    QLocalSocket s;
    s.connectToServer(CQOBApp::InstanceName(work.path()));
    ASSERT_TRUE(s.waitForConnected(2000));
    s.write("activate\n");
    s.flush();
    EXPECT_TRUE(Eventually([&] { return !frame->isMinimized(); }));
    EXPECT_TRUE(frame->isVisible());
}

}  // namespace
