// What the server half answers a call that never ran: a fault flagged did-not-execute, so that the
// client knows a retry is safe; a fault from a call that ran carries no such flag.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>
#include <vector>

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
        ASSERT_TRUE(server.Listen("127.0.0.1", 0, &handler, port, error)) << error;
        thread = std::thread([this] { server.Run(); });
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
        server.Stop();
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
    RpcServer server;
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
