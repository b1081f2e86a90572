// What a failed remote call says beyond its HRESULT: the runtime keeps, per thread, the text of
// the last transport failure (which peer, what happened), so a caller can show more than a code.
#pragma once

#include <cstdint>
#include <string>

#include "com/HResult.h"

namespace com {

// True for the results that mean the server could not be reached or the connection broke.
bool IsTransportFailure(HRESULT hr);

// The calling thread's last transport failure text; empty when the last call did not fail in
// the transport.
std::string LastRpcErrorText();
void SetLastRpcErrorText(const std::string& text);
void ClearLastRpcErrorText();

// A fault PDU's status as the HRESULT a proxy returns: HRESULTs stay, the protocol's own codes
// become the matching RPC errors, other values are Win32 codes.
HRESULT FaultStatusToHResult(uint32_t status);
// The other way round, for a server's fault PDU.
uint32_t HResultToFaultStatus(HRESULT hr);

}  // namespace com
