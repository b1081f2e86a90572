// What the server half answers a call that never ran: a fault flagged did-not-execute, so that the
// client knows a retry is safe; a fault from a call that ran carries no such flag.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "com/Association.h"
#include "com/RpcError.h"
#include "com/RpcPdu.h"
#include "com/RpcServer.h"

namespace {

using namespace com;
using namespace com::rpc;

const SyntaxId kServed{MakeGuid(0x12345678, 0x1234, 0x1234, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC), 1, 0};

// Opnum 0 runs and faults itself; any other opnum is out of range.
class Handler : public IRpcHandler {
public:
    bool Serves(const SyntaxId& s) override { return s == kServed; }
    void Handle(const RpcCall& call, RpcServerReply& reply) override {
        reply.Fault(call.opnum == 0 ? nca_s_fault_ndr : nca_s_op_rng_error);
    }
};

class ServerFault : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        server = std::make_unique<RpcServer>(options);
        ASSERT_TRUE(server->Listen("127.0.0.1", 0, &handler, port, error)) << error;
        thread = std::thread([this] { server->Run(); });
        Connect();
    }
    void Connect() {
        if (fd >= 0) ::close(fd);
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{5, 0};  // every read is bounded
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    // Binds the served interface, with the data representation's first two bytes set as given.
    void Bind(uint8_t drep0 = 0x10, uint8_t drep1 = 0) {
        BindBody bind;
        bind.maxXmitFrag = bind.maxRecvFrag = 4280;
        bind.contexts.push_back(ContextElement{0, kServed, {kNdrSyntax}});
        std::vector<uint8_t> pdu;
        EncodeBind(PduType::Bind, 1, bind, pdu);
        pdu[4] = drep0;
        pdu[5] = drep1;
        ASSERT_EQ(::write(fd, pdu.data(), pdu.size()), ssize_t(pdu.size()));
    }
    void TearDown() override {
        if (fd >= 0) ::close(fd);
        if (server) server->Stop();
        if (thread.joinable()) thread.join();
    }
    // One whole PDU; false when none came within the bound.
    bool Read(PduHeader& h) {
        last.assign(kHeaderSize, 0);
        if (!ReadExactly(last.data(), kHeaderSize) || DecodeHeader(last.data(), last.size(), h) != PduError::None)
            return false;
        last.resize(h.fragLength);
        return ReadExactly(last.data() + kHeaderSize, h.fragLength - kHeaderSize);
    }
    bool ReadExactly(uint8_t* p, size_t n) {
        while (n > 0) {
            const ssize_t got = ::read(fd, p, n);
            if (got <= 0) return false;
            p += got;
            n -= size_t(got);
        }
        return true;
    }
    // One request fragment of `stub` bytes on context 0.
    void Fragment(uint8_t flags, uint32_t callId, size_t stub) {
        std::vector<uint8_t> pdu(kRequestHeaderSize + stub, 0);
        EncodeRequestHeader(pdu.data(), flags, uint16_t(pdu.size()), callId, 0, 0, 0, nullptr);
        (void)!::send(fd, pdu.data(), pdu.size(), MSG_NOSIGNAL);
    }
    // Whether the server closed the connection (reading what it sent before), within 5 s.
    bool Closed() {
        uint8_t b[256];
        for (;;) {
            const ssize_t got = ::read(fd, b, sizeof b);
            if (got == 0) return true;
            if (got < 0) return errno == ECONNRESET;
        }
    }
    // The fault answering a call on `context` with `opnum`.
    FaultBody Call(uint16_t context, uint16_t opnum, uint32_t callId) {
        std::vector<uint8_t> pdu(kRequestHeaderSize + 8, 0);
        EncodeRequestHeader(pdu.data(), PFC_FIRST_FRAG | PFC_LAST_FRAG, uint16_t(pdu.size()), callId, 8, context, opnum,
                            nullptr);
        EXPECT_EQ(::write(fd, pdu.data(), pdu.size()), ssize_t(pdu.size()));
        PduHeader h;
        FaultBody f;
        EXPECT_TRUE(Read(h));
        EXPECT_EQ(h.type, PduType::Fault);
        EXPECT_EQ(DecodeFault(last.data(), h, f), PduError::None);
        flags = h.flags;
        return f;
    }

    Handler handler;
    RpcServerOptions options;
    std::unique_ptr<RpcServer> server;
    uint16_t port = 0;
    std::thread thread;
    int fd = -1;
    std::vector<uint8_t> last;
    uint8_t flags = 0;
};

