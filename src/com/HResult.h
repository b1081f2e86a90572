// HRESULT values of the remote-object runtime. RPC status codes appear in their HRESULT form
// (facility Win32), as the runtime returns them from proxies.
#pragma once

#include <cstdint>

namespace com {

using HRESULT = int32_t;
using ULONG = uint32_t;

constexpr HRESULT MakeHr(uint32_t v) { return static_cast<HRESULT>(v); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t code) {
    return HRESULT(code) <= 0 ? HRESULT(code) : MakeHr((code & 0xFFFFu) | 0x80070000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT CO_S_NOTALLINTERFACES = 0x00080012;
constexpr HRESULT E_NOTIMPL = MakeHr(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHr(0x80004002);
constexpr HRESULT E_POINTER = MakeHr(0x80004003);
constexpr HRESULT E_FAIL = MakeHr(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHr(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = MakeHr(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHr(0x80070057);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHr(0x80040111);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154);
constexpr HRESULT REGDB_E_IIDNOTREG = MakeHr(0x80040155);
constexpr HRESULT REGDB_E_READREGDB = MakeHr(0x80040150);
constexpr HRESULT REGDB_E_WRITEREGDB = MakeHr(0x80040151);
constexpr HRESULT SELFREG_E_CLASS = MakeHr(0x80040201);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHr(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = MakeHr(0x800401F9);
constexpr HRESULT CO_E_OBJNOTCONNECTED = MakeHr(0x800401FD);
constexpr HRESULT RPC_E_DISCONNECTED = MakeHr(0x80010108);
constexpr HRESULT RPC_E_FAULT = MakeHr(0x80010104);
constexpr HRESULT RPC_E_INVALID_OBJREF = MakeHr(0x8001011D);

constexpr HRESULT RPC_E_VERSION_MISMATCH = MakeHr(0x80010110);
constexpr HRESULT RPC_E_INVALID_HEADER = MakeHr(0x80010111);

constexpr HRESULT RPC_S_UNKNOWN_IF = MakeHr(0x800706B5);           // 1717
constexpr HRESULT RPC_S_OUT_OF_RESOURCES = MakeHr(0x800706B9);     // 1721
constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = MakeHr(0x800706BA);   // 1722
constexpr HRESULT RPC_S_SERVER_TOO_BUSY = MakeHr(0x800706BB);      // 1723
constexpr HRESULT RPC_S_CALL_FAILED = MakeHr(0x800706BE);          // 1726
constexpr HRESULT RPC_S_CALL_FAILED_DNE = MakeHr(0x800706BF);      // 1727
constexpr HRESULT RPC_S_PROTOCOL_ERROR = MakeHr(0x800706C0);       // 1728
constexpr HRESULT RPC_S_UNSUPPORTED_TRANS_SYN = MakeHr(0x800706C2);  // 1730
constexpr HRESULT RPC_S_INVALID_BOUND = MakeHr(0x800706C6);        // 1734
constexpr HRESULT RPC_S_PROCNUM_OUT_OF_RANGE = MakeHr(0x800706D1);  // 1745
constexpr HRESULT RPC_X_NULL_REF_POINTER = MakeHr(0x800706F4);     // 1780
constexpr HRESULT RPC_X_BAD_STUB_DATA = MakeHr(0x800706F7);        // 1783

}  // namespace com
