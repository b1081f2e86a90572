// The identifiers of DCOM's own interfaces and the constants of its messages.
#pragma once

#include <cstdint>

#include "com/Guid.h"
#include "com/RpcPdu.h"

namespace com {

using OXID = uint64_t;
using OID = uint64_t;
using SETID = uint64_t;
using IPID = GUID;

constexpr IID IID_IRemoteActivation = MakeGuid(0x4D9F4AB8, 0x7D1C, 0x11CF, 0x86, 0x1E, 0x00, 0x20, 0xAF, 0x6E, 0x7C, 0x57);
constexpr IID IID_IRemoteSCMActivator = MakeGuid(0x000001A0, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr IID IID_IObjectExporter = MakeGuid(0x99FCFEC4, 0x5260, 0x101B, 0xBB, 0xCB, 0x00, 0xAA, 0x00, 0x21, 0x34, 0x7A);
constexpr IID IID_IRemUnknown = MakeGuid(0x00000131, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr IID IID_IRemUnknown2 = MakeGuid(0x00000143, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

// Every DCOM interface, object or native, is version 0.0 on the wire.
inline rpc::SyntaxId InterfaceSyntax(const IID& iid) { return rpc::SyntaxId{iid, 0, 0}; }

constexpr uint16_t kTowerTcp = 0x0007;  // ncacn_ip_tcp

// Operation numbers.
constexpr uint16_t kOpRemoteActivation = 0;
constexpr uint16_t kOpRemoteGetClassObject = 3;
constexpr uint16_t kOpRemoteCreateInstance = 4;
constexpr uint16_t kOpResolveOxid = 0;
constexpr uint16_t kOpSimplePing = 1;
constexpr uint16_t kOpComplexPing = 2;
constexpr uint16_t kOpServerAlive = 3;
constexpr uint16_t kOpResolveOxid2 = 4;
constexpr uint16_t kOpServerAlive2 = 5;
constexpr uint16_t kOpRemQueryInterface = 3;
constexpr uint16_t kOpRemAddRef = 4;
constexpr uint16_t kOpRemRelease = 5;
constexpr uint16_t kOpRemQueryInterface2 = 6;

// Results of the object resolver (Win32 codes).
constexpr uint32_t OR_INVALID_OXID = 1910;
constexpr uint32_t OR_INVALID_OID = 1911;
constexpr uint32_t OR_INVALID_SET = 1912;

constexpr uint32_t SORF_NOPING = 0x1000;

// RPC_C_AUTHN_LEVEL_NONE as the authentication hint of an unauthenticated exporter.
constexpr uint32_t kAuthnLevelNone = 1;
constexpr uint32_t kImpLevelAnonymous = 1;

// Limits on what a peer's message may ask for.
constexpr uint32_t kMaxActivationInterfaces = 32;  // the platform allows at most this many
constexpr uint32_t kMaxProtseqs = 16;
constexpr uint32_t kMaxPingOids = 32768;
constexpr uint32_t kMaxInterfaceRefs = 1024;
constexpr uint32_t kMaxBindingShorts = 4096;

}  // namespace com
