// Byte-exact NDR of requests and replies, worked out by hand from the NDR 1.1 rules: little-
// endian; a primitive aligned to its size from the start of the stub data, padding zero; a
// conformant array = long max count, elements; a string = max count, offset 0, actual count,
// units with the NUL; a unique pointer = a long referent id (0 = null), then the referent.
// Every vector is checked in both directions: the proxy writes the request and reads the reply,
// the stub reads the request and writes the same reply.
#include <gtest/gtest.h>

#include <cstring>

#include "ProxyFixture.h"

using namespace proxytest;

namespace {

class Golden : public ProxyFixture {};


const GUID kGuid = MakeGuid(0x01020304, 0x0506, 0x0708, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10);

// P1: in long, in/out long, out bytes[value behind 2].
TEST_F(Golden, P1) {
    const Bytes request = {
        0x44, 0x33, 0x22, 0x11,  // 0: a1 = 0x11223344
        0x08, 0x00, 0x00, 0x00,  // 4: *a2 = 8, the capacity; out bytes send nothing
    };
    const Bytes reply = {
        0x03, 0x00, 0x00, 0x00,  // 0: *a2 = 3 filled
        0x03, 0x00, 0x00, 0x00,  // 4: max count 3 = *a2
        0xAA, 0xBB, 0xCC,        // 8..10
        0x00,                    // 11: pad to 12 for the long
        0x00, 0x00, 0x00, 0x00,  // 12: S_OK
    };
    channel.reply = reply;
    int32_t len = 8;
    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(Proxy<IZentControlI>(IID_IZentControlI)->Method3(0x11223344, &len, buf), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(channel.method, 3u);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0xAA, 0xBB, 0xCC, 0xEE}));

    EXPECT_EQ(Stub(IID_IZentControlI, 3, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(A<int32_t>(a, 0), 0x11223344);
                       int32_t* n = A<int32_t*>(a, 1);
                       EXPECT_EQ(*n, 8);
                       *n = 3;
                       std::memcpy(A<uint8_t*>(a, 2), "\xAA\xBB\xCC", 3);
                       return S_OK;
                   }),
              reply);
}

// P4: in long L, in bytes[L], in/out long, out bytes[value behind 3].
TEST_F(Golden, P4ResetExtension) {
    const Bytes request = {
        0x03, 0x00, 0x00, 0x00,  // 0: a1 = 3
        0x03, 0x00, 0x00, 0x00,  // 4: max count 3 = a1
        0x31, 0x32, 0x33,        // 8..10: "123", no NUL
        0x00,                    // 11: pad to 12
        0x06, 0x00, 0x00, 0x00,  // 12: *a3 = 6
    };
    const Bytes reply = {
        0x02, 0x00, 0x00, 0x00,  // 0: *a3 = 2
        0x02, 0x00, 0x00, 0x00,  // 4: max count 2
        0x6F, 0x6B,              // 8..9: "ok"
        0x00, 0x00,              // 10..11: pad
        0x00, 0x00, 0x00, 0x00,  // 12: S_OK
    };
    channel.reply = reply;
    int32_t len = 6;
    uint8_t out[6] = {};
    EXPECT_EQ(Proxy<IZentControlI>(IID_IZentControlI)->ResetExtension(3, reinterpret_cast<const uint8_t*>("123"), &len, out), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(channel.method, 13u);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(std::memcmp(out, "ok", 2), 0);

    EXPECT_EQ(Stub(IID_IZentControlI, 13, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(std::memcmp(A<const uint8_t*>(a, 1), "123", 3), 0);
                       *A<int32_t*>(a, 2) = 2;
                       std::memcpy(A<uint8_t*>(a, 3), "ok", 2);
                       return S_OK;
                   }),
              reply);
}

