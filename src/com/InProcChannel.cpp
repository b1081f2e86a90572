#include "com/InProcChannel.h"

#include <cstdlib>
#include <new>

#include "com/InProcMarshal.h"
#include "com/Link.h"
#include "com/RpcError.h"

namespace com {

namespace {

HRESULT AllocateBuffer(RPCOLEMESSAGE* msg) {
    // Every buffer of this channel comes from the C heap, so either side may free any of them;
    // zero-filled, as a reply buffer must be.
    void* p = std::calloc(msg->cbBuffer ? msg->cbBuffer : 1, 1);
    if (!p) return E_OUTOFMEMORY;
    msg->Buffer = static_cast<uint8_t*>(p);
    msg->dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    msg->streamOrigin = 0;  // no ORPC header travels in process
    return S_OK;
}

void ReleaseBuffer(RPCOLEMESSAGE* msg) {
    std::free(msg->Buffer);
    msg->Buffer = nullptr;
    msg->cbBuffer = 0;
}

// Base of both ends: reference count and the object table's marshaling service.
class ChannelBase : public SingleInterfaceObject<IRpcChannelBuffer, IID_IRpcChannelBuffer> {
public:
    HRESULT FreeBuffer(RPCOLEMESSAGE* msg) override {
        if (!msg) return E_POINTER;
        ReleaseBuffer(msg);
        return S_OK;
    }
    IMarshalService* GetMarshalService() override { return InProcMarshalService(); }
};

// The server end, handed to the stub for the duration of a call: allocates the reply.
class ServerChannel final : public ChannelBase {
public:
    HRESULT GetBuffer(RPCOLEMESSAGE* msg, REFIID) override { return msg ? AllocateBuffer(msg) : E_POINTER; }
    HRESULT SendReceive(RPCOLEMESSAGE*, ULONG*) override { return E_UNEXPECTED; }
    HRESULT IsConnected() override { return S_OK; }
};

class ClientChannel final : public ChannelBase {
public:
    ClientChannel(IRpcStubBuffer* stub, REFIID iid, LinkPtr link) : m_stub(stub), m_iid(iid), m_link(std::move(link)) {
        m_stub->AddRef();
    }
    ~ClientChannel() override { m_stub->Release(); }

    HRESULT GetBuffer(RPCOLEMESSAGE* msg, REFIID) override { return msg ? AllocateBuffer(msg) : E_POINTER; }
    HRESULT IsConnected() override { return S_OK; }

    HRESULT SendReceive(RPCOLEMESSAGE* msg, ULONG* status) override {
        if (!msg || !status || !msg->Buffer) return E_POINTER;
        *status = 0;
        ClearLastRpcErrorText();
        if (m_link)
            if (HRESULT hr = m_link->Refuse({}); FAILED(hr)) {
                ReleaseBuffer(msg);
                return hr;
            }
        ServerChannel* server = new (std::nothrow) ServerChannel;
        if (!server) return E_OUTOFMEMORY;
        uint8_t* request = msg->Buffer;
        RPCOLEMESSAGE call = *msg;  // the stub reads the request bytes and replaces Buffer by the reply
        HRESULT hr = m_stub->Invoke(&call, server);
        server->Release();
        std::free(request);
        msg->Buffer = nullptr;
        msg->cbBuffer = 0;
        if (SUCCEEDED(hr) && call.Buffer == request) hr = RPC_X_BAD_STUB_DATA;  // no reply written
        if (FAILED(hr)) {
            if (call.Buffer != request) std::free(call.Buffer);
            *status = ULONG(hr);
            return RPC_E_FAULT;
        }
        msg->Buffer = call.Buffer;
        msg->cbBuffer = call.cbBuffer;
        msg->dataRepresentation = call.dataRepresentation;
        return S_OK;
    }

private:
    IRpcStubBuffer* m_stub;
    IID m_iid;
    LinkPtr m_link;
};

}  // namespace

IRpcChannelBuffer* CreateInProcChannel(IRpcStubBuffer* stub, REFIID iid) {
    if (!stub) return nullptr;
    return new (std::nothrow) ClientChannel(stub, iid, CurrentActivationLink());
}

}  // namespace com
