#include "com/TcpChannel.h"

#include <cstdlib>
#include <new>

#include "com/NdrReader.h"
#include "com/NetworkMarshal.h"
#include "com/NdrWriter.h"
#include "com/Orpc.h"
#include "com/RpcError.h"

namespace com {
namespace {

class TcpChannel final : public SingleInterfaceObject<IRpcChannelBuffer, IID_IRpcChannelBuffer> {
public:
    TcpChannel(std::shared_ptr<ExporterClient> exporter, const IPID& ipid, const IID& iid)
        : m_exporter(std::move(exporter)), m_ipid(ipid), m_iid(iid) {}

    // Requests carry an ORPCTHIS in front of the parameters: the buffer is allocated with room
    // for it, and the parameters' stream starts after it.
    HRESULT GetBuffer(RPCOLEMESSAGE* msg, REFIID) override {
        if (!msg) return E_POINTER;
        auto* base = static_cast<uint8_t*>(std::malloc(kOrpcThisSize + msg->cbBuffer));
        if (!base) return E_OUTOFMEMORY;
        msg->reserved = base;
        msg->Buffer = base + kOrpcThisSize;
        msg->streamOrigin = kOrpcThisSize;
        msg->dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
        return S_OK;
    }

    HRESULT SendReceive(RPCOLEMESSAGE* msg, ULONG* status) override {
        if (!msg || !status || !msg->reserved) return E_POINTER;
        *status = 0;
        auto* base = static_cast<uint8_t*>(msg->reserved);
        OrpcThis orpc;
        orpc.cid = NewCausalityId();
        NdrWriter w(base, kOrpcThisSize);
        WriteOrpcThis(w, orpc);

        RpcRequest request;
        request.interface = InterfaceSyntax(m_iid);
        request.opnum = uint16_t(msg->iMethod);
        request.object = &m_ipid;
        request.stub = base;
        request.stubLength = kOrpcThisSize + size_t(msg->cbBuffer);
        request.replyPrefix = OrpcThatLength;
        request.placement = msg->placement;
        RpcReply reply;
        HRESULT hr = m_exporter->Call(request, reply);
        std::free(base);
        msg->reserved = nullptr;
        msg->Buffer = nullptr;
        msg->cbBuffer = 0;
        if (FAILED(hr)) return hr;
        if (reply.fault) {
            std::free(reply.data);
            const HRESULT fault = FaultStatusToHResult(reply.faultStatus);
            if (fault == RPC_E_DISCONNECTED)
                SetLastRpcErrorText(m_exporter->Endpoint() + ": the server no longer holds the object (it was released)");
            *status = ULONG(fault);
            return RPC_E_FAULT;
        }
        NdrReader r(reply.data, reply.size, reply.drep);
        OrpcThat that;
        if (!ReadOrpcThat(r, that)) {
            std::free(reply.data);
            SetLastRpcErrorText(m_exporter->Endpoint() + ": a reply without a valid ORPCTHAT");
            return RPC_S_PROTOCOL_ERROR;
        }
        const size_t prefix = r.Position();
        msg->reserved = reply.data;
        msg->Buffer = reply.data + prefix;
        msg->cbBuffer = uint32_t(reply.size - prefix);
        msg->streamOrigin = uint32_t(prefix);
        msg->dataRepresentation = reply.drep;
        return S_OK;
    }

    HRESULT FreeBuffer(RPCOLEMESSAGE* msg) override {
        if (!msg) return E_POINTER;
        std::free(msg->reserved);
        msg->reserved = nullptr;
        msg->Buffer = nullptr;
        msg->cbBuffer = 0;
        return S_OK;
    }

    HRESULT IsConnected() override { return S_OK; }
    IMarshalService* GetMarshalService() override { return NetworkMarshalService(); }

private:
    std::shared_ptr<ExporterClient> m_exporter;
    IPID m_ipid;
    IID m_iid;
};

}  // namespace

IRpcChannelBuffer* CreateTcpChannel(std::shared_ptr<ExporterClient> exporter, const IPID& ipid, const IID& iid) {
    return new (std::nothrow) TcpChannel(std::move(exporter), ipid, iid);
}

}  // namespace com
