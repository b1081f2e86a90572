#include "com/DcomServer.h"

#include <condition_variable>
#include <mutex>

#include "com/ActivationMessages.h"
#include "com/ActivationProperties.h"
#include "com/NdrBuild.h"
#include "com/ObjRef.h"
#include "com/RpcSettings.h"

namespace com {

namespace {

// Public references handed out with each activated interface, as the platform's servers do.
constexpr uint32_t kActivationRefs = 5;

StringBinding TcpBinding(const std::string& address, uint16_t port, bool withPort) {
    return StringBinding{kTowerTcp, withPort ? address + "[" + std::to_string(port) + "]" : address};
}

template <class Write>
void Reply(RpcServerReply& reply, Write&& write) {
    reply.bytes = BuildNdr(write);
    if (reply.bytes.empty()) reply.Fault(rpc::nca_s_fault_ndr);
}

}  // namespace

// IRemoteActivation, IRemoteSCMActivator (unless turned off) and IObjectExporter on the resolver port.
class DcomServer::Resolver final : public IRpcHandler {
public:
    explicit Resolver(DcomServer& s) : m_s(s) {}

    bool Serves(const rpc::SyntaxId& s) override {
        if (s.major != 0 || s.minor != 0) return false;
        return s.uuid == IID_IRemoteActivation || s.uuid == IID_IObjectExporter ||
               (s.uuid == IID_IRemoteSCMActivator && m_s.m_serveScm);
    }