// P9: in small, three in strings.
TEST_F(Golden, P9MailboxShare) {
    const Bytes request = {
        0x01,                    // 0: a1 = 1 (small)
        0x00, 0x00, 0x00,        // 1..3: pad to 4
        0x03, 0x00, 0x00, 0x00,  // 4: max count 3 ("ab" + NUL)
        0x00, 0x00, 0x00, 0x00,  // 8: offset 0
        0x03, 0x00, 0x00, 0x00,  // 12: actual count 3
        0x61, 0x62, 0x00,        // 16..18
        0x00,                    // 19: pad to 20
        0x01, 0x00, 0x00, 0x00,  // 20: "" is max count 1
        0x00, 0x00, 0x00, 0x00,  // 24: offset 0
        0x01, 0x00, 0x00, 0x00,  // 28: actual 1
        0x00,                    // 32: the NUL
        0x00, 0x00, 0x00,        // 33..35: pad to 36
        0x04, 0x00, 0x00, 0x00,  // 36: "xyz" max count 4
        0x00, 0x00, 0x00, 0x00,  // 40: offset 0
        0x04, 0x00, 0x00, 0x00,  // 44: actual 4
        0x78, 0x79, 0x7A, 0x00,  // 48..51
    };
    const Bytes reply = {0xAA, 0x00, 0x00, 0x00};  // 0: result 170 (share in use)
    channel.reply = reply;
    EXPECT_EQ(Proxy<IZentControlI>(IID_IZentControlI)->MailboxShare(1, "ab", "", "xyz"), 170);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(channel.method, 26u);

    EXPECT_EQ(Stub(IID_IZentControlI, 26, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(A<int8_t>(a, 0), 1);
                       EXPECT_STREQ(A<const char*>(a, 1), "ab");
                       EXPECT_STREQ(A<const char*>(a, 2), "");
                       EXPECT_STREQ(A<const char*>(a, 3), "xyz");
                       return HRESULT(170);
                   }),
              reply);
}

// P10: in string, out long, out long.
TEST_F(Golden, P10) {
    const Bytes request = {
        0x02, 0x00, 0x00, 0x00,  // 0: max count 2
        0x00, 0x00, 0x00, 0x00,  // 4: offset 0
        0x02, 0x00, 0x00, 0x00,  // 8: actual 2
        0x41, 0x00,              // 12..13: "A" + NUL
    };
    const Bytes reply = {
        0x04, 0x03, 0x02, 0x01,  // 0: *a2 = 0x01020304
        0xFF, 0xFF, 0xFF, 0xFF,  // 4: *a3 = -1
        0x00, 0x00, 0x00, 0x00,  // 8: S_OK
    };
    channel.reply = reply;
    int32_t x = 0, y = 0;
    EXPECT_EQ(Proxy<IZentGetI>(IID_IZentGetI)->Method13("A", &x, &y), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(x, 0x01020304);
    EXPECT_EQ(y, -1);

    EXPECT_EQ(Stub(IID_IZentGetI, 13, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_STREQ(A<const char*>(a, 0), "A");
                       *A<int32_t*>(a, 1) = 0x01020304;
                       *A<int32_t*>(a, 2) = -1;
                       return S_OK;
                   }),
              reply);
}

// P12: out small, out {long, long}, out {long, long}; nothing in the request.
TEST_F(Golden, P12) {
    const Bytes reply = {
        0x7F,                    // 0: *a1 = 127
        0x00, 0x00, 0x00,        // 1..3: pad, the struct is 4-aligned
        0x01, 0x00, 0x00, 0x00,  // 4: a2 = {1,
        0x02, 0x00, 0x00, 0x00,  // 8:       2}
        0xFE, 0xFF, 0xFF, 0xFF,  // 12: a3 = {-2,
        0x10, 0x00, 0x00, 0x00,  // 16:       16}
        0x01, 0x00, 0x00, 0x00,  // 20: S_FALSE
    };
    channel.reply = reply;
    int8_t s = 0;
    ZentLongPair p, q;
    EXPECT_EQ(Proxy<IZentGetI>(IID_IZentGetI)->Method19(&s, &p, &q), S_FALSE);
    EXPECT_TRUE(channel.request.empty());
    EXPECT_EQ(s, 127);
    EXPECT_EQ(p.first, 1);
    EXPECT_EQ(p.second, 2);
    EXPECT_EQ(q.first, -2);
    EXPECT_EQ(q.second, 16);

    EXPECT_EQ(Stub(IID_IZentGetI, 19, {},
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       *A<int8_t*>(a, 0) = 127;
                       *A<ZentLongPair*>(a, 1) = {1, 2};
                       *A<ZentLongPair*>(a, 2) = {-2, 16};
                       return S_FALSE;
                   }),
              reply);
}

