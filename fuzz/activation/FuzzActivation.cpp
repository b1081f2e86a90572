// Arbitrary bytes as activation properties (the OBJREF_CUSTOM a RemoteCreateInstance or
// RemoteGetClassObject carries, in or out) or as the calls' NDR around them. Whatever decodes is
// within the limits, and encoded again decodes to the same fields.
// Input: selector byte (bits 0-1 the kind, bits 2-3 how many interfaces a reply answers less one,
// bit 4 little-endian, bit 5 RemoteCreateInstance), then the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "com/ActivationProperties.h"
#include "com/Unknown.h"

namespace {

using namespace com;

void Check(bool ok) {
    if (!ok) std::abort();
}

const IID kIids[4] = {
    IID_IUnknown,
    MakeGuid(0x65A7FD93, 0x20B8, 0x11D1, 0xA5, 0x86, 0x00, 0xA0, 0x24, 0x58, 0x2D, 0xE0),
    MakeGuid(0x65A7FD94, 0x20B8, 0x11D1, 0xA5, 0x86, 0x00, 0xA0, 0x24, 0x58, 0x2D, 0xE0),
    MakeGuid(0x65A7FD95, 0x20B8, 0x11D1, 0xA5, 0x86, 0x00, 0xA0, 0x24, 0x58, 0x2D, 0xE0),
};

void FuzzIn(const uint8_t* p, size_t n) {
    ActivationRequest q;
    const HRESULT hr = DecodeActivationPropertiesIn(p, n, q);
    Check(hr == S_OK || hr == E_INVALIDARG || hr == E_NOTIMPL);
    if (hr != S_OK) return;
    Check(!q.iids.empty() && q.iids.size() <= kMaxActivationInterfaces && q.protseqs.size() <= kMaxProtseqs);
    const std::vector<uint8_t> again = EncodeActivationPropertiesIn(q);
    ActivationRequest q2;
    Check(DecodeActivationPropertiesIn(again.data(), again.size(), q2) == S_OK);
    Check(q2.clsid == q.clsid && q2.iids == q.iids && q2.protseqs == q.protseqs && q2.impLevel == q.impLevel);
}

void FuzzOut(size_t count, const uint8_t* p, size_t n) {
    const std::vector<IID> iids(kIids, kIids + count);
    ActivationReply a;
    if (!DecodeActivationPropertiesOut(p, n, iids, a)) return;
    Check(a.results.size() == count && a.interfaces.size() == count);
    const std::vector<uint8_t> again = EncodeActivationPropertiesOut(a, iids);
    ActivationReply a2;
    Check(DecodeActivationPropertiesOut(again.data(), again.size(), iids, a2));
    Check(a2.oxid == a.oxid && a2.results == a.results && a2.interfaces == a.interfaces &&
          a2.bindings.strings.size() == a.bindings.strings.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t sel = data[0];
    const uint8_t* p = data + 1;
    const size_t n = size - 1;
    const uint32_t drep = (sel & 0x10) ? 0x10 : 0x00;
    switch (sel & 3) {
    case 0: FuzzIn(p, n); break;
    case 1: FuzzOut(((sel >> 2) & 3) + 1, p, n); break;
    case 2: {
        NdrReader r(p, n, drep);
        ScmActivationRequest q;
        if (ReadScmActivationRequest(r, q, (sel & 0x20) != 0)) FuzzIn(q.properties.data(), q.properties.size());
        break;
    }
    default: {
        NdrReader r(p, n, drep);
        ScmActivationReply a;
        if (ReadScmActivationReply(r, a)) FuzzOut(1, a.properties.data(), a.properties.size());
        break;
    }
    }
    return 0;
}
