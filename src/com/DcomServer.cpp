#include "com/DcomServer.h"

#include <condition_variable>
#include <mutex>

#include "com/ActivationMessages.h"
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

// IRemoteActivation and IObjectExporter on the resolver port.
class DcomServer::Resolver final : public IRpcHandler {
public:
    explicit Resolver(DcomServer& s) : m_s(s) {}

    bool Serves(const rpc::SyntaxId& s) override {
        return s.major == 0 && s.minor == 0 && (s.uuid == IID_IRemoteActivation || s.uuid == IID_IObjectExporter);
    }

    void Handle(const RpcCall& call, RpcServerReply& reply) override {
        NdrReader r(call.stub, call.stubLength, call.drep);
        if (call.interface.uuid == IID_IRemoteActivation) {
            if (call.opnum != kOpRemoteActivation) return reply.Fault(rpc::nca_s_op_rng_error);
            return Activate(r, reply);
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

    void Activate(NdrReader& r, RpcServerReply& reply) {
        ActivationRequest q;
        if (!ReadActivationRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
        ObjectExporter& x = m_s.m_exporter;
        ActivationReply a;
        a.oxid = x.Oxid();
        a.hasBindings = true;
        a.bindings = x.Bindings();
        a.remUnknown = x.RemUnknownIpid();
        const size_t n = q.iids.empty() ? 0 : q.iids.size();
        a.interfaces.assign(n, {});
        a.results.assign(n, E_NOINTERFACE);
        if (q.iids.empty()) {
            a.hr = E_INVALIDARG;
        } else if (q.hasObjectName || q.hasObjectStorage) {
            a.hr = E_NOTIMPL;  // activation from a stored object is not served
        } else {
            std::vector<ActivationAnswer> answers(n);
            a.hr = m_s.m_activate ? m_s.m_activate(q.clsid, q.iids, answers) : REGDB_E_CLASSNOTREG;
            if (SUCCEEDED(a.hr)) {
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
            } else {
                a.results.assign(n, a.hr);
            }
        }
        Reply(reply, [&](NdrWriter& w) { WriteActivationReply(w, a); });
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