TEST_F(ServerFault, ACallThatNeverRanSaysSoAndOneThatRanDoesNot) {
    Bind();
    PduHeader h;
    ASSERT_TRUE(Read(h));
    ASSERT_EQ(h.type, PduType::BindAck);
    EXPECT_EQ(Call(9, 0, 2).status, nca_s_fault_context_mismatch);  // a context never accepted
    EXPECT_TRUE(flags & PFC_DID_NOT_EXECUTE);
    EXPECT_EQ(Call(0, 7, 3).status, nca_s_op_rng_error);
    EXPECT_TRUE(flags & PFC_DID_NOT_EXECUTE);
    EXPECT_EQ(Call(0, 0, 4).status, nca_s_fault_ndr);
    EXPECT_FALSE(flags & PFC_DID_NOT_EXECUTE);
}

}  // namespace

namespace {

// EBCDIC characters or VAX floats: a valid representation this side does not read. The bind is
// answered, with the reason, and the connection ends; a representation that does not exist is
// not answered at all.
TEST_F(ServerFault, ABindInADataRepresentationNotServedIsRefusedWithItsReason) {
    for (auto [drep0, drep1] : {std::pair<uint8_t, uint8_t>{0x11, 0}, {0x10, 1}}) {
        SCOPED_TRACE(int(drep0) * 256 + drep1);
        Connect();
        Bind(drep0, drep1);
        PduHeader h;
        ASSERT_TRUE(Read(h));
        EXPECT_EQ(h.type, PduType::BindNak);
        BindNakBody nak;
        EXPECT_EQ(DecodeBindNak(last.data(), h, nak), PduError::None);
        EXPECT_EQ(nak.reason, kNakUserDataNotReadable);
        EXPECT_EQ(h.callId, 1u);
        uint8_t more;
        EXPECT_EQ(::read(fd, &more, 1), 0);  // closed
    }
    Connect();
    Bind(0x12, 0);
    uint8_t any;
    EXPECT_EQ(::read(fd, &any, 1), 0);
}

}  // namespace

namespace {

// One call of the served interface on `client`; `answered` tells whether the handler's own answer
// (a fault) came back, that is whether the call got in.
HRESULT CallServed(Association& client, bool* answered = nullptr) {
    uint8_t stub[8] = {};
    RpcRequest q;
    q.interface = kServed;
    q.stub = stub;
    q.stubLength = sizeof stub;
    RpcReply reply;
    const HRESULT hr = client.Call(q, reply);
    if (answered) *answered = reply.fault;
    std::free(reply.data);
    return hr;
}

// The same on a new association.
HRESULT CallServed(uint16_t port, bool* answered = nullptr) {
    Association client("127.0.0.1", port);
    return CallServed(client, answered);
}

// A server at its connection limit answers a new one with a bind_nak saying it is busy; the client
// tries again a few times, waiting longer each time, and gets in once a place is free.
TEST(ServerBusy, AServerAtItsLimitSaysSoAndTheClientTriesAgain) {
    RpcServerOptions options;
    options.maxConnections = 1;
    RpcServer server(options);
    Handler handler;
    uint16_t port = 0;
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, &handler, port, error)) << error;
    std::thread running([&] { server.Run(); });
    struct Stop {
        RpcServer& s;
        std::thread& t;
        ~Stop() {
            s.Stop();
            t.join();
        }
    } stop{server, running};

    // The only place taken by a connection that has not bound yet.
    int held = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(held, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server.ActiveConnections() < 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(server.ActiveConnections(), 1u);

    EXPECT_EQ(CallServed(port), RPC_S_SERVER_TOO_BUSY);
    EXPECT_NE(LastRpcErrorText().find("the server is busy (temporary congestion); tried 4 times: try again later"),
              std::string::npos)
        << LastRpcErrorText();
    EXPECT_EQ(server.RefusedConnections(), 4u);
    // The place comes free while the client waits between its tries.
    std::thread freeing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ::close(held);
    });
    bool answered = false;
    EXPECT_EQ(CallServed(port, &answered), S_OK) << LastRpcErrorText();
    EXPECT_TRUE(answered);
    freeing.join();
}

}  // namespace