// P13: in/out long, out {long, long}[value behind 1].
const Bytes kP13Reply = {
    0x02, 0x00, 0x00, 0x00,  // 0: *a1 = 2 items
    0x02, 0x00, 0x00, 0x00,  // 4: max count 2 (items, not bytes)
    0x01, 0x00, 0x00, 0x00,  // 8: {1,
    0x02, 0x00, 0x00, 0x00,  // 12:  2}
    0x03, 0x00, 0x00, 0x00,  // 16: {3,
    0x04, 0x00, 0x00, 0x00,  // 20:  4}
    0x00, 0x00, 0x00, 0x00,  // 24: S_OK
};

TEST_F(Golden, P13) {
    const Bytes request = {0x04, 0x00, 0x00, 0x00};  // 0: *a1 = 4, the capacity in items
    channel.reply = kP13Reply;
    int32_t n = 4;
    ZentLongPair items[4];
    EXPECT_EQ(Proxy<IZentGetI>(IID_IZentGetI)->Method20(&n, items), S_OK);
    EXPECT_EQ(channel.request, request);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(items[1].first, 3);
    EXPECT_EQ(items[1].second, 4);

    EXPECT_EQ(Stub(IID_IZentGetI, 20, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       int32_t* count = A<int32_t*>(a, 0);
                       EXPECT_EQ(*count, 4);
                       *count = 2;
                       ZentLongPair* p = A<ZentLongPair*>(a, 1);
                       p[0] = {1, 2};
                       p[1] = {3, 4};
                       return S_OK;
                   }),
              kP13Reply);
}

// The same reply in big-endian integer order decodes to the same values.
TEST_F(Golden, P13BigEndianReply) {
    channel.reply = {
        0x00, 0x00, 0x00, 0x02,  // *a1 = 2
        0x00, 0x00, 0x00, 0x02,  // max count 2
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02,
        0x00, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0xFF, 0xFC,  // {3, -4}
        0x00, 0x00, 0x00, 0x01,  // S_FALSE
    };
    channel.replyDrep = NDR_BIG_ENDIAN_DATA_REPRESENTATION;
    int32_t n = 4;
    ZentLongPair items[4];
    EXPECT_EQ(Proxy<IZentGetI>(IID_IZentGetI)->Method20(&n, items), S_FALSE);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(items[0].second, 2);
    EXPECT_EQ(items[1].first, 3);
    EXPECT_EQ(items[1].second, -4);
}

