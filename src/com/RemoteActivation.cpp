#include "com/RemoteActivation.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "com/ActivationMessages.h"
#include "com/Association.h"
#include "com/NdrBuild.h"
#include "com/ObjRef.h"
#include "com/ProxyLoader.h"
#include "com/RpcError.h"
#include "com/RpcSettings.h"
#include "com/Runtime.h"
#include "com/TcpChannel.h"

namespace com {
namespace {

char HexDigit(unsigned v) { return "0123456789abcdef"[v & 0xF]; }

std::string Hex(uint32_t v) {
    std::string s = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) s += HexDigit(v >> shift);
    return s;
}

HRESULT ImportReference(const std::shared_ptr<ExporterClient>& exporter, const IPID& ipid, const IID& iid,
                       IUnknown** itf) {
    *itf = nullptr;
    ComPtr<IPSFactoryBuffer> factory;
    HRESULT hr = GetProxyStubFactory(iid, factory.Put());
    if (FAILED(hr)) return hr;
    ComPtr<IRpcChannelBuffer> channel(CreateTcpChannel(exporter, ipid, iid));
    if (!channel) return E_OUTOFMEMORY;
    return ConnectProxy(factory.Get(), iid, channel.Get(), reinterpret_cast<void**>(itf));
}

}  // namespace

HRESULT RemoteActivate(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count,
                       const LinkPtr& link) {
    if (!results || count == 0 || count > kMaxActivationInterfaces) return E_INVALIDARG;
    ActivationRequest q;
    q.orpc.cid = NewCausalityId();
    q.clsid = clsid;
    q.impLevel = ProcessImpersonationLevel();
    for (uint32_t i = 0; i < count; ++i) {
        if (!results[i].pIID) return E_INVALIDARG;
        q.iids.push_back(*results[i].pIID);
    }
    q.protseqs = {kTowerTcp};
    const std::vector<uint8_t> stub = BuildNdr([&](NdrWriter& w) { WriteActivationRequest(w, q); });

    const uint16_t port = ResolverPort();
    const std::string where = machine + " port " + std::to_string(port);
    RpcRequest request;
    request.interface = InterfaceSyntax(IID_IRemoteActivation);
    request.opnum = kOpRemoteActivation;
    request.stub = stub.data();
    request.stubLength = stub.size();
    RpcReply reply;
    ActivationReply a;
    {
        Association resolver(machine, port, link);
        HRESULT hr = resolver.Call(request, reply);
        if (FAILED(hr)) return hr;
    }
    std::unique_ptr<uint8_t, decltype(&std::free)> guard(reply.data, std::free);
    if (reply.fault) {
        SetLastRpcErrorText(where + ": the activation was refused with fault " + Hex(reply.faultStatus));
        return FaultStatusToHResult(reply.faultStatus);
    }
    NdrReader r(reply.data, reply.size, reply.drep);
    if (!ReadActivationReply(r, a, count)) {
        SetLastRpcErrorText(where + ": malformed activation reply (" + NdrErrorText(r.Error()) + ")");
        return RPC_X_BAD_STUB_DATA;
    }
    if (a.status != 0) {
        SetLastRpcErrorText(where + ": the activation failed with status " + Hex(a.status));
        return FaultStatusToHResult(a.status);
    }
    if (FAILED(a.hr)) return a.hr;

    auto exporter = std::make_shared<ExporterClient>(machine, port, a.oxid, a.remUnknown,
                                                     OrderTcpBindings(a.bindings, machine), link);
    uint32_t got = 0;
    for (uint32_t i = 0; i < count; ++i) {
        MULTI_QI& out = results[i];
        out.pItf = nullptr;
        out.hr = a.results[i];
        if (FAILED(out.hr)) continue;
        if (a.interfaces[i].empty()) {  // success without a reference
            ++got;
            continue;
        }
        ObjRefStandard ref;
        if (!DecodeObjRef(a.interfaces[i].data(), a.interfaces[i].size(), ref) || !(ref.iid == *out.pIID) ||
            ref.std.oxid != a.oxid) {
            out.hr = RPC_E_INVALID_OBJREF;
            continue;
        }
        // Held from here on, so the server hears of it even if no proxy can be made for it.
        exporter->AddReference(ref.std.ipid, ref.std.oid, ref.std.cPublicRefs, !(ref.std.flags & SORF_NOPING));
        out.hr = ImportReference(exporter, ref.std.ipid, ref.iid, &out.pItf);
        if (SUCCEEDED(out.hr)) ++got;
    }
    return got == count ? S_OK : got ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

}  // namespace com
