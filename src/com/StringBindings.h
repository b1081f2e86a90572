// DUALSTRINGARRAY: the addresses (string bindings) and security services (security bindings) of
// an object resolver or exporter, as 16-bit units. In NDR it is a conformant structure; inside
// an OBJREF it is packed without the conformance.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "com/NdrReader.h"
#include "com/NdrWriter.h"

namespace com {

struct StringBinding {
    uint16_t towerId = 0;
    std::string networkAddress;  // "host[port]" or "host"; characters above 0x7F become '?'
};

struct DualStringArray {
    std::vector<StringBinding> strings;
    std::vector<uint16_t> securityUnits;  // the security section as received, terminators included
};

// The units of a DUALSTRINGARRAY and the offset of its security section.
std::vector<uint16_t> EncodeBindingUnits(const DualStringArray& a, uint16_t& securityOffset);
// False when the units do not hold a well-formed array.
bool DecodeBindingUnits(const uint16_t* units, size_t count, uint16_t securityOffset, DualStringArray& out);

// NDR form: conformance, wNumEntries, wSecurityOffset, the units.
void WriteDualStringArray(NdrWriter& w, const DualStringArray& a);
bool ReadDualStringArray(NdrReader& r, DualStringArray& out);
// The same behind a unique pointer (DUALSTRINGARRAY** as an out parameter); `present` false is
// the null pointer.
void WriteDualStringArrayPointer(NdrWriter& w, bool present, const DualStringArray& a);
bool ReadDualStringArrayPointer(NdrReader& r, bool& present, DualStringArray& out);

// Splits "host[port]"; false when there is no port in brackets or it is not a number 1..65535.
bool SplitNetworkAddress(const std::string& address, std::string& host, uint16_t& port);

// The TCP bindings with an endpoint, as host and port, in the order to try them: those naming
// `reachedBy` (the address the machine was reached by) first, then the other addresses, then
// host names, each in the server's order (a server also lists names and addresses this side may
// not reach); at most kMaxBindingsTried.
constexpr size_t kMaxBindingsTried = 8;
std::vector<std::pair<std::string, uint16_t>> OrderTcpBindings(const DualStringArray& bindings,
                                                               const std::string& reachedBy);

}  // namespace com