// P29: in long, in IZentAdviseSink (unique pointer to MInterfacePointer), out long.
TEST_F(Golden, P29) {
    const Bytes request = {
        0x05, 0x00, 0x00, 0x00,  // 0: a1 = 5
        0x00, 0x00, 0x02, 0x00,  // 4: referent id 0x00020000
        0x08, 0x00, 0x00, 0x00,  // 8: max count of abData = 8
        0x08, 0x00, 0x00, 0x00,  // 12: ulCntData = 8
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // 16..23: the channel's OBJREF bytes
    };
    const Bytes reply = {
        0x09, 0x00, 0x00, 0x00,  // 0: *a3 = 9
        0x00, 0x00, 0x00, 0x00,  // 4: S_OK
    };
    channel.reply = reply;
    shapetest::RecordingSink sink;
    int32_t cookie = 0;
    auto status = Proxy<IZentStatusI>(IID_IZentStatusI);
    EXPECT_EQ(status->Method3(5, &sink, &cookie), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(cookie, 9);
    EXPECT_EQ(channel.marshal.marshaled, 1);

    // A null sink is the null unique pointer: referent id 0 and nothing after it.
    EXPECT_EQ(status->Method3(5, nullptr, &cookie), S_OK);
    EXPECT_EQ(channel.request, (Bytes{0x05, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Stub(IID_IZentStatusI, 3, channel.request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(A<IZentAdviseSink*>(a, 1), nullptr);
                       *A<int32_t*>(a, 2) = 9;
                       return S_OK;
                   }),
              reply);
}

// P31: in GUID by value, in/out string, in/out long.
TEST_F(Golden, P31) {
    const Bytes request = {
        0x04, 0x03, 0x02, 0x01,  // 0: Data1 0x01020304 (long)
        0x06, 0x05, 0x08, 0x07,  // 4: Data2 0x0506, Data3 0x0708 (shorts)
        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,  // 8..15: Data4
        0x04, 0x00, 0x00, 0x00,  // 16: max count 4 ("abc" + NUL)
        0x00, 0x00, 0x00, 0x00,  // 20: offset
        0x04, 0x00, 0x00, 0x00,  // 24: actual
        0x61, 0x62, 0x63, 0x00,  // 28..31
        0x07, 0x00, 0x00, 0x00,  // 32: *a3 = 7
    };
    const Bytes reply = {
        0x02, 0x00, 0x00, 0x00,  // 0: max count 2 ("Z" + NUL)
        0x00, 0x00, 0x00, 0x00,  // 4: offset
        0x02, 0x00, 0x00, 0x00,  // 8: actual
        0x5A, 0x00,              // 12..13
        0x00, 0x00,              // 14..15: pad
        0x08, 0x00, 0x00, 0x00,  // 16: *a3 = 8
        0x00, 0x00, 0x00, 0x00,  // 20: S_OK
    };
    channel.reply = reply;
    char text[4] = "abc";
    int32_t v = 7;
    auto hw = Proxy<IZentHWConfigI>(IID_IZentHWConfigI);
    EXPECT_EQ(hw->Method3(kGuid, text, &v), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_STREQ(text, "Z");
    EXPECT_EQ(v, 8);

    EXPECT_EQ(Stub(IID_IZentHWConfigI, 3, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(A<GUID>(a, 0), kGuid);
                       char* s = A<char*>(a, 1);
                       EXPECT_STREQ(s, "abc");
                       std::strcpy(s, "Z");
                       *A<int32_t*>(a, 2) += 1;
                       return S_OK;
                   }),
              reply);

    // A returned string longer than the one sent would overrun the caller's buffer: refused,
    // the caller's string and long stay as they were.
    channel.reply = {0x05, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0, 0, 'A', 'B', 'C', 'D', 0, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0};
    char again[4] = "abc";
    v = 7;
    EXPECT_EQ(hw->Method3(kGuid, again, &v), RPC_X_BAD_STUB_DATA);
    EXPECT_STREQ(again, "abc");
    EXPECT_EQ(v, 7);
}

// P33: GUID, wide string, three longs, in/out long, in/out bytes[value behind 6].
TEST_F(Golden, P33) {
    const Bytes request = {
        0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,
        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,  // 0..15: GUID
        0x03, 0x00, 0x00, 0x00,  // 16: max count 3 units (u"Hi" + NUL)
        0x00, 0x00, 0x00, 0x00,  // 20: offset
        0x03, 0x00, 0x00, 0x00,  // 24: actual
        0x48, 0x00, 0x69, 0x00, 0x00, 0x00,  // 28..33: 16-bit units
        0x00, 0x00,              // 34..35: pad
        0x01, 0x00, 0x00, 0x00,  // 36: a3
        0x02, 0x00, 0x00, 0x00,  // 40: a4
        0x03, 0x00, 0x00, 0x00,  // 44: a5
        0x03, 0x00, 0x00, 0x00,  // 48: *a6 = 3
        0x03, 0x00, 0x00, 0x00,  // 52: max count 3
        0x01, 0x02, 0x03,        // 56..58
    };
    const Bytes reply = {
        0x02, 0x00, 0x00, 0x00,  // 0: *a6 = 2
        0x02, 0x00, 0x00, 0x00,  // 4: max count 2
        0x09, 0x08,              // 8..9
        0x00, 0x00,              // 10..11: pad
        0x00, 0x00, 0x00, 0x00,  // 12: S_OK
    };
    channel.reply = reply;
    int32_t n = 3;
    uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(Proxy<IZentHWConfigI>(IID_IZentHWConfigI)->Method5(kGuid, u"Hi", 1, 2, 3, &n, data), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Bytes(data, data + 3), (Bytes{9, 8, 3}));

    EXPECT_EQ(Stub(IID_IZentHWConfigI, 5, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(std::u16string(A<const char16_t*>(a, 1)), u"Hi");
                       EXPECT_EQ(A<int32_t>(a, 4), 3);
                       *A<int32_t*>(a, 5) = 2;
                       uint8_t* d = A<uint8_t*>(a, 6);
                       d[0] = 9;
                       d[1] = 8;
                       return S_OK;
                   }),
              reply);
}

// P42: in string, in/out long, in long by reference, out bytes[value behind 3].
TEST_F(Golden, P42ReadExtData) {
    const Bytes request = {
        0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // 0..11: string header
        0x37, 0x00,              // 12..13: "7" + NUL
        0x00, 0x00,              // 14..15: pad
        0x00, 0x00, 0x00, 0x00,  // 16: *a2 = 0
        0x04, 0x00, 0x00, 0x00,  // 20: *a3 = 4 (sent only)
    };
    const Bytes reply = {
        0x10, 0x00, 0x00, 0x00,  // 0: *a2 = 16
        0x04, 0x00, 0x00, 0x00,  // 4: max count 4 = *a3
        0xDE, 0xAD, 0xBE, 0xEF,  // 8..11
        0x00, 0x00, 0x00, 0x00,  // 12: S_OK
    };
    channel.reply = reply;
    int32_t cookie = 0;
    const int32_t len = 4;
    uint8_t out[4] = {};
    EXPECT_EQ(Proxy<IZentOKLInterface>(IID_IZentOKLInterface)->ReadExtData("7", &cookie, &len, out), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(channel.method, 22u);
    EXPECT_EQ(cookie, 16);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));

    EXPECT_EQ(Stub(IID_IZentOKLInterface, 22, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       EXPECT_EQ(*A<const int32_t*>(a, 2), 4);
                       *A<int32_t*>(a, 1) = 16;
                       std::memcpy(A<uint8_t*>(a, 3), "\xDE\xAD\xBE\xEF", 4);
                       return S_OK;
                   }),
              reply);
}

