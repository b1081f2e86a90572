#include "com/RemoteActivation.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "com/ActivationMessages.h"
#include "com/ActivationProperties.h"
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

// Which activation interface each resolver (machine and port) served last: a resolver that knows
// only IRemoteActivation costs the failed attempt once, not on every activation.
std::mutex g_pathsMutex;
std::map<std::string, bool> g_scmServed;

bool TryScmFirst(const std::string& resolver) {
    std::lock_guard lock(g_pathsMutex);
    auto it = g_scmServed.find(resolver);
    return it == g_scmServed.end() || it->second;
}

void RememberPath(const std::string& resolver, bool scm) {
    std::lock_guard lock(g_pathsMutex);
    g_scmServed[resolver] = scm;
}

// One activation request on the resolver, through IRemoteSCMActivator::RemoteCreateInstance or
// IRemoteActivation::RemoteActivation: S_OK with `a` filled in (a.hr may be a failure), or a
// failure with the error text set. `notServed`: the resolver does not serve the interface tried
// (context or bind refused, or the call faulted as an unknown interface or operation).
HRESULT Request(Association& resolver, bool scm, const ActivationRequest& q, const std::string& where,
                ActivationReply& a, bool& notServed) {
    notServed = false;
    std::vector<uint8_t> stub;
    if (scm) {
        ScmActivationRequest in;
        in.orpc = q.orpc;
        in.properties = EncodeActivationPropertiesIn(q);
        if (!in.properties.empty()) stub = BuildNdr([&](NdrWriter& w) { WriteScmActivationRequest(w, in, true); });
    } else {
        stub = BuildNdr([&](NdrWriter& w) { WriteActivationRequest(w, q); });
    }
    if (stub.empty()) return E_OUTOFMEMORY;
    RpcRequest request;
    request.interface = InterfaceSyntax(scm ? IID_IRemoteSCMActivator : IID_IRemoteActivation);
    request.opnum = scm ? kOpRemoteCreateInstance : kOpRemoteActivation;
    request.stub = stub.data();
    request.stubLength = stub.size();
    RpcReply reply;
    if (HRESULT hr = resolver.Call(request, reply); FAILED(hr)) {
        notServed = hr == RPC_S_UNKNOWN_IF || (hr == RPC_S_PROTOCOL_ERROR && resolver.BindRefused());
        return hr;
    }
    std::unique_ptr<uint8_t, decltype(&std::free)> guard(reply.data, std::free);
    if (reply.fault) {
        notServed = reply.faultStatus == rpc::nca_s_unk_if || reply.faultStatus == rpc::nca_s_op_rng_error;
        SetLastRpcErrorText(where + ": the activation was refused with fault " + Hex(reply.faultStatus));
        return FaultStatusToHResult(reply.faultStatus);
    }
    NdrReader r(reply.data, reply.size, reply.drep);
    const size_t count = q.iids.size();
    if (!scm) {
        if (!ReadActivationReply(r, a, count)) {
            SetLastRpcErrorText(where + ": malformed activation reply (" + NdrErrorText(r.Error()) + ")");
            return RPC_X_BAD_STUB_DATA;
        }
        if (a.status != 0) {
            SetLastRpcErrorText(where + ": the activation failed with status " + Hex(a.status));
            return FaultStatusToHResult(a.status);
        }
        return S_OK;
    }
    ScmActivationReply out;
    if (!ReadScmActivationReply(r, out)) {
        SetLastRpcErrorText(where + ": malformed activation reply (" + NdrErrorText(r.Error()) + ")");
        return RPC_X_BAD_STUB_DATA;
    }
    a.orpc = out.orpc;
    a.hr = out.hr;
    if (FAILED(out.hr)) return S_OK;
    if (out.properties.empty()) {
        SetLastRpcErrorText(where + ": the activation succeeded but its reply holds no activation properties");
        return RPC_X_BAD_STUB_DATA;
    }
    if (!DecodeActivationPropertiesOut(out.properties.data(), out.properties.size(), q.iids, a)) {
        SetLastRpcErrorText(where + ": malformed activation properties in the reply (" +
                            std::to_string(out.properties.size()) + " bytes)");
        return RPC_X_BAD_STUB_DATA;
    }
    return S_OK;
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

    const uint16_t port = ResolverPort();
    const std::string where = machine + " port " + std::to_string(port);
    // As peers of version 5.7 do: IRemoteSCMActivator first, IRemoteActivation when the resolver
    // does not serve it, on the same association (one alter_context more, not a new connection).
    bool scm = TryScmFirst(where);
    ActivationReply a;
    {
        Association resolver(machine, port, link);
        bool notServed = false;
        HRESULT hr = Request(resolver, scm, q, where, a, notServed);
        if (notServed) {
            scm = !scm;
            hr = Request(resolver, scm, q, where, a, notServed);
            if (notServed) {
                SetLastRpcErrorText(where + ": the resolver serves neither IRemoteSCMActivator nor IRemoteActivation (" +
                                    LastRpcErrorText() + ")");
                return hr;
            }
        }
        if (FAILED(hr)) return hr;
    }
    RememberPath(where, scm);
    if (FAILED(a.hr)) return a.hr;

    auto exporter = std::make_shared<ExporterClient>(machine, port, a.oxid, a.remUnknown,
                                                     OrderTcpBindings(a.bindings, machine), link);
    uint32_t got = 0, rejected = 0;
    std::string firstRejection;
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
        const char* why = !DecodeObjRef(a.interfaces[i].data(), a.interfaces[i].size(), ref) ? "not a well-formed standard OBJREF"
                          : !(ref.iid == *out.pIID)                                             ? "it names another interface"
                          : ref.std.oxid != a.oxid ? "it names another object exporter than the activation"
                                                   : nullptr;
        if (why) {
            out.hr = RPC_E_INVALID_OBJREF;
            if (rejected++ == 0) firstRejection = "interface " + GuidToString(*out.pIID) + ": " + why;
            continue;
        }
        // Held from here on, so the server hears of it even if no proxy can be made for it.
        exporter->AddReference(ref.std.ipid, ref.std.oid, ref.std.cPublicRefs, !(ref.std.flags & SORF_NOPING));
        out.hr = ImportReference(exporter, ref.std.ipid, ref.iid, &out.pItf);
        if (SUCCEEDED(out.hr)) ++got;
    }
    // The codes alone would say only that interfaces are missing, not that the server sent them badly.
    if (rejected)
        SetLastRpcErrorText(where + ": " + std::to_string(rejected) + " of the " + std::to_string(count) +
                            " object references of the activation reply were rejected (the first, " + firstRejection + ")");
    return got == count ? S_OK : got ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

}  // namespace com
