// qob-cli download against zentsim daemons over TCP: the list it prints, and what it does when a
// site stops, falls silent, speaks in small fragments, or meets a peer that breaks the protocol.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "E2EFixture.h"

namespace e2e {
namespace {

const std::vector<std::string> kNetworkRows = {
    "100\tExtension\tAnn\tLee\text100\tSynchronized\tNorth\t1\t0",
    "101\tExtension\tBob\t \text101\tUnsynchronized\tNorth\t1\t0",
    "102\tExtension\tDi Tab\t \text102\tUnsynchronized\tNorth\t1\t0",
    "200\tExtension\tCy\t \text200\tUnsynchronized\tSouth\t1\t0",
    "300\tExtension\t \tXXXXXXX\text300\tUnsynchronized\tUnknown\t1\t0",
};

TEST_F(E2E, ThreeSitesOverTcpGiveTheMergedList) {
    MakeNetwork();
    StartAll();
    ProgramResult r = Run("qob-cli", DownloadArgs({"North", "South", "East"}));
    EXPECT_EQ(Lines(r.out), kNetworkRows) << r.err;
    EXPECT_NE(r.err.find("Begin to match these extensions..."), std::string::npos) << r.err;
    EXPECT_NE(work.Read("QOB.log").find("Server South has 3 extension(s)."), std::string::npos);
    // Each daemon stops cleanly on SIGTERM.
    for (auto& d : daemons) EXPECT_EQ(d->Stop(), 0);
}

TEST_F(E2E, ClientsOneAfterAnotherAndAtOnce) {
    MakeNetwork();
    StartAll();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Lines(Run("qob-cli", DownloadArgs({"North", "South", "East"})).out), kNetworkRows);
    TempDir second;
    std::filesystem::copy_file(work.file("Plexar.xml"), second.file("Plexar.xml"));
    std::vector<std::string> args = DownloadArgs({"North", "South", "East"});
    Background a("qob-cli", args, scratch.path(), "a");
    args[1] = second.path();
    Background b("qob-cli", args, scratch.path(), "b");
    EXPECT_EQ(a.Wait(std::chrono::seconds(30)), 0) << a.Err();
    EXPECT_EQ(b.Wait(std::chrono::seconds(30)), 0) << b.Err();
    EXPECT_EQ(Lines(a.Out()), kNetworkRows);
    EXPECT_EQ(Lines(b.Out()), kNetworkRows);
}

// Whether a TCP connection to 127.0.0.22 is established (read from /proc/net/tcp, where the
// address is hexadecimal in the host's byte order).
bool ConnectedToSouth() {
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (remote.rfind("1600007F:", 0) == 0 && state == "01") return true;
    }
    return false;
}

// South answers every call slowly; qob-cli is in the middle of talking to it when it goes (once
// it is connected, however loaded the machine, and a moment later).
void StopMidDownload(E2E& t, Daemon& south, Background& cli, int sig) {
    const auto connected = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!ConnectedToSouth() && cli.Running() && std::chrono::steady_clock::now() < connected)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(cli.Running()) << cli.Err();
    const auto stopped = std::chrono::steady_clock::now();
    south.Process().Signal(sig);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 1) << cli.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(1500));
    // Whichever step South was in when it went (set-up steps name themselves).
    EXPECT_TRUE(std::regex_search(cli.Err(), std::regex("Lost the connection to server South( while [a-z ]+)?: 127\\.0\\.0\\.22 port ")))
        << cli.Err();
    EXPECT_NE(cli.Err().find("connection closed by the peer"), std::string::npos) << cli.Err();
    EXPECT_EQ(cli.Out(), "");
    (void)t;
}

TEST_F(E2E, ASiteStoppedMidDownloadGivesItsLastError) {
    MakeNetwork();
    Run("zentsim", {"fault", State("South"), "--delay-ms", "3000"});
    Start("North", "127.0.0.21");
    Daemon& south = Start("South", "127.0.0.22");
    Start("East", "127.0.0.23");
    {
        Background cli("qob-cli", DownloadArgs({"North", "South", "East"}), scratch.path(), "term");
        StopMidDownload(*this, south, cli, SIGTERM);
    }
    EXPECT_EQ(south.Process().Wait(std::chrono::seconds(10)), 0);  // a clean stop, state saved

    Daemon& again = Start("South", "127.0.0.22");
    Background cli("qob-cli", DownloadArgs({"North", "South", "East"}), scratch.path(), "kill");
    StopMidDownload(*this, again, cli, SIGKILL);
}

