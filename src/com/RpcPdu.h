// DCE/RPC connection-oriented PDUs (protocol version 5.0/5.1) as pure functions between bytes and
// structures: no sockets, no state. Decoders check every length against the bytes present and
// honour the sender's data representation; encoders write little-endian ASCII IEEE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "com/Guid.h"

namespace com::rpc {

enum class PduType : uint8_t {
    Request = 0,
    Response = 2,
    Fault = 3,
    Bind = 11,
    BindAck = 12,
    BindNak = 13,
    AlterContext = 14,
    AlterContextResp = 15,
    Auth3 = 16,
    Shutdown = 17,
    CoCancel = 18,
    Orphaned = 19,
};

constexpr uint8_t PFC_FIRST_FRAG = 0x01;
constexpr uint8_t PFC_LAST_FRAG = 0x02;
constexpr uint8_t PFC_PENDING_CANCEL = 0x04;  // in bind PDUs: header signing supported
constexpr uint8_t PFC_CONC_MPX = 0x10;
constexpr uint8_t PFC_DID_NOT_EXECUTE = 0x20;
constexpr uint8_t PFC_MAYBE = 0x40;
constexpr uint8_t PFC_OBJECT_UUID = 0x80;

constexpr size_t kHeaderSize = 16;
constexpr size_t kRequestHeaderSize = 24;        // common header + alloc hint, context, opnum
constexpr size_t kRequestObjectHeaderSize = 40;  // the same with an object UUID
constexpr size_t kResponseHeaderSize = 24;
constexpr size_t kFaultSize = 32;
// Every ncacn_ip_tcp peer must accept fragments of this size.
constexpr uint16_t kMustRecvFragment = 1432;

constexpr uint32_t kDrepLittleEndian = 0x00000010;  // packed_drep bytes 10 00 00 00

// Bind results and reasons.
constexpr uint16_t kResultAcceptance = 0;
constexpr uint16_t kResultUserRejection = 1;
constexpr uint16_t kResultProviderRejection = 2;
constexpr uint16_t kResultNegotiateAck = 3;
constexpr uint16_t kReasonNotSpecified = 0;
constexpr uint16_t kReasonAbstractSyntaxNotSupported = 1;
constexpr uint16_t kReasonTransferSyntaxesNotSupported = 2;
constexpr uint16_t kReasonLocalLimitExceeded = 3;

// bind_nak reasons.
constexpr uint16_t kNakNotSpecified = 0;
constexpr uint16_t kNakTemporaryCongestion = 1;
constexpr uint16_t kNakLocalLimitExceeded = 2;
constexpr uint16_t kNakProtocolVersionNotSupported = 4;
constexpr uint16_t kNakUserDataNotReadable = 6;
constexpr uint16_t kNakAuthenticationTypeNotRecognized = 8;
// A bind_nak's reason in words.
const char* BindNakReasonText(uint16_t reason);

// Fault and reject status codes of the protocol itself.
constexpr uint32_t nca_s_op_rng_error = 0x1C010002;
constexpr uint32_t nca_s_unk_if = 0x1C010003;
constexpr uint32_t nca_s_proto_error = 0x1C01000B;
constexpr uint32_t nca_s_server_too_busy = 0x1C010014;
constexpr uint32_t nca_s_fault_context_mismatch = 0x1C00001A;
constexpr uint32_t nca_s_fault_remote_no_memory = 0x1C00001B;
constexpr uint32_t nca_s_fault_ndr = 0x000006F7;  // as Windows sends a bad-stub-data fault

struct SyntaxId {
    GUID uuid;
    uint16_t major = 0;
    uint16_t minor = 0;
};
bool operator==(const SyntaxId& a, const SyntaxId& b);

// NDR 2.0, the only transfer syntax spoken here.
extern const SyntaxId kNdrSyntax;

struct PduHeader {
    uint8_t versionMinor = 0;
    PduType type = PduType::Request;
    uint8_t flags = 0;
    uint32_t drep = kDrepLittleEndian;
    uint16_t fragLength = 0;
    uint16_t authLength = 0;
    uint32_t callId = 0;
};

enum class PduError : uint8_t {
    None,
    Truncated,         // fewer bytes than the header or the body needs
    BadVersion,        // not protocol version 5.0 or 5.1
    BadDataRep,        // an integer, character or floating-point format that does not exist
    BadLength,         // a fragment length below the header or above what is present
    Authenticated,     // an authentication verifier where none was negotiated
    BadBody,           // a count or field that does not add up
    UnsupportedDataRep,  // EBCDIC characters or a floating-point format other than IEEE: valid, not served
};
const char* PduErrorText(PduError e);

// The 16-byte common header. Checks the version, the data representation and that the fragment
// length is at least the header; `fragLength` may exceed n (the rest is still to come).
PduError DecodeHeader(const uint8_t* p, size_t n, PduHeader& h);

struct ContextElement {
    uint16_t contextId = 0;
    SyntaxId abstractSyntax;
    std::vector<SyntaxId> transferSyntaxes;
};

// bind and alter_context.
struct BindBody {
    uint16_t maxXmitFrag = 0;
    uint16_t maxRecvFrag = 0;
    uint32_t assocGroup = 0;
    std::vector<ContextElement> contexts;
};

struct ContextResult {
    uint16_t result = kResultAcceptance;
    uint16_t reason = kReasonNotSpecified;
    SyntaxId transferSyntax;
};

// bind_ack and alter_context_resp.
struct BindAckBody {
    uint16_t maxXmitFrag = 0;
    uint16_t maxRecvFrag = 0;
    uint32_t assocGroup = 0;
    std::string secondaryAddress;  // without its NUL
    std::vector<ContextResult> results;
};

struct BindNakBody {
    uint16_t reason = kNakNotSpecified;
    std::vector<std::pair<uint8_t, uint8_t>> versions;
};

// request: where the stub data lies in the PDU.
struct RequestBody {
    uint32_t allocHint = 0;
    uint16_t contextId = 0;
    uint16_t opnum = 0;
    bool hasObject = false;
    GUID object;
    size_t stubOffset = 0;
    size_t stubLength = 0;
};

struct ResponseBody {
    uint32_t allocHint = 0;
    uint16_t contextId = 0;
    uint8_t cancelCount = 0;
    size_t stubOffset = 0;
    size_t stubLength = 0;
};

struct FaultBody {
    uint32_t allocHint = 0;
    uint16_t contextId = 0;
    uint8_t cancelCount = 0;
    uint8_t flags = 0;
    uint32_t status = 0;
};

// Body decoders take the whole PDU (h.fragLength bytes at p, header already decoded into h).
// The authentication verifier, when there is one, is left out of the body; a request or
// response with one is refused (nothing here is authenticated).
PduError DecodeBind(const uint8_t* p, const PduHeader& h, BindBody& out);
PduError DecodeBindAck(const uint8_t* p, const PduHeader& h, BindAckBody& out);
PduError DecodeBindNak(const uint8_t* p, const PduHeader& h, BindNakBody& out);
PduError DecodeRequest(const uint8_t* p, const PduHeader& h, RequestBody& out);
PduError DecodeResponse(const uint8_t* p, const PduHeader& h, ResponseBody& out);
PduError DecodeFault(const uint8_t* p, const PduHeader& h, FaultBody& out);

// Encoders append one complete PDU to out.
void EncodeBind(PduType type, uint32_t callId, const BindBody& body, std::vector<uint8_t>& out);
void EncodeBindAck(PduType type, uint32_t callId, const BindAckBody& body, std::vector<uint8_t>& out);
void EncodeBindNak(uint32_t callId, const BindNakBody& body, std::vector<uint8_t>& out);
void EncodeFault(uint32_t callId, uint16_t contextId, uint32_t status, bool didNotExecute,
                 std::vector<uint8_t>& out);
void EncodeShutdown(uint32_t callId, std::vector<uint8_t>& out);

// The headers of request and response fragments, written in place so the stub data can follow
// without being copied; `out` holds kRequestHeaderSize / kRequestObjectHeaderSize /
// kResponseHeaderSize bytes. fragLength counts header and stub data.
void EncodeRequestHeader(uint8_t* out, uint8_t flags, uint16_t fragLength, uint32_t callId, uint32_t allocHint,
                         uint16_t contextId, uint16_t opnum, const GUID* object);
void EncodeResponseHeader(uint8_t* out, uint8_t flags, uint16_t fragLength, uint32_t callId, uint32_t allocHint,
                          uint16_t contextId);

// The largest stub data a request or response fragment of at most maxFrag bytes carries when
// more fragments follow: a multiple of 8, so every fragment keeps the stream's alignment.
size_t FragmentStubCapacity(uint16_t maxFrag, size_t headerSize);

}  // namespace com::rpc
