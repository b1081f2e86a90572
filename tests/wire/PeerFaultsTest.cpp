// A server that breaks the protocol: the client's call fails with a text that says how, never
// hangs past its timeout, and the next call starts on a fresh connection.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>

#include "ScriptedPeer.h"
#include "com/Association.h"
#include "com/RpcError.h"
#include "com/RpcPdu.h"

namespace wiretest {
namespace {

using namespace com;
using namespace com::rpc;

const SyntaxId kTestInterface{MakeGuid(0x12345678, 0x1234, 0x5678, 1, 2, 3, 4, 5, 6, 7, 8), 0, 0};
constexpr uint16_t kPeerPort = 1136;

std::vector<uint8_t> BindAck(uint32_t callId, uint16_t maxXmit = 1432, uint16_t maxRecv = 1432) {
    BindAckBody ack;
    ack.maxXmitFrag = maxXmit;
    ack.maxRecvFrag = maxRecv;
    ack.assocGroup = 0x55;
    ack.secondaryAddress = "1136";
    ack.results.push_back({kResultAcceptance, kReasonNotSpecified, kNdrSyntax});
    std::vector<uint8_t> pdu;
    EncodeBindAck(PduType::BindAck, callId, ack, pdu);
    return pdu;
}

std::vector<uint8_t> Response(uint32_t callId, const std::vector<uint8_t>& stub, uint8_t flags = PFC_FIRST_FRAG | PFC_LAST_FRAG,
                              size_t claimedLength = 0) {
    std::vector<uint8_t> pdu(kResponseHeaderSize);
    const size_t length = claimedLength ? claimedLength : kResponseHeaderSize + stub.size();
    EncodeResponseHeader(pdu.data(), flags, uint16_t(length), callId, uint32_t(stub.size()), 0);
    pdu.insert(pdu.end(), stub.begin(), stub.end());
    return pdu;
}

// Binds, then answers the request with whatever `answer` makes of it.
std::function<void(int)> BindThen(std::function<void(int fd, const std::vector<uint8_t>& request)> answer) {
    return [answer](int fd) {
        auto bind = ScriptedPeer::ReadPdu(fd);
        if (bind.empty() || !ScriptedPeer::WriteAll(fd, BindAck(ScriptedPeer::CallId(bind)))) return;
        auto request = ScriptedPeer::ReadPdu(fd);
        if (!request.empty()) answer(fd, request);
    };
}

// Answers every bind with a bind_nak for `reason`.
std::function<void(int)> RefuseBind(uint16_t reason) {
    return [reason](int fd) {
        auto bind = ScriptedPeer::ReadPdu(fd);
        std::vector<uint8_t> nak;
        EncodeBindNak(ScriptedPeer::CallId(bind), BindNakBody{reason, {{5, 0}}}, nak);
        ScriptedPeer::WriteAll(fd, nak);
    };
}

class PeerFaults : public ::testing::Test {
protected:
    void SetUp() override { setenv("QOB_CALL_TIMEOUT_MS", "2000", 1); }
    void TearDown() override {
        unsetenv("QOB_CALL_TIMEOUT_MS");
        std::free(reply.data);
    }

    HRESULT CallPeer(const std::string& address) {
        const std::vector<uint8_t> stub(16, 0xAB);
        RpcRequest q;
        q.interface = kTestInterface;
        q.opnum = 3;
        q.stub = stub.data();
        q.stubLength = stub.size();
        Association a(address, kPeerPort);
        std::free(reply.data);
        reply = RpcReply{};
        const auto start = std::chrono::steady_clock::now();
        HRESULT hr = a.Call(q, reply);
        took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        return hr;
    }
    bool ErrorSays(const std::string& text) const { return LastRpcErrorText().find(text) != std::string::npos; }

    RpcReply reply;
    std::chrono::milliseconds took{0};
};

TEST_F(PeerFaults, AWellBehavedPeerIsAnswered) {
    ScriptedPeer peer("127.0.0.111", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req), {1, 2, 3, 4}));
    }));
    ASSERT_TRUE(peer.Listening());
    ASSERT_EQ(CallPeer("127.0.0.111"), S_OK) << LastRpcErrorText();
    EXPECT_FALSE(reply.fault);
    ASSERT_EQ(reply.size, 4u);
    EXPECT_EQ(reply.data[3], 4);
}