TEST_F(E2E, ASilentSiteEndsTheDownloadAfterTheCallTimeout) {
    MakeNetwork();
    Run("zentsim", {"fault", State("South"), "--delay-ms", "20000"});
    StartAll();
    setenv("QOB_CALL_TIMEOUT_MS", "1000", 1);
    const auto start = std::chrono::steady_clock::now();
    ProgramResult r = RunProgram("qob-cli", DownloadArgs({"North", "South", "East"}), scratch.path());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(6000));
    EXPECT_NE(r.err.find("Lost the connection to server South while reading its system configuration: 127.0.0.22 port "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no answer within 1000 ms"), std::string::npos) << r.err;
    for (auto& d : daemons) d->Process().Kill(SIGKILL);  // South would finish its delay first
}

TEST_F(E2E, ARepliesInManySmallFragmentsArrivesWhole) {
    InitSite("South");
    Run("zentsim", {"init", State("North"), "--name", "North", "--admin-password", "pw-North", "--dial-plan", "8=1",
                    "--record-length", "60000", "--force"});
    for (int i = 0; i < 20; ++i)
        Run("zentsim", {"add", State("North"), "--number", std::to_string(400 + i), "--type", "physical",
                        "--first", "F" + std::to_string(i)});
    Site("North", "127.0.0.21");
    Site("South", "127.0.0.22");
    Start("North", "127.0.0.21", {"--max-fragment", "1432"});  // 1.2 MB in some 840 fragments
    Start("South", "127.0.0.22", {"--max-fragment", "1432"});
    setenv("QOB_RPC_MAX_FRAGMENT", "1432", 1);
    ProgramResult r = RunProgram("qob-cli", DownloadArgs({"North", "South"}), scratch.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 20u) << r.err;
    EXPECT_EQ(rows[19], "419\tExtension\tF19\t \text419\tUnsynchronized\tNorth\t1\t0");
    EXPECT_NE(work.Read("QOB.log").find("extension record length is 60000 bytes"), std::string::npos);
}

int ConnectTo(const std::string& address, uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    timeval tv{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Sends bytes and reports whether the daemon then closed the connection (recv gives 0).
bool ClosedAfter(const std::string& address, uint16_t port, const std::vector<uint8_t>& bytes) {
    int fd = ConnectTo(address, port);
    if (fd < 0) return false;
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    uint8_t buf[256];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) {
    }
    close(fd);
    return n == 0;
}

TEST_F(E2E, MalformedPdusAreRefusedAndTheDaemonGoesOn) {
    MakeNetwork();
    StartAll();
    Daemon& north = *daemons[0];
    const std::vector<uint8_t> garbage(64, 0xEE);
    // Version 5.0, a bind, little-endian, but a fragment length below the header.
    const std::vector<uint8_t> shortLength{5, 0, 11, 3, 0x10, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0};
    // A request before any bind.
    std::vector<uint8_t> unbound{5, 0, 0, 3, 0x10, 0, 0, 0, 32, 0, 0, 0, 1, 0, 0, 0};
    unbound.resize(32, 0);
    // A bind claiming 65,535 bytes and stopping after the header.
    const std::vector<uint8_t> truncated{5, 0, 11, 3, 0x10, 0, 0, 0, 0xFF, 0xFF, 0, 0, 1, 0, 0, 0};
    for (const auto& bytes : {garbage, shortLength, unbound}) {
        EXPECT_TRUE(ClosedAfter("127.0.0.21", kPort, bytes));
        EXPECT_TRUE(ClosedAfter("127.0.0.21", north.ObjectPort(), bytes));
    }
    int half = ConnectTo("127.0.0.21", kPort);
    send(half, truncated.data(), truncated.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(north.Process().Running());
    EXPECT_EQ(Lines(Run("qob-cli", DownloadArgs({"North", "South", "East"})).out), kNetworkRows);
    close(half);
    EXPECT_EQ(north.Stop(), 0);
}

}  // namespace
}  // namespace e2e