namespace {

// Peers that hold a connection without using it: one that never binds, one that streams empty
// fragments of a request that never ends, one that sends more fragments than a request can have.
class TightServer : public ServerFault {
protected:
    TightServer() {
        options.bindTimeoutMs = 300;
        options.requestTimeoutMs = 600;
        options.maxRequest = 64;
    }
};

TEST_F(TightServer, AConnectionThatNeverBindsIsClosedSoon) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Closed());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(TightServer, ARequestHasOneTimeForAllItsFragments) {
    Bind();
    PduHeader h;
    ASSERT_TRUE(Read(h));
    const auto start = std::chrono::steady_clock::now();
    Fragment(PFC_FIRST_FRAG, 2, 0);
    // Fewer than the count allows, each well within any per-fragment wait.
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Fragment(0, 2, 0);
    }
    EXPECT_TRUE(Closed());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(550));
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(TightServer, MoreFragmentsThanARequestCanHaveAreRefused) {
    Bind();
    PduHeader h;
    ASSERT_TRUE(Read(h));
    Fragment(PFC_FIRST_FRAG, 2, 0);
    for (int i = 0; i < 20; ++i) Fragment(0, 2, 0);
    ASSERT_TRUE(Read(h));
    EXPECT_EQ(h.type, PduType::Fault);
    EXPECT_TRUE(h.flags & PFC_DID_NOT_EXECUTE);
    EXPECT_TRUE(Closed());
}

}  // namespace

#include "com/ObjectExporter.h"

namespace {

// Ping sets live for minutes after their last ping: one peer cannot make them without end, and
// the limit of one peer does not hold another.
TEST(PingSets, APeerKeepsABoundedNumberOfSetsAndAnotherPeerIsNotHeld) {
    ObjectExporter exporter;
    ComplexPingRequest q;
    ComplexPingReply a;
    for (size_t i = 0; i < ObjectExporter::kMaxSetsPerPeer; ++i) ASSERT_EQ(exporter.ComplexPing(q, a, "127.0.0.9"), 0u) << i;
    EXPECT_EQ(exporter.ComplexPing(q, a, "127.0.0.9"), uint32_t(E_OUTOFMEMORY));
    EXPECT_EQ(exporter.ComplexPing(q, a, "127.0.0.10"), 0u);
    // A set already made is still pinged.
    q.setId = a.setId;
    EXPECT_EQ(exporter.ComplexPing(q, a, "127.0.0.10"), 0u);
    EXPECT_EQ(exporter.SimplePing(a.setId), 0u);
}

}  // namespace

namespace {

// Bind-time feature negotiation: a context that offers it is acknowledged (none of the features
// taken) beside the context that binds the interface, which is accepted as usual.
TEST_F(ServerFault, FeatureNegotiationAtBindIsAcknowledged) {
    BindBody bind;
    bind.maxXmitFrag = bind.maxRecvFrag = 4280;
    bind.contexts.push_back(ContextElement{0, kServed, {kNdrSyntax}});
    const SyntaxId negotiate{MakeGuid(0x6CB71C2C, 0x9812, 0x4540, 0x03, 0x00, 0, 0, 0, 0, 0, 0), 1, 0};
    bind.contexts.push_back(ContextElement{1, kServed, {negotiate}});
    std::vector<uint8_t> pdu;
    EncodeBind(PduType::Bind, 1, bind, pdu);
    ASSERT_EQ(::write(fd, pdu.data(), pdu.size()), ssize_t(pdu.size()));
    PduHeader h;
    ASSERT_TRUE(Read(h));
    ASSERT_EQ(h.type, PduType::BindAck);
    BindAckBody ack;
    ASSERT_EQ(DecodeBindAck(last.data(), h, ack), PduError::None);
    ASSERT_EQ(ack.results.size(), 2u);
    EXPECT_EQ(ack.results[0].result, kResultAcceptance);
    EXPECT_EQ(ack.results[1].result, kResultNegotiateAck);
    EXPECT_EQ(ack.results[1].reason, 0);
    // The negotiating context binds nothing: a call on it never runs.
    EXPECT_EQ(Call(1, 0, 2).status, nca_s_fault_context_mismatch);
    EXPECT_EQ(Call(0, 0, 3).status, nca_s_fault_ndr);
}

}  // namespace