TEST_F(PeerFaults, FragmentSizesOutsideTheRangeAreRefused) {
    setenv("QOB_RPC_MAX_FRAGMENT", "4096", 1);
    ScriptedPeer peer("127.0.0.112", kPeerPort, [](int fd) {
        auto bind = ScriptedPeer::ReadPdu(fd);
        ScriptedPeer::WriteAll(fd, BindAck(ScriptedPeer::CallId(bind), 8192, 4096));  // sends more than we take
        ScriptedPeer::ReadPdu(fd);
    });
    EXPECT_EQ(CallPeer("127.0.0.112"), RPC_S_PROTOCOL_ERROR);
    unsetenv("QOB_RPC_MAX_FRAGMENT");
    EXPECT_TRUE(ErrorSays("127.0.0.112 port 1136: the server proposed fragment sizes 8192/4096")) << LastRpcErrorText();
}

TEST_F(PeerFaults, AReplyToAnotherCallIsRefused) {
    ScriptedPeer peer("127.0.0.113", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req) + 7, {0, 0, 0, 0}));
    }));
    EXPECT_EQ(CallPeer("127.0.0.113"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("while call")) << LastRpcErrorText();
}

TEST_F(PeerFaults, AFragmentLongerThanNegotiatedIsRefused) {
    ScriptedPeer peer("127.0.0.114", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req), std::vector<uint8_t>(2000, 7)));
    }));
    EXPECT_EQ(CallPeer("127.0.0.114"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("a fragment of 2024 bytes, longer than the 1432 negotiated")) << LastRpcErrorText();
}

TEST_F(PeerFaults, MalformedAndUnexpectedPdusAreRefused) {
    ScriptedPeer bad("127.0.0.115", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        auto pdu = Response(ScriptedPeer::CallId(req), {0, 0, 0, 0});
        pdu[0] = 4;  // protocol version 4
        ScriptedPeer::WriteAll(fd, pdu);
    }));
    EXPECT_EQ(CallPeer("127.0.0.115"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("malformed PDU from the server")) << LastRpcErrorText();

    ScriptedPeer unexpected("127.0.0.116", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        ScriptedPeer::WriteAll(fd, BindAck(ScriptedPeer::CallId(req)));  // a bind_ack as the reply
    }));
    EXPECT_EQ(CallPeer("127.0.0.116"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("unexpected PDU type 12 in a reply")) << LastRpcErrorText();

    ScriptedPeer shortLength("127.0.0.117", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req), {}, PFC_FIRST_FRAG | PFC_LAST_FRAG, 12));
    }));
    EXPECT_EQ(CallPeer("127.0.0.117"), RPC_S_PROTOCOL_ERROR);
}

// A valid representation this side does not read, and a bind refused: said as such, not as malformed.
TEST_F(PeerFaults, AnUnservedDataRepresentationAndARefusedBindAreSaidAsSuch) {
    ScriptedPeer ebcdic("127.0.0.131", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        auto pdu = Response(ScriptedPeer::CallId(req), {0, 0, 0, 0});
        pdu[4] = 0x11;  // EBCDIC characters
        ScriptedPeer::WriteAll(fd, pdu);
    }));
    EXPECT_EQ(CallPeer("127.0.0.131"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("the server's data representation is not supported: only ASCII characters and IEEE floating point are"))
        << LastRpcErrorText();
    EXPECT_FALSE(ErrorSays("malformed")) << LastRpcErrorText();

    ScriptedPeer busy("127.0.0.132", kPeerPort, RefuseBind(kNakTemporaryCongestion));
    EXPECT_EQ(CallPeer("127.0.0.132"), RPC_S_SERVER_TOO_BUSY);
    EXPECT_TRUE(ErrorSays("the server is busy (temporary congestion); tried 4 times: try again later"))
        << LastRpcErrorText();

    ScriptedPeer refusing("127.0.0.133", kPeerPort, RefuseBind(kNakProtocolVersionNotSupported));
    EXPECT_EQ(CallPeer("127.0.0.133"), RPC_S_PROTOCOL_ERROR);
    EXPECT_TRUE(ErrorSays("the server refused the bind: the protocol version is not supported (reason 4)"))
        << LastRpcErrorText();
}

TEST_F(PeerFaults, APeerThatLeavesMidReplyFailsTheCall) {
    ScriptedPeer peer("127.0.0.118", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        // The first of several fragments, then the connection ends.
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req), std::vector<uint8_t>(800, 1), PFC_FIRST_FRAG));
    }));
    EXPECT_EQ(CallPeer("127.0.0.118"), RPC_S_CALL_FAILED);
    EXPECT_TRUE(ErrorSays("connection closed by the peer")) << LastRpcErrorText();
}

