// Arbitrary bytes as what a DCE/RPC peer sends: a PDU (header and body of every type), the DCOM
// messages carried in the stub data (activation, resolver, IRemUnknown, ORPC headers, OBJREF,
// string bindings), or a reply's stub data split into fragments for the reassembler.
// Input: selector byte (bits 0-1 the kind, bit 2 little-endian), an argument byte, then the bytes. Whatever decodes is encoded again and must decode to the
// same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "com/ActivationMessages.h"
#include "com/ObjRef.h"
#include "com/Orpc.h"
#include "com/RemUnknownMessages.h"
#include "com/ResolverMessages.h"
#include "com/RpcPdu.h"
#include "com/StringBindings.h"
#include "com/StubAssembler.h"

namespace {

using namespace com;
using namespace com::rpc;

void Check(bool ok) {
    if (!ok) std::abort();
}

void FuzzPdu(const uint8_t* p, size_t n) {
    PduHeader h;
    if (DecodeHeader(p, n, h) != PduError::None) return;
    if (h.fragLength > n) return;
    switch (h.type) {
    case PduType::Bind:
    case PduType::AlterContext: {
        BindBody b;
        if (DecodeBind(p, h, b) != PduError::None) return;
        std::vector<uint8_t> again;
        EncodeBind(h.type, h.callId, b, again);
        PduHeader h2;
        BindBody b2;
        Check(DecodeHeader(again.data(), again.size(), h2) == PduError::None);
        Check(DecodeBind(again.data(), h2, b2) == PduError::None);
        Check(b2.contexts.size() == b.contexts.size() && b2.maxRecvFrag == b.maxRecvFrag);
        break;
    }
    case PduType::BindAck:
    case PduType::AlterContextResp: {
        BindAckBody b;
        if (DecodeBindAck(p, h, b) != PduError::None) return;
        std::vector<uint8_t> again;
        EncodeBindAck(h.type, h.callId, b, again);
        PduHeader h2;
        BindAckBody b2;
        Check(DecodeHeader(again.data(), again.size(), h2) == PduError::None);
        Check(DecodeBindAck(again.data(), h2, b2) == PduError::None);
        Check(b2.results.size() == b.results.size() && b2.secondaryAddress == b.secondaryAddress);
        break;
    }
    case PduType::BindNak: {
        BindNakBody b;
        DecodeBindNak(p, h, b);
        break;
    }
    case PduType::Request: {
        RequestBody b;
        if (DecodeRequest(p, h, b) != PduError::None) return;
        Check(b.stubOffset + b.stubLength <= h.fragLength);
        break;
    }
    case PduType::Response: {
        ResponseBody b;
        if (DecodeResponse(p, h, b) != PduError::None) return;
        Check(b.stubOffset + b.stubLength <= h.fragLength);
        break;
    }
    case PduType::Fault: {
        FaultBody b;
        DecodeFault(p, h, b);
        break;
    }
    default:
        break;
    }
}

uint32_t Drep(uint8_t sel) {
    return (sel & 1) ? NDR_LOCAL_DATA_REPRESENTATION : NDR_BIG_ENDIAN_DATA_REPRESENTATION;
}

void FuzzMessage(uint8_t which, uint32_t drep, const uint8_t* p, size_t n) {
    NdrReader r(p, n, drep);
    switch (which % 16) {
    case 0: { ActivationRequest q; ReadActivationRequest(r, q); break; }
    case 1: { ActivationReply a; ReadActivationReply(r, a, 7); break; }
    case 2: { ResolveOxidRequest q; ReadResolveOxidRequest(r, q); break; }
    case 3: { ResolveOxidReply a; ReadResolveOxidReply(r, a, true); break; }
    case 4: { ResolveOxidReply a; ReadResolveOxidReply(r, a, false); break; }
    case 5: { ComplexPingRequest q; ReadComplexPingRequest(r, q); break; }
    case 6: { ComplexPingReply a; ReadComplexPingReply(r, a); break; }
    case 7: { ServerAlive2Reply a; ReadServerAlive2Reply(r, a); break; }
    case 8: { RemQueryInterfaceRequest q; ReadRemQueryInterfaceRequest(r, q); break; }
    case 9: { RemQueryInterfaceReply a; ReadRemQueryInterfaceReply(r, a, 3); break; }
    case 10: { RemRefsRequest q; ReadRemRefsRequest(r, q); break; }
    case 11: { RemQueryInterface2Reply a; ReadRemQueryInterface2Reply(r, a, 2); break; }
    case 12: { OrpcThis t; ReadOrpcThis(r, t); break; }
    case 13: {
        long len = OrpcThatLength(p, n, drep);
        Check(len <= long(n));
        OrpcThat t;
        ReadOrpcThat(r, t);
        break;
    }
    case 14: {
        ObjRefStandard ref;
        if (!DecodeObjRef(p, n, ref)) return;
        std::vector<uint8_t> again;
        EncodeObjRef(ref, again);
        ObjRefStandard ref2;
        Check(DecodeObjRef(again.data(), again.size(), ref2));
        Check(ref2.bindings == ref.bindings && ref2.securityOffset == ref.securityOffset);
        break;
    }
    default: {
        if (n < 2) return;
        uint16_t offset = uint16_t(p[0] | p[1] << 8);
        std::vector<uint16_t> units((n - 2) / 2);
        if (!units.empty()) std::memcpy(units.data(), p + 2, units.size() * 2);
        DualStringArray a;
        DecodeBindingUnits(units.data(), units.size(), offset, a);
        break;
    }
    }
}

long PrefixOfReply(const uint8_t* data, size_t n, uint32_t drep) { return OrpcThatLength(data, n, drep); }

// The stub data of one reply, cut where the input says, reassembled with an out byte array that
// lands in a buffer of its own.
void FuzzReassembly(uint8_t shape, uint32_t drep, const uint8_t* p, size_t n) {
    uint8_t target[512];
    ReplyPlacement place;
    place.target = target;
    place.capacity = shape & 0x80 ? 512 : 16;
    place.countOffset = (shape & 0x3) * 4;
    StubAssembler assembler(4096, drep, PrefixOfReply, (shape & 0x40) ? &place : nullptr);
    size_t at = 0;
    size_t cut = 1 + (shape & 0x3F);
    while (at < n) {
        size_t len = n - at < cut ? n - at : cut;
        if (assembler.Append(p + at, len) != StubAssembler::Status::Ok) return;
        at += len;
    }
    Check(assembler.Total() == n);
    Check(assembler.Size() <= n);
    if (assembler.Size() > 0) {
        volatile uint8_t last = assembler.Data()[assembler.Size() - 1];
        (void)last;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint8_t selector = data[0];
    uint8_t arg = data[1];
    const uint8_t* p = data + 2;
    size_t n = size - 2;
    // Copies of exactly the input's size, so a read past the end is seen.
    std::vector<uint8_t> bytes(p, p + n);
    const uint8_t* b = bytes.empty() ? nullptr : bytes.data();
    switch (selector & 3) {
    case 0: FuzzPdu(b, n); break;
    case 1: FuzzMessage(arg, Drep(selector >> 2), b, n); break;
    default: FuzzReassembly(arg, Drep(selector >> 2), b, n); break;
    }
    return 0;
}
