// The object RPC headers that open every DCOM request (ORPCTHIS) and reply (ORPCTHAT). They are
// part of the call's NDR stream: the parameters after them align relative to the stub data's
// start, headers included.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/Guid.h"
#include "com/NdrReader.h"
#include "com/NdrWriter.h"

namespace com {

struct COMVERSION {
    uint16_t major = 5;
    uint16_t minor = 7;
};

// The version this runtime speaks, as its peers report theirs.
constexpr COMVERSION kComVersion{5, 7};

struct OrpcThis {
    COMVERSION version = kComVersion;
    uint32_t flags = 0;
    uint32_t reserved1 = 0;
    GUID cid;                 // causality id
    bool hasExtensions = false;  // read only; this runtime never sends any
};

struct OrpcThat {
    uint32_t flags = 0;
    bool hasExtensions = false;
};

constexpr size_t kOrpcThisSize = 32;  // without extensions
constexpr size_t kOrpcThatSize = 8;

void WriteOrpcThis(NdrWriter& w, const OrpcThis& t);
void WriteOrpcThat(NdrWriter& w, const OrpcThat& t);

// Each reads the header and any extensions behind it (checked and skipped). A Truncated error
// means more bytes are needed; any other is malformed.
bool ReadOrpcThis(NdrReader& r, OrpcThis& t);
bool ReadOrpcThat(NdrReader& r, OrpcThat& t);

// The length of the ORPCTHAT at the start of a reply's stub data: > 0 when complete, 0 when more
// bytes are needed, -1 when malformed.
long OrpcThatLength(const uint8_t* data, size_t n, uint32_t drep);

// A new causality id for an outgoing call chain.
GUID NewCausalityId();

}  // namespace com
