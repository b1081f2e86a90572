// PDUs as a peer in the other byte order sends them: a big-endian bind and bind_ack decode to the
// same syntaxes and versions as their little-endian twins.
#include <gtest/gtest.h>

#include <vector>

#include "com/DcomIds.h"
#include "com/RpcPdu.h"

namespace {

using namespace com;
using namespace com::rpc;

// Big-endian fields, in the order they are appended.
struct BigEndianPdu {
    std::vector<uint8_t> b;
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
    void U32(uint32_t v) { b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }
    void Syntax(const GUID& g, uint16_t major, uint16_t minor) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        b.insert(b.end(), g.Data4, g.Data4 + 8);
        U32(uint32_t(minor) << 16 | major);
    }
    void Header(uint8_t type, uint32_t callId) {
        b.insert(b.end(), {5, 0, type, 0x03, 0x00, 0x00, 0x00, 0x00});
        U16(0);  // the length, set when done
        U16(0);
        U32(callId);
    }
    const std::vector<uint8_t>& Done() {
        b[8] = uint8_t(b.size() >> 8);
        b[9] = uint8_t(b.size());
        return b;
    }
};

TEST(Pdu, ABigEndianBindAndBindAckCarryTheSameVersionsAsLittleEndianOnes) {
    BigEndianPdu bind;
    bind.Header(11, 7);
    bind.U16(5840);
    bind.U16(5840);
    bind.U32(0);
    bind.U8(1);
    bind.U8(0);
    bind.U16(0);
    bind.U16(0);  // context 0
    bind.U8(1);
    bind.U8(0);
    bind.Syntax(IID_IRemUnknown, 0, 0);
    bind.Syntax(kNdrSyntax.uuid, 2, 0);
    const std::vector<uint8_t>& p = bind.Done();
    PduHeader h;
    ASSERT_EQ(DecodeHeader(p.data(), p.size(), h), PduError::None);
    BindBody body;
    ASSERT_EQ(DecodeBind(p.data(), h, body), PduError::None);
    ASSERT_EQ(body.contexts.size(), 1u);
    EXPECT_TRUE(body.contexts[0].abstractSyntax == (SyntaxId{IID_IRemUnknown, 0, 0}));
    ASSERT_EQ(body.contexts[0].transferSyntaxes.size(), 1u);
    EXPECT_TRUE(body.contexts[0].transferSyntaxes[0] == kNdrSyntax);
    EXPECT_EQ(body.contexts[0].transferSyntaxes[0].major, 2);

    // A version with both halves set shows which half is which.
    BigEndianPdu ack;
    ack.Header(12, 7);
    ack.U16(5840);
    ack.U16(5840);
    ack.U32(0x1234);
    ack.U16(4);
    ack.b.insert(ack.b.end(), {'1', '3', '5', 0, 0, 0});  // padded to 4
    ack.U8(1);
    ack.U8(0);
    ack.U16(0);
    ack.U16(0);
    ack.U16(0);
    ack.Syntax(kNdrSyntax.uuid, 2, 1);
    const std::vector<uint8_t>& q = ack.Done();
    ASSERT_EQ(DecodeHeader(q.data(), q.size(), h), PduError::None);
    BindAckBody answer;
    ASSERT_EQ(DecodeBindAck(q.data(), h, answer), PduError::None);
    EXPECT_EQ(answer.secondaryAddress, "135");
    ASSERT_EQ(answer.results.size(), 1u);
    EXPECT_EQ(answer.results[0].transferSyntax.major, 2);
    EXPECT_EQ(answer.results[0].transferSyntax.minor, 1);
}

}  // namespace
