#include "com/RpcPdu.h"

#include <cstring>

namespace com::rpc {

const SyntaxId kNdrSyntax{MakeGuid(0x8A885D04, 0x1CEB, 0x11C9, 0x9F, 0xE8, 0x08, 0x00, 0x2B, 0x10, 0x48, 0x60), 2, 0};

bool operator==(const SyntaxId& a, const SyntaxId& b) {
    return a.uuid == b.uuid && a.major == b.major && a.minor == b.minor;
}

const char* PduErrorText(PduError e) {
    switch (e) {
    case PduError::None: return "no error";
    case PduError::Truncated: return "the PDU ends before its body does";
    case PduError::BadVersion: return "the PDU is not of RPC protocol version 5.0 or 5.1";
    case PduError::BadDataRep: return "the PDU's data representation names a format that does not exist";
    case PduError::UnsupportedDataRep:
        return "data representation is not supported: only ASCII characters and IEEE floating point are";
    case PduError::BadLength: return "the PDU's fragment length does not add up";
    case PduError::Authenticated: return "the PDU carries authentication, which was not negotiated";
    case PduError::BadBody: return "the PDU's body holds a count or field that does not add up";
    }
    return "unknown PDU error";
}

const char* BindNakReasonText(uint16_t reason) {
    switch (reason) {
    case kNakTemporaryCongestion: return "the server is busy (temporary congestion)";
    case kNakLocalLimitExceeded: return "the server's limit is reached";
    case kNakProtocolVersionNotSupported: return "the protocol version is not supported";
    case kNakUserDataNotReadable: return "the server cannot read this side's data representation";
    case kNakAuthenticationTypeNotRecognized: return "the authentication type is not recognized";
    default: return "no reason given";
    }
}

namespace {

// Reads the fields of one PDU in its sender's byte order; the first overrun sticks.
class Cursor {
public:
    Cursor(const uint8_t* p, size_t n, size_t pos, bool bigEndian) : m_p(p), m_n(n), m_pos(pos), m_be(bigEndian) {}

