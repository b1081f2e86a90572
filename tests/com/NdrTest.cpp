// The NDR writer and reader on their own: alignment from the stream origin, byte orders, and the
// checks every count and string goes through.
#include <gtest/gtest.h>

#include "com/Guid.h"
#include "com/NdrReader.h"
#include "com/NdrWriter.h"
#include "com/ObjRef.h"
#include "com/RpcMessage.h"
#include "com/Unknown.h"

using namespace com;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Write(void (*fill)(NdrWriter&), size_t origin = 0) {
    NdrWriter sizer(nullptr, 0, origin);
    fill(sizer);
    Bytes out(sizer.Size());
    NdrWriter w(out.data(), out.size(), origin);
    fill(w);
    EXPECT_TRUE(w.Ok());
    return out;
}

TEST(NdrWriter, AlignsFromTheStreamOriginWithZeroPadding) {
    auto fill = [](NdrWriter& w) {
        w.Byte(0xAB);   // 0
        w.Short(0x1234);  // pad 1, then 2..3
        w.Small(-1);    // 4
        w.Long(-2);     // pad 5..7, then 8..11
        w.Small(1);     // 12
        w.Hyper(0x0102030405060708ull);  // pad 13..15, then 16..23
    };
    EXPECT_EQ(Write(fill), (Bytes{0xAB, 0, 0x34, 0x12, 0xFF, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0,
                                  8, 7, 6, 5, 4, 3, 2, 1}));
    // A buffer that starts 2 bytes into the stream: the short needs no pad, the long needs 2 after
    // the small at stream offset 4.
    auto fill2 = [](NdrWriter& w) {
        w.Short(1);  // stream 2..3
        w.Small(2);  // stream 4
        w.Long(3);   // pad stream 5..7, long at 8
    };
    EXPECT_EQ(Write(fill2, 2), (Bytes{1, 0, 2, 0, 0, 0, 3, 0, 0, 0}));
}

TEST(NdrWriter, RefusesToWritePastItsBuffer) {
    uint8_t buf[6];
    NdrWriter w(buf, sizeof buf);
    w.Long(1);
    w.Long(2);
    EXPECT_EQ(w.Error(), NdrError::Overflow);
}

TEST(NdrReader, BigEndianIntegersAndGuid) {
    const Bytes be = {0x12, 0x34, 0, 0, 0x01, 0x02, 0x03, 0x04,
                      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 9, 10, 11, 12, 13, 14, 15, 16};
    NdrReader r(be.data(), be.size(), NDR_BIG_ENDIAN_DATA_REPRESENTATION);
    int16_t s;
    int32_t l;
    GUID g;
    ASSERT_TRUE(r.Short(s) && r.Long(l) && r.Guid(g));
    EXPECT_EQ(s, 0x1234);
    EXPECT_EQ(l, 0x01020304);
    EXPECT_EQ(GuidToString(g), "{01020304-0506-0708-090A-0B0C0D0E0F10}");
}

TEST(NdrReader, DataRepresentationsOtherThanAsciiIeeeAreRefused) {
    const uint8_t b[4] = {};
    int32_t v;
    EXPECT_EQ(NdrReader(b, 4, 0x01).Error(), NdrError::UnsupportedCharFormat);
    EXPECT_EQ(NdrReader(b, 4, 0x10 | 0x0100).Error(), NdrError::UnsupportedFloatFormat);
    EXPECT_EQ(NdrReader(b, 4, 0x20).Error(), NdrError::UnsupportedIntegerFormat);
    NdrReader ok(b, 4, 0x10);
    EXPECT_TRUE(ok.Long(v));
    EXPECT_FALSE(ok.Long(v));
    EXPECT_EQ(ok.Error(), NdrError::Truncated);
}