namespace {

// Places and memory a server shares among its peers: connections that sit with nothing under way
// give their place to a new one, and requests still arriving share one allowance of memory.
class SharedLimits : public ServerFault {
protected:
    SharedLimits() {
        options.maxConnections = 2;
        options.quietYieldMs = 300;
        options.maxRequest = 800;
        options.maxPendingBytes = 1000;
    }
    void TearDown() override {
        for (int other : others) ::close(other);
        ServerFault::TearDown();
    }
    // Keeps the current connection open and makes a new one the current.
    void Another() {
        others.push_back(fd);
        fd = -1;
        Connect();
    }
    void BindAndAck() {
        Bind();
        PduHeader h;
        ASSERT_TRUE(Read(h));
        ASSERT_EQ(h.type, PduType::BindAck);
    }
    std::vector<int> others;
};

TEST_F(SharedLimits, ConnectionsWithNothingUnderWayGiveTheirPlaceToANewOne) {
    BindAndAck();  // bound and idle
    Another();     // never binds
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server->ActiveConnections() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(server->ActiveConnections(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(CallServed(port), S_OK) << LastRpcErrorText();
    EXPECT_EQ(server->YieldedConnections(), 1u);
    EXPECT_EQ(server->RefusedConnections(), 0u);
}

TEST_F(SharedLimits, AConnectionInTheMiddleOfARequestKeepsItsPlace) {
    BindAndAck();
    Fragment(PFC_FIRST_FRAG, 2, 16);  // a request under way
    Another();
    BindAndAck();
    Fragment(PFC_FIRST_FRAG, 2, 16);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(CallServed(port), RPC_S_SERVER_TOO_BUSY);
    EXPECT_EQ(server->YieldedConnections(), 0u);
    // Both requests still complete.
    Fragment(PFC_LAST_FRAG, 2, 8);
    PduHeader h;
    ASSERT_TRUE(Read(h));
    EXPECT_EQ(h.type, PduType::Fault);
    EXPECT_FALSE(h.flags & PFC_DID_NOT_EXECUTE);  // the handler's own answer
}

TEST_F(SharedLimits, RequestsStillArrivingShareOneAllowance) {
    BindAndAck();
    Fragment(PFC_FIRST_FRAG, 2, 600);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server->PendingRequestBytes() < 600 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(server->PendingRequestBytes(), 600u);
    Another();
    BindAndAck();
    Fragment(PFC_FIRST_FRAG, 2, 600);  // 1,200 together: more than the allowance
    PduHeader h;
    ASSERT_TRUE(Read(h));
    EXPECT_EQ(h.type, PduType::Fault);
    EXPECT_TRUE(h.flags & PFC_DID_NOT_EXECUTE);
    EXPECT_TRUE(Closed());
    // The first is not held back, and what it held is given back once it ran.
    std::swap(fd, others.back());
    Fragment(PFC_LAST_FRAG, 2, 100);
    ASSERT_TRUE(Read(h));
    EXPECT_FALSE(h.flags & PFC_DID_NOT_EXECUTE);
    Fragment(PFC_FIRST_FRAG, 3, 700);
    Fragment(PFC_LAST_FRAG, 3, 100);
    ASSERT_TRUE(Read(h));
    EXPECT_EQ(h.type, PduType::Fault);
    EXPECT_FALSE(h.flags & PFC_DID_NOT_EXECUTE);
    EXPECT_EQ(server->PendingRequestBytes(), 0u);
}

// A server that closes a connection idle between two calls: the association sees it before the
// next call and connects again, instead of failing that call on the closed connection.
class IdleServer : public ServerFault {
protected:
    IdleServer() { options.idleTimeoutMs = 100; }
};

TEST_F(IdleServer, AConnectionClosedBetweenCallsIsMadeAgainBeforeTheNext) {
    Association client("127.0.0.1", port);
    bool answered = false;
    ASSERT_EQ(CallServed(client, &answered), S_OK) << LastRpcErrorText();
    EXPECT_TRUE(answered);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the server closed it meanwhile
    answered = false;
    EXPECT_EQ(CallServed(client, &answered), S_OK) << LastRpcErrorText();
    EXPECT_TRUE(answered);
}

}  // namespace
