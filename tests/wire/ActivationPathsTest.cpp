// Activation as peers of version 5.7 do it: IRemoteSCMActivator first, IRemoteActivation when the
// resolver does not serve the newer interface. Either way a site's connection works the same; an
// older resolver costs one round trip more, once per resolver, however many threads activate.
#include <atomic>
#include <thread>

#include "ScriptedPeer.h"
#include "WireFixture.h"
#include "com/ActivationMessages.h"
#include "com/Activation.h"
#include "com/NdrBuild.h"
#include "com/RpcError.h"
#include "com/RpcPdu.h"
#include "sim/RequestCounts.h"

namespace wiretest {
namespace {

const com::CLSID kSomeClass = com::MakeGuid(0x0C1A5700, 0x1111, 0x2222, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);

struct Counted {
    sim::SiteServer* server;
    std::shared_ptr<sim::RequestCounts> counts;
};

class ActivationPaths : public WireFixture {
protected:
    // A site's server whose answers are counted; `scm` false: it serves only IRemoteActivation.
    Counted ServeCounted(const std::shared_ptr<sim::Site>& site, const std::string& address, bool scm) {
        auto counts = std::make_shared<sim::RequestCounts>();
        com::RpcServerOptions options;
        options.hook = sim::ServeHook(nullptr, counts);
        servers.push_back(std::make_unique<sim::SiteServer>(site, address, options));
        servers.back()->Server().ServeScmActivator(scm);
        std::string error;
        EXPECT_TRUE(servers.back()->Start(kPort, error)) << error;
        servers.back()->RunInBackground();
        return {servers.back().get(), counts};
    }
    // Connects, reads the records, disconnects: the round trips it took.
    uint64_t Download(const std::string& address, const Counted& c) {
        const uint64_t before = c.counts->RoundTrips();
        auto one = Connect("North", address);
        EXPECT_TRUE(one->Initialize()) << one->GetLastError();
        EXPECT_TRUE(one->LoadExtensions()) << one->GetLastError();
        EXPECT_EQ(one->GetExtCount(), 30);
        one.reset();
        return c.counts->RoundTrips() - before;
    }
};

TEST_F(ActivationPaths, AnOlderResolverCostsOneRoundTripMoreOnlyOnce) {
    com::SetPingingEnabled(false);  // no pings among the counted round trips
    auto site = MemorySite("North", 30);
    const Counted current = ServeCounted(site, "127.0.0.161", true);
    const Counted older = ServeCounted(site, "127.0.0.162", false);

    const uint64_t usual = Download("127.0.0.161", current);
    EXPECT_EQ(current.server->Server().ActivationsAnswered(true), 1u);
    EXPECT_EQ(current.server->Server().ActivationsAnswered(false), 0u);

    // The newer interface's context is refused, the older one is added on the same connection.
    EXPECT_EQ(Download("127.0.0.162", older), usual + 1);
    EXPECT_EQ(older.counts->connections, current.counts->connections);
    EXPECT_EQ(older.counts->alterContexts, current.counts->alterContexts + 1);
    // Remembered: from now on the older interface straight away.
    EXPECT_EQ(Download("127.0.0.162", older), usual);
    EXPECT_EQ(Download("127.0.0.161", current), usual);
    EXPECT_EQ(older.server->Server().ActivationsAnswered(false), 2u);
    EXPECT_EQ(older.server->Server().ActivationsAnswered(true), 0u);
}

TEST_F(ActivationPaths, ThreadsActivatingAtOnceAgainstAnOlderResolverAllSucceed) {
    auto site = MemorySite("North", 30);
    const Counted older = ServeCounted(site, "127.0.0.163", false);
    constexpr int kThreads = 6;
    std::atomic<int> worked{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            auto one = Connect("North", "127.0.0.163");
            if (one->Initialize() && one->LoadExtensions() && one->GetExtCount() == 30) ++worked;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(worked, kThreads);
    EXPECT_EQ(older.server->Server().ActivationsAnswered(false), uint64_t(kThreads));
    // Each thread fell back at most once.
    EXPECT_LE(older.counts->alterContexts, 2u * kThreads);
}

std::vector<uint8_t> Ack(com::rpc::PduType type, uint32_t callId) {
    com::rpc::BindAckBody ack;
    ack.maxXmitFrag = ack.maxRecvFrag = 4280;
    ack.secondaryAddress = std::to_string(kPort);
    ack.results.push_back({com::rpc::kResultAcceptance, com::rpc::kReasonNotSpecified, com::rpc::kNdrSyntax});
    std::vector<uint8_t> pdu;
    com::rpc::EncodeBindAck(type, callId, ack, pdu);
    return pdu;
}

// One response PDU carrying an activation reply in the older interface's format.
std::vector<uint8_t> ActivationResponse(uint32_t callId, const com::ActivationReply& a) {
    const auto stub = com::BuildNdr([&](com::NdrWriter& w) { com::WriteActivationReply(w, a); });
    std::vector<uint8_t> response(com::rpc::kResponseHeaderSize);
    com::rpc::EncodeResponseHeader(response.data(), com::rpc::PFC_FIRST_FRAG | com::rpc::PFC_LAST_FRAG,
                                   uint16_t(response.size() + stub.size()), callId, uint32_t(stub.size()), 0);
    response.insert(response.end(), stub.begin(), stub.end());
    return response;
}

// The class is not registered there: an answer only the older interface's reader takes.
std::vector<uint8_t> ClassNotRegistered(uint32_t callId) {
    com::ActivationReply a;
    a.hr = com::REGDB_E_CLASSNOTREG;
    a.interfaces.assign(1, {});
    a.results.assign(1, com::REGDB_E_CLASSNOTREG);
    return ActivationResponse(callId, a);
}

// Answers a connection's bind as a resolver that predates IRemoteSCMActivator: a bind for it gets a
// bind_nak (some do that instead of refusing the presentation context), any other one an ack.
// True when the bind was acknowledged and a request may follow.
bool BindAsAnOlderResolver(int fd, std::atomic<int>* scmBinds = nullptr) {
    auto bind = ScriptedPeer::ReadPdu(fd);
    com::rpc::PduHeader h;
    com::rpc::BindBody body;
    if (bind.empty() || com::rpc::DecodeHeader(bind.data(), bind.size(), h) != com::rpc::PduError::None ||
        com::rpc::DecodeBind(bind.data(), h, body) != com::rpc::PduError::None || body.contexts.empty())
        return false;
    if (body.contexts[0].abstractSyntax.uuid == com::IID_IRemoteSCMActivator) {
        if (scmBinds) ++*scmBinds;
        std::vector<uint8_t> nak;
        com::rpc::EncodeBindNak(h.callId, com::rpc::BindNakBody{com::rpc::kNakNotSpecified, {{5, 0}}}, nak);
        ScriptedPeer::WriteAll(fd, nak);
        return false;
    }
    return ScriptedPeer::WriteAll(fd, Ack(com::rpc::PduType::BindAck, h.callId));
}

// A resolver that binds any interface but faults a call of the newer one as out of range: the
// client adds the older interface on the same connection.
TEST_F(ActivationPaths, AFaultForTheNewerInterfaceFallsBackOnTheSameConnection) {
    std::atomic<int> faults{0}, answered{0};
    ScriptedPeer peer("127.0.0.166", kPort, [&](int fd) {
        auto bind = ScriptedPeer::ReadPdu(fd);
        if (bind.empty() || !ScriptedPeer::WriteAll(fd, Ack(com::rpc::PduType::BindAck, ScriptedPeer::CallId(bind))))
            return;
        for (;;) {
            auto pdu = ScriptedPeer::ReadPdu(fd);
            if (pdu.empty()) return;
            const auto type = com::rpc::PduType(pdu[2]);
            std::vector<uint8_t> answer;
            if (type == com::rpc::PduType::AlterContext) {
                answer = Ack(com::rpc::PduType::AlterContextResp, ScriptedPeer::CallId(pdu));
            } else if (pdu[20] == 0) {  // context 0: the newer interface, bound first
                ++faults;
                com::rpc::EncodeFault(ScriptedPeer::CallId(pdu), 0, com::rpc::nca_s_op_rng_error, true, answer);
            } else {
                ++answered;
                answer = ClassNotRegistered(ScriptedPeer::CallId(pdu));
            }
            if (!ScriptedPeer::WriteAll(fd, answer)) return;
        }
    });
    ASSERT_TRUE(peer.Listening());
    com::MULTI_QI qi{&com::IID_IUnknown, nullptr, 0};
    EXPECT_EQ(com::CoCreateInstanceEx(kSomeClass, "127.0.0.166", &qi, 1), com::REGDB_E_CLASSNOTREG)
        << com::LastRpcErrorText();
    EXPECT_EQ(faults, 1);
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(peer.Accepted(), 1);
}

// A resolver that answers a bind for the newer interface with a bind_nak (as some do, instead of
// refusing the presentation context): the client connects again for the older one.
TEST_F(ActivationPaths, ABindNakForTheNewerInterfaceFallsBackOnANewConnection) {
    std::atomic<int> scmBinds{0}, oldBinds{0};
    ScriptedPeer peer("127.0.0.164", kPort, [&](int fd) {
        if (!BindAsAnOlderResolver(fd, &scmBinds)) return;
        ++oldBinds;
        auto request = ScriptedPeer::ReadPdu(fd);
        if (!request.empty()) ScriptedPeer::WriteAll(fd, ClassNotRegistered(ScriptedPeer::CallId(request)));
    });
    ASSERT_TRUE(peer.Listening());
    com::MULTI_QI qi{&com::IID_IUnknown, nullptr, 0};
    // On a connection's link too: a refused bind is an answer, not a lost server.
    auto link = std::make_shared<com::Link>();
    EXPECT_EQ(com::CoCreateInstanceEx(kSomeClass, "127.0.0.164", &qi, 1, link), com::REGDB_E_CLASSNOTREG)
        << com::LastRpcErrorText();
    EXPECT_FALSE(link->Lost());
    EXPECT_EQ(scmBinds, 1);
    EXPECT_EQ(oldBinds, 1);
    EXPECT_EQ(com::CoCreateInstanceEx(kSomeClass, "127.0.0.164", &qi, 1), com::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(scmBinds, 1);
    EXPECT_EQ(oldBinds, 2);
    EXPECT_EQ(peer.Accepted(), 3);
}

// A resolver that refuses both interfaces: the failure says so.
TEST_F(ActivationPaths, AResolverServingNeitherInterfaceSaysSo) {
    ScriptedPeer peer("127.0.0.165", kPort, [](int fd) {
        auto bind = ScriptedPeer::ReadPdu(fd);
        std::vector<uint8_t> nak;
        com::rpc::EncodeBindNak(ScriptedPeer::CallId(bind), com::rpc::BindNakBody{com::rpc::kNakNotSpecified, {{5, 0}}},
                                nak);
        ScriptedPeer::WriteAll(fd, nak);
    });
    ASSERT_TRUE(peer.Listening());
    com::MULTI_QI qi{&com::IID_IUnknown, nullptr, 0};
    EXPECT_EQ(com::CoCreateInstanceEx(kSomeClass, "127.0.0.165", &qi, 1), com::RPC_S_PROTOCOL_ERROR);
    EXPECT_NE(com::LastRpcErrorText().find("serves neither IRemoteSCMActivator nor IRemoteActivation"),
              std::string::npos)
        << com::LastRpcErrorText();
    EXPECT_EQ(peer.Accepted(), 2);
}

// A resolver whose activation reply hands out references that are no OBJREFs: the failure says
// that the references were rejected and why, not that the server gave no interface.
TEST_F(ActivationPaths, RejectedReferencesAreSaidAsSuch) {
    ScriptedPeer peer("127.0.0.167", kPort, [](int fd) {
        if (!BindAsAnOlderResolver(fd)) return;
        auto request = ScriptedPeer::ReadPdu(fd);
        if (request.size() < com::rpc::kRequestHeaderSize) return;
        com::NdrReader r(request.data() + com::rpc::kRequestHeaderSize, request.size() - com::rpc::kRequestHeaderSize,
                         com::rpc::kDrepLittleEndian);
        com::ActivationRequest q;
        if (!com::ReadActivationRequest(r, q)) return;
        com::ActivationReply a;
        a.oxid = 7;
        a.hasBindings = true;
        a.bindings.strings.push_back({com::kTowerTcp, "127.0.0.167[1]"});
        a.interfaces.assign(q.iids.size(), std::vector<uint8_t>(64, 0x5A));
        a.results.assign(q.iids.size(), com::S_OK);
        ScriptedPeer::WriteAll(fd, ActivationResponse(ScriptedPeer::CallId(request), a));
    });
    ASSERT_TRUE(peer.Listening());
    conn = Connect("North", "127.0.0.167");
    EXPECT_FALSE(conn->Initialize());
    const std::string error = conn->GetLastError();
    EXPECT_EQ(error.rfind("Failed to connect to server North, hr = 0x80004002\n127.0.0.167 port ", 0), 0u) << error;
    EXPECT_NE(error.find(": 7 of the 7 object references of the activation reply were rejected (the first, interface {"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("}: not a well-formed standard OBJREF)"), std::string::npos) << error;
    EXPECT_EQ(error.find("none of the interfaces"), std::string::npos) << error;
}

}  // namespace
}  // namespace wiretest
