// The runtime's marshaling contracts between channels, proxies, stubs and their factory.
#pragma once

#include "com/MarshalService.h"
#include "com/RpcMessage.h"
#include "com/Unknown.h"

namespace com {

constexpr IID IID_IRpcChannelBuffer = MakeGuid(0xD5F56B60, 0x593B, 0x101A, 0xB5, 0x69, 0x08, 0x00, 0x2B, 0x2D, 0xBF, 0x7A);
constexpr IID IID_IRpcProxyBuffer = MakeGuid(0xD5F56A34, 0x593B, 0x101A, 0xB5, 0x69, 0x08, 0x00, 0x2B, 0x2D, 0xBF, 0x7A);
constexpr IID IID_IRpcStubBuffer = MakeGuid(0xD5F56AFC, 0x593B, 0x101A, 0xB5, 0x69, 0x08, 0x00, 0x2B, 0x2D, 0xBF, 0x7A);
constexpr IID IID_IPSFactoryBuffer = MakeGuid(0xD5F569D0, 0x593B, 0x101A, 0xB5, 0x69, 0x08, 0x00, 0x2B, 0x2D, 0xBF, 0x7A);

// Carries a call's bytes. Client side: GetBuffer allocates the request (msg->cbBuffer bytes),
// SendReceive replaces it with the reply, FreeBuffer releases whatever msg->Buffer holds.
// Server side (the channel handed to IRpcStubBuffer::Invoke): GetBuffer allocates the reply,
// zero-filled (a stub may let the server write an out array straight into it, and whatever the
// server leaves unwritten must not carry old heap contents to the peer). A stub may then lower
// msg->cbBuffer to the bytes it wrote.
class IRpcChannelBuffer : public IUnknown {
public:
    virtual HRESULT GetBuffer(RPCOLEMESSAGE* msg, REFIID iid) = 0;
    // On a fault the result is RPC_E_FAULT and *status holds the fault code (an HRESULT); the
    // message then holds no buffer. Any other failure is a transport failure.
    virtual HRESULT SendReceive(RPCOLEMESSAGE* msg, ULONG* status) = 0;
    virtual HRESULT FreeBuffer(RPCOLEMESSAGE* msg) = 0;
    virtual HRESULT IsConnected() = 0;
    // Marshaling of interface pointers in this channel's context; never null.
    virtual IMarshalService* GetMarshalService() = 0;
};

class IRpcProxyBuffer : public IUnknown {
public:
    virtual HRESULT Connect(IRpcChannelBuffer* channel) = 0;
    virtual void Disconnect() = 0;
};

class IRpcStubBuffer : public IUnknown {
public:
    virtual HRESULT Connect(IUnknown* server) = 0;
    virtual void Disconnect() = 0;
    // Reads msg's request, calls the server, writes the reply through channel->GetBuffer.
    // A failure is a fault: its HRESULT goes back to the caller as the fault code.
    virtual HRESULT Invoke(RPCOLEMESSAGE* msg, IRpcChannelBuffer* channel) = 0;
    // This stub when it serves iid (no reference added), else null.
    virtual IRpcStubBuffer* IsIIDSupported(REFIID iid) = 0;
    virtual ULONG CountRefs() = 0;
};

class IPSFactoryBuffer : public IUnknown {
public:
    // outer may be null (no aggregation); *ppv gets the interface iid of the new proxy.
    virtual HRESULT CreateProxy(IUnknown* outer, REFIID iid, IRpcProxyBuffer** ppProxy, void** ppv) = 0;
    virtual HRESULT CreateStub(REFIID iid, IUnknown* server, IRpcStubBuffer** ppStub) = 0;
};

// Signature of a library's class-object entry point.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** ppv);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

}  // namespace com