// P52: out char[64] (reply only, all 64), in/out long, out long, out bytes[value behind 2].
TEST_F(Golden, P52) {
    const Bytes request = {0x02, 0x00, 0x00, 0x00};  // 0: *a2 = 2; the char[64] is not sent
    Bytes reply = {'h', 'i'};
    reply.resize(64, 0);  // 0..63: all 64 chars, zero after what the server wrote
    const Bytes tail = {
        0x01, 0x00, 0x00, 0x00,  // 64: *a2 = 1
        0x05, 0x00, 0x00, 0x00,  // 68: *a3 = 5
        0x01, 0x00, 0x00, 0x00,  // 72: max count 1
        0x42,                    // 76
        0x00, 0x00, 0x00,        // 77..79: pad
        0x00, 0x00, 0x00, 0x00,  // 80: S_OK
    };
    reply.insert(reply.end(), tail.begin(), tail.end());
    channel.reply = reply;
    char name[64];
    std::memset(name, 'x', sizeof name);
    int32_t n = 2, v = 0;
    uint8_t out[2] = {};
    EXPECT_EQ(Proxy<IZentOKLInterface>(IID_IZentOKLInterface)->Method53(name, &n, &v, out), S_OK);
    EXPECT_EQ(channel.request, request);
    EXPECT_EQ(Bytes(name, name + 64), Bytes(reply.begin(), reply.begin() + 64));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(out[0], 0x42);

    EXPECT_EQ(Stub(IID_IZentOKLInterface, 53, request,
                   [](int, uint32_t, const zent::ShapeDesc&, const void* const* a) {
                       std::memcpy(A<char*>(a, 0), "hi", 2);  // fewer than 64
                       *A<int32_t*>(a, 1) = 1;
                       *A<int32_t*>(a, 2) = 5;
                       A<uint8_t*>(a, 3)[0] = 0x42;
                       return S_OK;
                   }),
              reply);
}

}  // namespace