    void Handle(const RpcCall& call, RpcServerReply& reply) override {
        NdrReader r(call.stub, call.stubLength, call.drep);
        if (call.interface.uuid == IID_IRemoteActivation) {
            if (call.opnum != kOpRemoteActivation) return reply.Fault(rpc::nca_s_op_rng_error);
            return Activate(r, reply);
        }
        if (call.interface.uuid == IID_IRemoteSCMActivator) {
            if (call.opnum != kOpRemoteGetClassObject && call.opnum != kOpRemoteCreateInstance)
                return reply.Fault(rpc::nca_s_op_rng_error);
            return ActivateScm(r, call.opnum, reply);
        }
        ObjectExporter& x = m_s.m_exporter;
        switch (call.opnum) {
        case kOpResolveOxid:
        case kOpResolveOxid2: {
            ResolveOxidRequest q;
            if (!ReadResolveOxidRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
            ResolveOxidReply a;
            if (q.oxid == x.Oxid()) {
                a.hasBindings = true;
                a.bindings = x.Bindings();
                a.remUnknown = x.RemUnknownIpid();
            } else {
                a.status = OR_INVALID_OXID;
            }
            const bool v2 = call.opnum == kOpResolveOxid2;
            return Reply(reply, [&](NdrWriter& w) { WriteResolveOxidReply(w, a, v2); });
        }
        case kOpSimplePing: {
            SETID id = 0;
            if (!ReadSimplePingRequest(r, id)) return reply.Fault(rpc::nca_s_fault_ndr);
            const uint32_t status = x.SimplePing(id);
            return Reply(reply, [&](NdrWriter& w) { WriteStatusReply(w, status); });
        }
        case kOpComplexPing: {
            ComplexPingRequest q;
            if (!ReadComplexPingRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
            ComplexPingReply a;
            a.status = x.ComplexPing(q, a, call.peer.substr(0, call.peer.rfind(':')));
            return Reply(reply, [&](NdrWriter& w) { WriteComplexPingReply(w, a); });
        }
        case kOpServerAlive: return Reply(reply, [&](NdrWriter& w) { WriteStatusReply(w, 0); });
        case kOpServerAlive2: {
            ServerAlive2Reply a;
            a.bindings = ResolverBindings();
            return Reply(reply, [&](NdrWriter& w) { WriteServerAlive2Reply(w, a); });
        }
        default: return reply.Fault(rpc::nca_s_op_rng_error);
        }
    }

private:
    // The resolver's own address, as OBJREFs name it: the port only when it is not the usual one.
    DualStringArray ResolverBindings() const {
        DualStringArray d;
        d.strings.push_back(TcpBinding(m_s.m_address, m_s.m_resolverPort, m_s.m_resolverPort != 135));
        return d;
    }

    // The activation both interfaces ask for, answered the same way: the object made, each
    // interface exported with public references and an OBJREF naming the resolver's bindings.
    void Answer(const ActivationRequest& q, ActivationReply& a) {
        ObjectExporter& x = m_s.m_exporter;
        a.oxid = x.Oxid();
        a.hasBindings = true;
        a.bindings = x.Bindings();
        a.remUnknown = x.RemUnknownIpid();
        const size_t n = q.iids.size();
        a.interfaces.assign(n, {});
        a.results.assign(n, E_NOINTERFACE);
        if (q.iids.empty()) {
            a.hr = E_INVALIDARG;
            return;
        }
        if (q.hasObjectName || q.hasObjectStorage) {
            a.hr = E_NOTIMPL;  // activation from a stored object is not served
            return;
        }
        std::vector<ActivationAnswer> answers(n);
        a.hr = m_s.m_activate ? m_s.m_activate(q.clsid, q.iids, answers) : REGDB_E_CLASSNOTREG;
        if (FAILED(a.hr)) {
            a.results.assign(n, a.hr);
            return;
        }
        a.hr = S_OK;
        const DualStringArray resolver = ResolverBindings();
        for (size_t i = 0; i < n && i < answers.size(); ++i) {
            a.results[i] = answers[i].hr;
            if (FAILED(answers[i].hr) || !answers[i].itf) continue;
            STDOBJREF std;
            HRESULT hr = x.Export(answers[i].itf.Get(), q.iids[i], kActivationRefs, std);
            if (FAILED(hr)) {
                a.results[i] = hr;
                continue;
            }
            ObjRefStandard ref = MakeObjRefStandard(q.iids[i], std);
            uint16_t offset = 0;
            ref.bindings = EncodeBindingUnits(resolver, offset);
            ref.securityOffset = offset;
            EncodeObjRef(ref, a.interfaces[i]);
        }
    }

    void Activate(NdrReader& r, RpcServerReply& reply) {
        ActivationRequest q;
        if (!ReadActivationRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
        ++m_s.m_activations;
        ActivationReply a;
        Answer(q, a);
        Reply(reply, [&](NdrWriter& w) { WriteActivationReply(w, a); });
    }

    // IRemoteSCMActivator: the same activation with its request and reply as activation
    // properties. A blob that does not decode is answered E_INVALIDARG, a failed activation with
    // its HRESULT and no properties, as the platform does.
    void ActivateScm(NdrReader& r, uint16_t opnum, RpcServerReply& reply) {
        const bool create = opnum == kOpRemoteCreateInstance;
        ScmActivationRequest in;
        if (!ReadScmActivationRequest(r, in, create)) return reply.Fault(rpc::nca_s_fault_ndr);
        ++m_s.m_scmActivations;
        ActivationRequest q;
        ScmActivationReply out;
        out.hr = DecodeActivationPropertiesIn(in.properties.data(), in.properties.size(), q);
        if (SUCCEEDED(out.hr) && !create) {
            // No class objects are kept here: a class is only ever instantiated whole, through
            // RemoteCreateInstance, so a peer asking for its class object hears that there is none
            // and may fall back to creating an instance.
            out.hr = CLASS_E_CLASSNOTAVAILABLE;
        } else if (SUCCEEDED(out.hr) && in.hasOuter) {
            out.hr = CLASS_E_NOAGGREGATION;  // an object on another machine cannot be aggregated
        } else if (SUCCEEDED(out.hr)) {
            ActivationReply a;
            Answer(q, a);
            out.hr = a.hr;
            if (SUCCEEDED(a.hr)) {
                out.properties = EncodeActivationPropertiesOut(a, q.iids);
                if (out.properties.empty()) return reply.Fault(rpc::nca_s_fault_ndr);
            }
        }
        Reply(reply, [&](NdrWriter& w) { WriteScmActivationReply(w, out); });
    }

    DcomServer& m_s;
};

DcomServer::DcomServer(std::string address, ActivationHandler activate, RpcServerOptions options)
    : m_address(std::move(address)), m_activate(std::move(activate)), m_resolver(std::make_unique<Resolver>(*this)),
      m_server(options) {}

DcomServer::~DcomServer() { Stop(); }

bool DcomServer::Start(uint16_t resolverPort, std::string& error) {
    if (!m_server.Listen(m_address, resolverPort, m_resolver.get(), m_resolverPort, error)) return false;
    if (!m_server.Listen(m_address, 0, &m_exporter, m_exporterPort, error)) return false;
    DualStringArray bindings;
    bindings.strings.push_back(TcpBinding(m_address, m_exporterPort, true));
    m_exporter.SetBindings(bindings);
    DualStringArray resolver;
    resolver.strings.push_back(TcpBinding(m_address, m_resolverPort, m_resolverPort != 135));
    m_exporter.SetResolverBindings(resolver);
    return true;
}

void DcomServer::Run() {
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread collector([&] {
        std::unique_lock lock(mutex);
        while (!done) {
            const uint32_t every = std::max<uint32_t>(PingPeriodMs() / 4, 10);
            wake.wait_for(lock, std::chrono::milliseconds(every), [&] { return done; });
            if (!done) m_exporter.CollectGarbage(ObjectExporter::Clock::now());
        }
    });
    m_server.Run();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    wake.notify_all();
    collector.join();
}

void DcomServer::Stop() { m_server.Stop(); }

}  // namespace com
