// DCOM stacks nobody here wrote, against zentsim daemons: impacket as a client, and Wireshark's
// dissectors reading a capture of a whole qob-cli download.
#include <cstdlib>
#include <sstream>

#include "E2EFixture.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "proxy/Interfaces.h"
#include "sim/SimHost.h"

namespace e2e {
namespace {

const char* kPython = "/usr/bin/python3";

std::string SourceDir() { return QOB_SOURCE_DIR; }

bool HaveImpacket() {
    return std::system("/usr/bin/python3 -c 'import impacket.dcerpc.v5.dcomrt' >/dev/null 2>&1") == 0;
}

bool Have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

// What the site answers in process, through the proxies and stubs: the bytes a client must see.
void ExpectedBytes(const std::string& state, std::string& sysconfig, std::string& extlist) {
    std::string error;
    auto site = sim::Site::Open(state, error);
    ASSERT_TRUE(site) << error;
    com::ResetProxyStubCache();
    ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
    com::MULTI_QI qi;
    qi.pIID = &IID_IZentGetI;
    ASSERT_EQ(sim::ActivateSite(site, &qi, 1), com::S_OK);
    com::ComPtr<IZentGetI> get(static_cast<IZentGetI*>(qi.pItf));
    std::vector<uint8_t> buf(1 << 20);
    int32_t n = 4096;
    ASSERT_EQ(get->GetSystemConfig(&n, buf.data()), com::S_OK);
    sysconfig.assign(reinterpret_cast<const char*>(buf.data()), size_t(n));
    n = int32_t(buf.size());
    ASSERT_EQ(get->GetExtensionList(&n, buf.data()), com::S_OK);
    extlist.assign(reinterpret_cast<const char*>(buf.data()), size_t(n));
}

using Interop = E2E;

TEST_F(Interop, ImpacketActivatesCallsPingsAndReleases) {
    if (!HaveImpacket()) GTEST_SKIP() << "python3-impacket is not installed (scripts/bootstrap installs it)";
    MakeNetwork();
    Start("North", "127.0.0.21");
    ProgramResult r = RunProgram(kPython, {SourceDir() + "/tests/interop/impacket_client.py", "127.0.0.21",
                                           std::to_string(kPort), scratch.path()},
                                 scratch.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(scratch.Read("result.txt"), "ok\n");
    std::string sysconfig, extlist;
    ExpectedBytes(State("North"), sysconfig, extlist);
    // Through an object activated with activation properties, and through one activated the older way.
    for (const std::string how : {"scm-", "activation-"}) {
        EXPECT_EQ(scratch.Read(how + "sysconfig.bin"), sysconfig) << how;
        EXPECT_EQ(scratch.Read(how + "extlist.bin").size(), 3u * 2400u) << how;
        EXPECT_EQ(scratch.Read(how + "extlist.bin"), extlist) << how;
    }
}

// A daemon that serves only the older activation interface, as older servers do: impacket's
// activation with properties is refused there, its older one works, and the program's download
// falls back and gives the site's rows.
TEST_F(Interop, AnOlderDaemonRefusesTheNewerActivationAndTheProgramFallsBack) {
    if (!HaveImpacket()) GTEST_SKIP() << "python3-impacket is not installed (scripts/bootstrap installs it)";
    MakeNetwork();
    Start("North", "127.0.0.21", {"--no-scm-activator"});
    ProgramResult r = RunProgram(kPython, {SourceDir() + "/tests/interop/impacket_client.py", "127.0.0.21",
                                           std::to_string(kPort), scratch.path(), "--older"},
                                 scratch.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::string sysconfig, extlist;
    ExpectedBytes(State("North"), sysconfig, extlist);
    EXPECT_EQ(scratch.Read("activation-sysconfig.bin"), sysconfig);
    EXPECT_EQ(scratch.Read("activation-extlist.bin"), extlist);

    // Beside a daemon that serves both.
    Start("South", "127.0.0.22");
    ProgramResult download = Run("qob-cli", DownloadArgs({"North", "South"}));
    size_t north = 0, south = 0;
    for (const std::string& line : Lines(download.out)) {
        north += line.find("\tNorth\t") != std::string::npos;
        south += line.find("\tSouth\t") != std::string::npos;
    }
    EXPECT_EQ(north, 3u) << download.out << download.err;
    EXPECT_EQ(south, 1u) << download.out << download.err;
}

TEST_F(Interop, ObjectsImpacketDoesNotPingAreReleasedByTheDaemon) {
    if (!HaveImpacket()) GTEST_SKIP() << "python3-impacket is not installed (scripts/bootstrap installs it)";
    MakeNetwork();
    setenv("QOB_PING_PERIOD_MS", "200", 1);  // the daemon releases after 600 ms without a ping
    Start("North", "127.0.0.21");
    unsetenv("QOB_PING_PERIOD_MS");
    ProgramResult r = RunProgram(kPython, {SourceDir() + "/tests/interop/impacket_client.py", "127.0.0.21",
                                           std::to_string(kPort), scratch.path(), "--expire", "1500"},
                                 scratch.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(scratch.Read("result.txt"), "ok\n");
}

TEST_F(Interop, WiresharkDecodesAWholeDownloadWithoutErrors) {
    if (!Have("dumpcap") || !Have("tshark")) GTEST_SKIP() << "tshark is not installed (scripts/bootstrap installs it)";
    MakeNetwork();
    StartAll();
    const std::string capture = scratch.file("download.pcapng");
    Background dumpcap("/usr/bin/dumpcap",
                       {"-q", "-i", "lo", "-f", "tcp and (host 127.0.0.21 or host 127.0.0.22 or host 127.0.0.23)", "-w", capture},
                       scratch.path(), "dumpcap");
    // dumpcap says nothing when it starts; a capture file appears once it is capturing.
    for (int i = 0; i < 200 && !std::filesystem::exists(capture) && dumpcap.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (!dumpcap.Running()) GTEST_SKIP() << "capturing on the loopback interface is not permitted here: " << dumpcap.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ProgramResult download = Run("qob-cli", DownloadArgs({"North", "South", "East"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    dumpcap.Signal(SIGINT);
    ASSERT_EQ(dumpcap.Wait(std::chrono::seconds(10)), 0) << dumpcap.Err();

    std::vector<std::string> decode{"-n", "-r", capture, "-d", "tcp.port==" + std::to_string(kPort) + ",dcerpc"};
    for (auto& d : daemons) decode.insert(decode.end(), {"-d", "tcp.port==" + std::to_string(d->ObjectPort()) + ",dcerpc"});
    auto tshark = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = decode;
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram("/usr/bin/tshark", args, scratch.path());
    };
    ProgramResult summary = tshark({});
    ASSERT_EQ(summary.exitCode, 0) << summary.err;
    // Activation, resolver pings and releases are dissected by name; the sites' own interfaces
    // are DCE/RPC requests and responses.
    EXPECT_NE(summary.out.find("RemoteCreateInstance request"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("RemoteCreateInstance response"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("RemRelease request"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Bind_ack"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Alter_context_resp"), std::string::npos) << summary.out;
    ProgramResult malformed = tshark({"-Y", "_ws.malformed || _ws.expert.severity == error"});
    EXPECT_EQ(malformed.exitCode, 0) << malformed.err;
    EXPECT_EQ(malformed.out, "") << malformed.out;
    ProgramResult expert = tshark({"-q", "-z", "expert,error"});
    EXPECT_EQ(expert.exitCode, 0) << expert.err;
    EXPECT_EQ(expert.out.find("Errors ("), std::string::npos) << expert.out;
    (void)download;
}

}  // namespace
}  // namespace e2e
