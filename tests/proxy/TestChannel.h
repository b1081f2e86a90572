// A channel that records each request and answers with a scripted reply: the proxies' view of
// a transport, for byte-exact checks. Its marshaling service hands out fixed OBJREF bytes.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "com/RpcInterfaces.h"

namespace testchannel {

using Bytes = std::vector<uint8_t>;

class FixedMarshalService final : public com::IMarshalService {
public:
    Bytes objref = {1, 2, 3, 4, 5, 6, 7, 8};
    int marshaled = 0, released = 0;
    com::HRESULT MarshalInterface(com::IUnknown*, com::REFIID, std::vector<uint8_t>& out) override {
        ++marshaled;
        out = objref;
        return com::S_OK;
    }
    com::HRESULT UnmarshalInterface(const uint8_t*, size_t, com::REFIID, void**) override { return com::E_NOTIMPL; }
    com::HRESULT ReleaseMarshalData(const uint8_t*, size_t) override {
        ++released;
        return com::S_OK;
    }
};

class ScriptedChannel final : public com::IRpcChannelBuffer {
public:
    Bytes request, reply;
    uint32_t replyDrep = com::NDR_LOCAL_DATA_REPRESENTATION;
    uint32_t method = 0;
    int sends = 0;
    com::HRESULT fault = com::S_OK;  // when set, SendReceive reports this fault
    FixedMarshalService marshal;

    com::HRESULT QueryInterface(com::REFIID, void** ppv) override {
        *ppv = nullptr;
        return com::E_NOINTERFACE;
    }
    com::ULONG AddRef() override { return ++refs; }
    com::ULONG Release() override { return --refs; }
    com::HRESULT GetBuffer(com::RPCOLEMESSAGE* msg, com::REFIID) override {
        msg->Buffer = static_cast<uint8_t*>(std::calloc(msg->cbBuffer + 1, 1));
        return com::S_OK;
    }
    com::HRESULT SendReceive(com::RPCOLEMESSAGE* msg, com::ULONG* status) override {
        ++sends;
        method = msg->iMethod;
        request.assign(msg->Buffer, msg->Buffer + msg->cbBuffer);
        std::free(msg->Buffer);
        msg->Buffer = nullptr;
        if (fault) {
            *status = com::ULONG(fault);
            return com::RPC_E_FAULT;
        }
        msg->Buffer = static_cast<uint8_t*>(std::malloc(reply.size() + 1));
        if (!reply.empty()) std::memcpy(msg->Buffer, reply.data(), reply.size());
        msg->cbBuffer = uint32_t(reply.size());
        msg->dataRepresentation = replyDrep;
        return com::S_OK;
    }
    com::HRESULT FreeBuffer(com::RPCOLEMESSAGE* msg) override {
        std::free(msg->Buffer);
        msg->Buffer = nullptr;
        return com::S_OK;
    }
    com::HRESULT IsConnected() override { return com::S_OK; }
    com::IMarshalService* GetMarshalService() override { return &marshal; }

    int refs = 0;
};

}  // namespace testchannel