    bool Ok() const { return m_ok; }
    size_t Pos() const { return m_pos; }
    bool Skip(size_t k) {
        if (!m_ok || k > m_n - m_pos) return m_ok = false;
        m_pos += k;
        return true;
    }
    // Padding to a multiple of k counted from the start of the PDU.
    bool Align(size_t k) { return Skip((k - m_pos % k) % k); }
    uint8_t U8() {
        if (!Skip(1)) return 0;
        return m_p[m_pos - 1];
    }
    uint16_t U16() {
        if (!Skip(2)) return 0;
        const uint8_t* q = m_p + m_pos - 2;
        return m_be ? uint16_t(q[0] << 8 | q[1]) : uint16_t(q[1] << 8 | q[0]);
    }
    uint32_t U32() {
        if (!Skip(4)) return 0;
        const uint8_t* q = m_p + m_pos - 4;
        return m_be ? uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]
                    : uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
    }
    // A UUID is an NDR structure {long, short, short, byte[8]}: its integers follow the byte order.
    GUID Uuid() {
        GUID g;
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        if (Skip(8)) std::memcpy(g.Data4, m_p + m_pos - 8, 8);
        return g;
    }
    SyntaxId Syntax() {
        SyntaxId s;
        s.uuid = Uuid();
        // One 32-bit version, major in its low half: in big-endian data the halves swap places.
        const uint32_t version = U32();
        s.major = uint16_t(version & 0xFFFF);
        s.minor = uint16_t(version >> 16);
        return s;
    }
    const uint8_t* Here() const { return m_p + m_pos; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos;
    bool m_be;
    bool m_ok = true;
};

bool BigEndian(const PduHeader& h) { return (h.drep & 0xF0) == 0; }

void Put8(std::vector<uint8_t>& o, uint8_t v) { o.push_back(v); }
void Put16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void PutSyntax(std::vector<uint8_t>& o, const SyntaxId& s) {
    uint8_t b[16];
    GuidToBytes(s.uuid, b);
    o.insert(o.end(), b, b + 16);
    Put16(o, s.major);
    Put16(o, s.minor);
}
void PadTo4(std::vector<uint8_t>& o, size_t start) {
    while ((o.size() - start) % 4) o.push_back(0);
}

// Starts a PDU in out; returns its offset so the fragment length can be set at the end.
size_t BeginPdu(std::vector<uint8_t>& o, PduType type, uint8_t flags, uint32_t callId) {
    size_t start = o.size();
    Put8(o, 5);
    Put8(o, 0);
    Put8(o, uint8_t(type));
    Put8(o, flags);
    Put32(o, kDrepLittleEndian);
    Put16(o, 0);  // fragment length, set by EndPdu
    Put16(o, 0);  // no authentication
    Put32(o, callId);
    return start;
}

void EndPdu(std::vector<uint8_t>& o, size_t start) {
    size_t len = o.size() - start;
    o[start + 8] = uint8_t(len);
    o[start + 9] = uint8_t(len >> 8);
}

void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void WriteCommonHeader(uint8_t* out, PduType type, uint8_t flags, uint16_t fragLength, uint32_t callId) {
    out[0] = 5;
    out[1] = 0;
    out[2] = uint8_t(type);
    out[3] = flags;
    WriteU32(out + 4, kDrepLittleEndian);
    WriteU16(out + 8, fragLength);
    WriteU16(out + 10, 0);
    WriteU32(out + 12, callId);
}

// The end of a PDU's body: before the authentication verifier (an 8-byte trailer plus the
// credentials) when there is one.
bool BodyEnd(const PduHeader& h, size_t& end) {
    end = h.fragLength;
    if (h.authLength == 0) return true;
    size_t trailer = size_t(h.authLength) + 8;
    if (trailer > end - kHeaderSize) return false;
    end -= trailer;
    return true;
}

}  // namespace

PduError DecodeHeader(const uint8_t* p, size_t n, PduHeader& h) {
    if (!p || n < kHeaderSize) return PduError::Truncated;
    if (p[0] != 5 || p[1] > 1) return PduError::BadVersion;
    h.versionMinor = p[1];
    h.type = PduType(p[2]);
    h.flags = p[3];
    const uint8_t integer = p[4] >> 4, character = p[4] & 0xF, floating = p[5];
    // Integers in either order; characters ASCII (0) or EBCDIC (1); floats IEEE, VAX, Cray or IBM.
    if (integer > 1 || character > 1 || floating > 3) return PduError::BadDataRep;
    h.drep = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    Cursor c(p, n, 8, integer == 0);
    h.fragLength = c.U16();
    h.authLength = c.U16();
    h.callId = c.U32();
    if (h.fragLength < kHeaderSize) return PduError::BadLength;
    // The header is read whole first, so that a bind can be answered with its call id.
    if (character != 0 || floating != 0) return PduError::UnsupportedDataRep;
    return PduError::None;
}

// Fragment sizes and association group, which bind and bind_ack bodies begin with.
template <class Body>
void ReadSizes(Cursor& c, Body& out) {
    out.maxXmitFrag = c.U16();
    out.maxRecvFrag = c.U16();
    out.assocGroup = c.U32();
}

template <class Body>
void PutSizes(std::vector<uint8_t>& o, const Body& body) {
    Put16(o, body.maxXmitFrag);
    Put16(o, body.maxRecvFrag);
    Put32(o, body.assocGroup);
}

PduError DecodeBind(const uint8_t* p, const PduHeader& h, BindBody& out) {
    size_t end;
    if (!BodyEnd(h, end)) return PduError::BadLength;
    Cursor c(p, end, kHeaderSize, BigEndian(h));
    ReadSizes(c, out);
    const uint8_t count = c.U8();
    c.Skip(3);
    if (!c.Ok()) return PduError::Truncated;
    out.contexts.clear();
    for (uint8_t i = 0; i < count; ++i) {
        ContextElement e;
        e.contextId = c.U16();
        const uint8_t transfers = c.U8();
        c.Skip(1);
        e.abstractSyntax = c.Syntax();
        if (!c.Ok()) return PduError::Truncated;
        if (transfers == 0) return PduError::BadBody;
        for (uint8_t t = 0; t < transfers; ++t) e.transferSyntaxes.push_back(c.Syntax());
        if (!c.Ok()) return PduError::Truncated;
        out.contexts.push_back(std::move(e));
    }
    return PduError::None;
}

PduError DecodeBindAck(const uint8_t* p, const PduHeader& h, BindAckBody& out) {
    size_t end;
    if (!BodyEnd(h, end)) return PduError::BadLength;
    Cursor c(p, end, kHeaderSize, BigEndian(h));
    ReadSizes(c, out);
    const uint16_t addrLength = c.U16();
    const uint8_t* addr = c.Here();
    if (!c.Skip(addrLength)) return PduError::Truncated;
    // The port text ends in its NUL; an empty address has length 0.
    if (addrLength > 0 && addr[addrLength - 1] != 0) return PduError::BadBody;
    out.secondaryAddress.assign(reinterpret_cast<const char*>(addr), addrLength ? addrLength - 1 : 0);
    if (out.secondaryAddress.find('\0') != std::string::npos) return PduError::BadBody;
    c.Align(4);
    const uint8_t count = c.U8();
    c.Skip(3);
    if (!c.Ok()) return PduError::Truncated;
    out.results.clear();
    for (uint8_t i = 0; i < count; ++i) {
        ContextResult r;
        r.result = c.U16();
        r.reason = c.U16();
        r.transferSyntax = c.Syntax();
        if (!c.Ok()) return PduError::Truncated;
        out.results.push_back(r);
    }
    return PduError::None;
}

PduError DecodeBindNak(const uint8_t* p, const PduHeader& h, BindNakBody& out) {
    Cursor c(p, h.fragLength, kHeaderSize, BigEndian(h));
    out.reason = c.U16();
    if (!c.Ok()) return PduError::Truncated;
    out.versions.clear();
    // The version list is optional in older peers.
    if (c.Pos() >= h.fragLength) return PduError::None;
    const uint8_t count = c.U8();
    for (uint8_t i = 0; i < count && c.Ok(); ++i) {
        uint8_t major = c.U8(), minor = c.U8();
        if (c.Ok()) out.versions.emplace_back(major, minor);
    }
    return c.Ok() ? PduError::None : PduError::Truncated;
}

PduError DecodeRequest(const uint8_t* p, const PduHeader& h, RequestBody& out) {
    if (h.authLength != 0) return PduError::Authenticated;
    Cursor c(p, h.fragLength, kHeaderSize, BigEndian(h));
    out.allocHint = c.U32();
    out.contextId = c.U16();
    out.opnum = c.U16();
    out.hasObject = (h.flags & PFC_OBJECT_UUID) != 0;
    out.object = GUID{};
    if (out.hasObject) out.object = c.Uuid();
    if (!c.Ok()) return PduError::Truncated;
    out.stubOffset = c.Pos();
    out.stubLength = h.fragLength - c.Pos();
    return PduError::None;
}

PduError DecodeResponse(const uint8_t* p, const PduHeader& h, ResponseBody& out) {
    if (h.authLength != 0) return PduError::Authenticated;
    Cursor c(p, h.fragLength, kHeaderSize, BigEndian(h));
    out.allocHint = c.U32();
    out.contextId = c.U16();
    out.cancelCount = c.U8();
    c.Skip(1);
    if (!c.Ok()) return PduError::Truncated;
    out.stubOffset = c.Pos();
    out.stubLength = h.fragLength - c.Pos();
    return PduError::None;
}

PduError DecodeFault(const uint8_t* p, const PduHeader& h, FaultBody& out) {
    size_t end;
    if (!BodyEnd(h, end)) return PduError::BadLength;
    Cursor c(p, end, kHeaderSize, BigEndian(h));
    out.allocHint = c.U32();
    out.contextId = c.U16();
    out.cancelCount = c.U8();
    out.flags = c.U8();
    out.status = c.U32();
    c.Skip(4);
    return c.Ok() ? PduError::None : PduError::Truncated;
}

void EncodeBind(PduType type, uint32_t callId, const BindBody& body, std::vector<uint8_t>& out) {
    size_t start = BeginPdu(out, type, PFC_FIRST_FRAG | PFC_LAST_FRAG, callId);
    PutSizes(out, body);
    Put8(out, uint8_t(body.contexts.size()));
    Put8(out, 0);
    Put16(out, 0);
    for (const ContextElement& e : body.contexts) {
        Put16(out, e.contextId);
        Put8(out, uint8_t(e.transferSyntaxes.size()));
        Put8(out, 0);
        PutSyntax(out, e.abstractSyntax);
        for (const SyntaxId& t : e.transferSyntaxes) PutSyntax(out, t);
    }
    EndPdu(out, start);
}

void EncodeBindAck(PduType type, uint32_t callId, const BindAckBody& body, std::vector<uint8_t>& out) {
    size_t start = BeginPdu(out, type, PFC_FIRST_FRAG | PFC_LAST_FRAG, callId);
    PutSizes(out, body);
    if (body.secondaryAddress.empty()) {
        Put16(out, 0);
    } else {
        Put16(out, uint16_t(body.secondaryAddress.size() + 1));
        out.insert(out.end(), body.secondaryAddress.begin(), body.secondaryAddress.end());
        Put8(out, 0);
    }
    PadTo4(out, start);
    Put8(out, uint8_t(body.results.size()));
    Put8(out, 0);
    Put16(out, 0);
    for (const ContextResult& r : body.results) {
        Put16(out, r.result);
        Put16(out, r.reason);
        PutSyntax(out, r.transferSyntax);
    }
    EndPdu(out, start);
}

void EncodeBindNak(uint32_t callId, const BindNakBody& body, std::vector<uint8_t>& out) {
    size_t start = BeginPdu(out, PduType::BindNak, PFC_FIRST_FRAG | PFC_LAST_FRAG, callId);
    Put16(out, body.reason);
    Put8(out, uint8_t(body.versions.size()));
    for (auto [major, minor] : body.versions) {
        Put8(out, major);
        Put8(out, minor);
    }
    PadTo4(out, start);
    EndPdu(out, start);
}

void EncodeFault(uint32_t callId, uint16_t contextId, uint32_t status, bool didNotExecute,
                 std::vector<uint8_t>& out) {
    uint8_t flags = PFC_FIRST_FRAG | PFC_LAST_FRAG | (didNotExecute ? PFC_DID_NOT_EXECUTE : 0);
    size_t start = BeginPdu(out, PduType::Fault, flags, callId);
    Put32(out, 0);
    Put16(out, contextId);
    Put8(out, 0);
    Put8(out, 0);
    Put32(out, status);
    Put32(out, 0);
    EndPdu(out, start);
}

void EncodeShutdown(uint32_t callId, std::vector<uint8_t>& out) {
    size_t start = BeginPdu(out, PduType::Shutdown, PFC_FIRST_FRAG | PFC_LAST_FRAG, callId);
    EndPdu(out, start);
}

void EncodeRequestHeader(uint8_t* out, uint8_t flags, uint16_t fragLength, uint32_t callId, uint32_t allocHint,
                         uint16_t contextId, uint16_t opnum, const GUID* object) {
    WriteCommonHeader(out, PduType::Request, uint8_t(flags | (object ? PFC_OBJECT_UUID : 0)), fragLength, callId);
    WriteU32(out + 16, allocHint);
    WriteU16(out + 20, contextId);
    WriteU16(out + 22, opnum);
    if (object) GuidToBytes(*object, out + 24);
}

void EncodeResponseHeader(uint8_t* out, uint8_t flags, uint16_t fragLength, uint32_t callId, uint32_t allocHint,
                          uint16_t contextId) {
    WriteCommonHeader(out, PduType::Response, flags, fragLength, callId);
    WriteU32(out + 16, allocHint);
    WriteU16(out + 20, contextId);
    out[22] = 0;
    out[23] = 0;
}

size_t FragmentStubCapacity(uint16_t maxFrag, size_t headerSize) {
    if (maxFrag <= headerSize) return 0;
    return (size_t(maxFrag) - headerSize) & ~size_t(7);
}

}  // namespace com::rpc