TEST(NdrReader, StringChecks) {
    auto read = [](const Bytes& b, uint32_t capacity = 100) {
        NdrReader r(b.data(), b.size(), NDR_LOCAL_DATA_REPRESENTATION);
        const char* p;
        uint32_t n;
        r.StringView(p, n, capacity);
        return r.Error();
    };
    EXPECT_EQ(read({3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 0}), NdrError::None);
    EXPECT_EQ(read({3, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0}), NdrError::None);  // max above actual is NDR
    EXPECT_EQ(read({3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 0}, 2), NdrError::CapacityExceeded);
    EXPECT_EQ(read({2, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 0}), NdrError::BadString);
    EXPECT_EQ(read({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), NdrError::BadString);
    EXPECT_EQ(read({3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'a', 0}), NdrError::BadCount);
    EXPECT_EQ(read({3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}), NdrError::BadString);
    EXPECT_EQ(read({3, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}), NdrError::BadString);
    EXPECT_EQ(read({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}, 0xFFFFFFFF), NdrError::Truncated);
}

TEST(NdrReader, WideStringInBothByteOrders) {
    const Bytes le = {3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0x2D, 0x4E, 'x', 0, 0, 0};
    const Bytes be = {0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 3, 0x4E, 0x2D, 0, 'x', 0, 0};
    std::u16string a, b;
    NdrReader(le.data(), le.size(), NDR_LOCAL_DATA_REPRESENTATION).WString(a, 10);
    NdrReader(be.data(), be.size(), NDR_BIG_ENDIAN_DATA_REPRESENTATION).WString(b, 10);
    EXPECT_EQ(a, u"\u4e2dx");
    EXPECT_EQ(b, a);
}

TEST(NdrReader, InterfacePointerRoundTripWithObjRef) {
    STDOBJREF std;
    std.oxid = 7;
    std.oid = 9;
    Bytes objref;
    EncodeObjRef(MakeObjRefStandard(IID_IUnknown, std), objref);
    ASSERT_EQ(objref.size(), 76u);  // 24 header + 40 STDOBJREF + 4 + 4 x 2 DUALSTRINGARRAY
    Bytes buf(200);
    NdrWriter w(buf.data(), buf.size());
    w.InterfacePointer(objref.data(), uint32_t(objref.size()));
    w.InterfacePointer(nullptr, 0);
    NdrReader r(buf.data(), w.Size(), NDR_LOCAL_DATA_REPRESENTATION);
    const uint8_t* p;
    uint32_t n;
    ASSERT_TRUE(r.InterfacePointer(p, n, 1000));
    ObjRefStandard back;
    ASSERT_TRUE(DecodeObjRef(p, n, back));
    EXPECT_EQ(back.std.oid, 9u);
    EXPECT_EQ(back.iid, IID_IUnknown);
    ASSERT_TRUE(r.InterfacePointer(p, n, 1000));
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(DecodeObjRef(objref.data(), objref.size() - 1, back));
    objref[0] ^= 1;
    EXPECT_FALSE(DecodeObjRef(objref.data(), objref.size(), back));
}

TEST(Guid, TextAndByteOrder) {
    GUID g;
    ASSERT_TRUE(GuidFromString("{65a7fd93-20b8-11d1-a586-00a024582de0}", g));
    EXPECT_EQ(GuidToString(g), "{65A7FD93-20B8-11D1-A586-00A024582DE0}");
    uint8_t b[16];
    GuidToBytes(g, b);
    EXPECT_EQ(b[0], 0x93);  // Data1 little-endian
    EXPECT_EQ(b[8], 0xA5);
    EXPECT_FALSE(GuidFromString("65A7FD93-20B8-11D1-A586-00A024582DE0", g));
    EXPECT_FALSE(GuidFromString("{65A7FD93-20B8-11D1-A586-00A024582DEG}", g));
    // Byte-wise order of the binary form, not of the text.
    GUID lo = MakeGuid(0xFF000000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), hi = MakeGuid(0x00000001, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_LT(GuidCompare(lo, hi), 0);
}

}  // namespace
