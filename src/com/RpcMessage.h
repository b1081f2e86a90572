// One marshaled call as proxies, stubs and channels exchange it, after the platform's RPCOLEMESSAGE.
#pragma once

#include <cstdint>

namespace com {

// Data representation label of NDR (first four bytes of the DCE/RPC drep field, here as one word):
// byte 0 high nibble integer order (0 big-endian, 1 little-endian), low nibble character set
// (0 ASCII, 1 EBCDIC); byte 1 floating point format (0 IEEE, 1 VAX, 2 Cray, 3 IBM).
constexpr uint32_t NDR_LOCAL_DATA_REPRESENTATION = 0x00000010;  // little-endian, ASCII, IEEE
constexpr uint32_t NDR_BIG_ENDIAN_DATA_REPRESENTATION = 0x00000000;

struct RPCOLEMESSAGE {
    // Stub data: the NDR stream of the parameters. The channel owns it; its start is the stream
    // origin that alignment counts from (a transport keeps ORPC headers outside, 8-byte padded).
    uint8_t* Buffer = nullptr;
    uint32_t cbBuffer = 0;
    uint32_t iMethod = 0;  // method number = operation number on the wire
    uint32_t dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    uint32_t rpcFlags = 0;
    void* reserved = nullptr;  // the channel's own per-call state
};

}  // namespace com
