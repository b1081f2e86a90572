// One marshaled call as proxies, stubs and channels exchange it, after the platform's RPCOLEMESSAGE.
#pragma once

#include <cstddef>
#include <cstdint>

namespace com {

// The largest stub data of one call either side accepts: just above the largest extension list
// a connection asks for (81,920,000 bytes) plus the parameters around it.
constexpr size_t kMaxStubData = 81920000u + 65536u;

// Data representation label of NDR (first four bytes of the DCE/RPC drep field, here as one word):
// byte 0 high nibble integer order (0 big-endian, 1 little-endian), low nibble character set
// (0 ASCII, 1 EBCDIC); byte 1 floating point format (0 IEEE, 1 VAX, 2 Cray, 3 IBM).
constexpr uint32_t NDR_LOCAL_DATA_REPRESENTATION = 0x00000010;  // little-endian, ASCII, IEEE
constexpr uint32_t NDR_BIG_ENDIAN_DATA_REPRESENTATION = 0x00000000;

// Where a reply's out byte array may land directly (set by a proxy before SendReceive). Only
// 4-byte values may precede the array in the reply; countOffset is their total size, counted
// from the parameters' start (4-aligned after the ORPC header). The elements go to target when
// the count is at most capacity; the channel then leaves them out of Buffer and sets placed and
// count. A channel that cannot place leaves placed false.
struct ReplyPlacement {
    uint8_t* target = nullptr;
    uint32_t capacity = 0;
    uint32_t countOffset = 0;
    bool placed = false;
    uint32_t count = 0;
};

struct RPCOLEMESSAGE {
    // Parameters in NDR. The channel owns the buffer.
    uint8_t* Buffer = nullptr;
    uint32_t cbBuffer = 0;
    uint32_t iMethod = 0;  // method number = operation number on the wire
    // Whoever writes a message's bytes sets the label they are written in.
    uint32_t dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    // Offset of Buffer in the call's NDR stream: the ORPC header before the parameters belongs
    // to the stream, and alignment counts from the stream's start.
    uint32_t streamOrigin = 0;
    uint32_t rpcFlags = 0;
    ReplyPlacement* placement = nullptr;
    void* reserved = nullptr;  // the channel's own per-call state
};

}  // namespace com