TEST_F(PeerFaults, ASilentPeerTimesOut) {
    setenv("QOB_CALL_TIMEOUT_MS", "300", 1);
    ScriptedPeer peer("127.0.0.119", kPeerPort, BindThen([](int, const std::vector<uint8_t>&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }));
    EXPECT_EQ(CallPeer("127.0.0.119"), RPC_S_CALL_FAILED);
    EXPECT_LT(took.count(), 700);
    EXPECT_TRUE(ErrorSays("no answer within 300 ms")) << LastRpcErrorText();
}

// A reply that stops part-way or never ends says how far it got, not that nothing came.
TEST_F(PeerFaults, AReplyCutShortOrWithoutEndSaysHowFarItGot) {
    setenv("QOB_CALL_TIMEOUT_MS", "300", 1);
    ScriptedPeer halfHeader("127.0.0.134", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        auto pdu = Response(ScriptedPeer::CallId(req), {0, 0, 0, 0});
        pdu.resize(7);
        ScriptedPeer::WriteAll(fd, pdu);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }));
    EXPECT_EQ(CallPeer("127.0.0.134"), RPC_S_CALL_FAILED);
    EXPECT_TRUE(ErrorSays("a PDU was cut short: 7 of its 16 header bytes arrived, then nothing (no answer within 300 ms)"))
        << LastRpcErrorText();

    ScriptedPeer halfBody("127.0.0.135", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        auto pdu = Response(ScriptedPeer::CallId(req), std::vector<uint8_t>(400, 1));
        pdu.resize(200);
        ScriptedPeer::WriteAll(fd, pdu);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }));
    EXPECT_EQ(CallPeer("127.0.0.135"), RPC_S_CALL_FAILED);
    EXPECT_TRUE(ErrorSays("the reply was cut short: its data stopped arriving within 300 ms")) << LastRpcErrorText();

    ScriptedPeer endless("127.0.0.136", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        const uint32_t id = ScriptedPeer::CallId(req);
        bool first = true;
        for (int i = 0; i < 40; ++i, first = false) {
            if (!ScriptedPeer::WriteAll(fd, Response(id, std::vector<uint8_t>(16, 2), first ? PFC_FIRST_FRAG : 0))) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }));
    EXPECT_EQ(CallPeer("127.0.0.136"), RPC_S_CALL_FAILED);
    EXPECT_TRUE(ErrorSays("the reply did not end within 300 ms: ")) << LastRpcErrorText();
    EXPECT_FALSE(ErrorSays("no answer")) << LastRpcErrorText();
}

TEST_F(PeerFaults, AFaultIsTheCallsResult) {
    ScriptedPeer peer("127.0.0.126", kPeerPort, BindThen([](int fd, const std::vector<uint8_t>& req) {
        std::vector<uint8_t> pdu;
        EncodeFault(ScriptedPeer::CallId(req), 0, 0x80010108, false, pdu);
        ScriptedPeer::WriteAll(fd, pdu);
    }));
    ASSERT_EQ(CallPeer("127.0.0.126"), S_OK);
    EXPECT_TRUE(reply.fault);
    EXPECT_EQ(reply.faultStatus, 0x80010108u);
}

TEST_F(PeerFaults, ACallAfterABreakStartsAFreshConnection) {
    std::atomic<int> connection{0};
    ScriptedPeer peer("127.0.0.127", kPeerPort, [&](int fd) {
        const int n = ++connection;
        auto bind = ScriptedPeer::ReadPdu(fd);
        ScriptedPeer::WriteAll(fd, BindAck(ScriptedPeer::CallId(bind)));
        auto req = ScriptedPeer::ReadPdu(fd);
        if (n == 1) return;  // hangs up on the first call
        ScriptedPeer::WriteAll(fd, Response(ScriptedPeer::CallId(req), {9, 9, 9, 9}));
    });
    const std::vector<uint8_t> stub(8, 0);
    RpcRequest q;
    q.interface = kTestInterface;
    q.stub = stub.data();
    q.stubLength = stub.size();
    Association a("127.0.0.127", kPeerPort);
    RpcReply r1, r2;
    EXPECT_EQ(a.Call(q, r1), RPC_S_CALL_FAILED);
    EXPECT_EQ(a.Call(q, r2), S_OK) << LastRpcErrorText();
    EXPECT_EQ(r2.size, 4u);
    std::free(r1.data);
    std::free(r2.data);
    EXPECT_EQ(peer.Accepted(), 2);
}

}  // namespace
}  // namespace wiretest
