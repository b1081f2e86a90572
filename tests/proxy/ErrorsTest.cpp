// Failures on both ends: nothing is sent for a null reference, a reply never writes past the
// caller's buffers, unsupported data representations are refused, malformed requests get a
// fault without reaching the server.
#include <gtest/gtest.h>

#include <cstring>

#include "ProxyFixture.h"
#include "com/NdrTypes.h"

using namespace proxytest;

namespace {

class Errors : public ProxyFixture {};

TEST_F(Errors, NullReferenceFailsBeforeSending) {
    auto get = Proxy<IZentGetI>(IID_IZentGetI);
    uint8_t buf[4];
    EXPECT_EQ(get->GetSystemConfig(nullptr, buf), RPC_X_NULL_REF_POINTER);
    int32_t len = 4;
    EXPECT_EQ(get->GetSystemConfig(&len, nullptr), RPC_X_NULL_REF_POINTER);
    EXPECT_EQ(Proxy<IZentControlI>(IID_IZentControlI)->MailboxShare(1, "a", nullptr, "b"), RPC_X_NULL_REF_POINTER);
    int32_t out = 7;
    EXPECT_EQ(get->Method13(nullptr, &out, &out), RPC_X_NULL_REF_POINTER);
    EXPECT_EQ(out, 0);  // out values cleared
    EXPECT_EQ(channel.sends, 0);
    // A negative count is refused as well, before sending.
    len = -1;
    EXPECT_EQ(get->GetSystemConfig(&len, buf), RPC_S_INVALID_BOUND);
    EXPECT_EQ(channel.sends, 0);
}

TEST_F(Errors, EmptyArrayComesBackWithServerResult) {
    channel.reply = {0, 0, 0, 0, /*count*/ 0, 0, 0, 0, /*E_OUTOFMEMORY*/ 0x0E, 0x00, 0x07, 0x80};
    int32_t len = 16;
    uint8_t buf[16];
    EXPECT_EQ(Proxy<IZentGetI>(IID_IZentGetI)->GetExtensionList(&len, buf), E_OUTOFMEMORY);
    EXPECT_EQ(len, 0);
}

TEST_F(Errors, ReplyBeyondCapacityIsRefused) {
    auto get = Proxy<IZentGetI>(IID_IZentGetI);
    uint8_t guarded[12];
    std::memset(guarded, 0x77, sizeof guarded);
    int32_t len = 4;
    // The server claims 8 bytes for a 4-byte buffer.
    channel.reply = {8, 0, 0, 0, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    EXPECT_EQ(get->GetWorkgroupList(&len, guarded), RPC_X_BAD_STUB_DATA);
    EXPECT_EQ(len, 0);  // nothing filled
    for (int i = 4; i < 12; ++i) EXPECT_EQ(guarded[i], 0x77) << i;

    // A count that disagrees with the returned length.
    len = 4;
    channel.reply = {2, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0};
    EXPECT_EQ(get->GetWorkgroupList(&len, guarded), RPC_X_BAD_STUB_DATA);

    // P13 items: 5 items for a capacity of 1.
    int32_t n = 1;
    ZentLongPair items[2];
    items[1] = {0x55, 0x55};
    channel.reply = {5, 0, 0, 0, 5, 0, 0, 0};
    channel.reply.resize(8 + 40 + 4);
    EXPECT_EQ(get->Method20(&n, items), RPC_X_BAD_STUB_DATA);
    EXPECT_EQ(items[1].first, 0x55);
}

TEST_F(Errors, TruncatedReplyAndFaults) {
    auto get = Proxy<IZentGetI>(IID_IZentGetI);
    int32_t x = 1, y = 1;
    channel.reply = {4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};  // HRESULT cut short
    EXPECT_EQ(get->Method13("A", &x, &y), RPC_X_BAD_STUB_DATA);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    channel.fault = RPC_S_PROCNUM_OUT_OF_RANGE;
    EXPECT_EQ(get->Method13("A", &x, &y), RPC_S_PROCNUM_OUT_OF_RANGE);
}

TEST_F(Errors, UnsupportedDataRepresentation) {
    auto get = Proxy<IZentGetI>(IID_IZentGetI);
    channel.reply = {4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    int32_t x = 1, y = 1;
    channel.replyDrep = 0x00000011;  // little-endian, EBCDIC
    EXPECT_EQ(get->Method13("A", &x, &y), RPC_S_UNSUPPORTED_TRANS_SYN);
    EXPECT_EQ(x, 0);
    channel.replyDrep = 0x00000110;  // little-endian, ASCII, VAX floating point
    EXPECT_EQ(get->Method13("A", &x, &y), RPC_S_UNSUPPORTED_TRANS_SYN);
    EXPECT_EQ(NdrErrorText(NdrError::UnsupportedCharFormat), std::string(
        "unsupported NDR character format (only ASCII is accepted, not EBCDIC)"));
}

// Malformed requests: a fault code, and the server never called.
TEST_F(Errors, MalformedRequestsFault) {
    int called = 0;
    auto server = [&](int, uint32_t, const zent::ShapeDesc&, const void* const*) {
        ++called;
        return S_OK;
    };
    HRESULT fault = S_OK;
    // P22 ReplaceExtension: length 4, array of 3.
    EXPECT_TRUE(Stub(IID_IZentChangeI, 6, {4, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3}, server, &fault).empty());
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    // Array running past the end.
    Stub(IID_IZentChangeI, 6, {4, 0, 0, 0, 4, 0, 0, 0, 1, 2}, server, &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    // P2 with a negative capacity, and with one above the allocation bound.
    Stub(IID_IZentGetI, 4, {0xFF, 0xFF, 0xFF, 0xFF}, server, &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    Stub(IID_IZentGetI, 4, {0xFF, 0xFF, 0xFF, 0x7F}, server, &fault);
    EXPECT_EQ(fault, E_OUTOFMEMORY);
    // Strings: offset not 0; actual above max; no NUL.
    Stub(IID_IZentGetI, 13, {2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'A', 0}, server, &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    Stub(IID_IZentGetI, 13, {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'A', 0}, server, &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    Stub(IID_IZentGetI, 13, {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'A', 'B'}, server, &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    // Unknown method numbers, and an EBCDIC request.
    Stub(IID_IZentGetI, 28, {}, server, &fault);
    EXPECT_EQ(fault, RPC_S_PROCNUM_OUT_OF_RANGE);
    Stub(IID_IZentGetI, 1, {}, server, &fault);
    EXPECT_EQ(fault, RPC_S_PROCNUM_OUT_OF_RANGE);
    Stub(IID_IZentGetI, 4, {4, 0, 0, 0}, server, &fault, 0x00000011);
    EXPECT_EQ(fault, RPC_S_UNSUPPORTED_TRANS_SYN);
    EXPECT_EQ(called, 0);
}

// A server that reports more than its buffer holds gets a fault, not an overread.
TEST_F(Errors, ServerResultBeyondBufferFaults) {
    HRESULT fault = S_OK;
    Stub(IID_IZentGetI, 4, {4, 0, 0, 0},
         [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
             **static_cast<int32_t* const*>(a[0]) = 5000;
             return S_OK;
         },
         &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
    // An in/out string whose NUL the server overwrote.
    const Bytes p31 = {4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16,
                       2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 0, 0, 7, 0, 0, 0};
    Stub(IID_IZentHWConfigI, 3, p31,
         [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
             std::memset(*static_cast<char* const*>(a[1]), 'q', 2);
             return S_OK;
         },
         &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
}

// A large out array goes to the server inside the reply buffer: what the server leaves unwritten
// goes back as zeros (never old heap bytes), the reply is as long as the count it returns, and a
// count above the capacity is still refused.
TEST_F(Errors, LargeOutArrayWrittenInPlace) {
    const Bytes request = {0x00, 0x20, 0x00, 0x00};  // GetExtensionList, capacity 8192
    auto claim = [](int32_t count, uint8_t fill) {
        return [count, fill](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
            uint8_t* out = *static_cast<uint8_t* const*>(a[1]);
            std::memset(out, fill, 100);  // the first 100 bytes only
            **static_cast<int32_t* const*>(a[0]) = count;
            return S_OK;
        };
    };
    // Old heap contents where the reply buffer will come from.
    for (int i = 0; i < 4; ++i) {
        void* p = std::malloc(9000);
        std::memset(p, 0xEE, 9000);
        std::free(p);
    }
    HRESULT fault = E_FAIL;
    Bytes reply = Stub(IID_IZentGetI, 5, request, claim(6000, 0x41), &fault);
    ASSERT_EQ(fault, S_OK);
    ASSERT_EQ(reply.size(), 4u + 4u + 6000u + 4u);  // count, conformance, elements, result
    EXPECT_EQ(reply[4] | reply[5] << 8, 6000);
    EXPECT_EQ(reply[8], 0x41);
    EXPECT_EQ(reply[107], 0x41);
    size_t nonZero = 0;
    for (size_t i = 108; i < 8 + 6000; ++i) nonZero += reply[i] != 0;
    EXPECT_EQ(nonZero, 0u);
    Stub(IID_IZentGetI, 5, request, claim(8193, 0x41), &fault);
    EXPECT_EQ(fault, RPC_X_BAD_STUB_DATA);
}

}  // namespace
