// A DCOM server on one address: the resolver endpoint (activation and IObjectExporter, on the
// resolver port) and the object exporter's endpoint (on a port of its own), served until Stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "com/ObjectExporter.h"
#include "com/RpcServer.h"
#include "com/Unknown.h"

namespace com {

// One requested interface: a failure, a success with a reference, or a success without one.
struct ActivationAnswer {
    HRESULT hr = E_NOINTERFACE;
    ComPtr<IUnknown> itf;
};

// Creates the object of a class for one activation and answers each interface asked for.
// A failure means no object was made.
using ActivationHandler =
    std::function<HRESULT(const CLSID& clsid, const std::vector<IID>& iids, std::vector<ActivationAnswer>& answers)>;

class DcomServer {
public:
    DcomServer(std::string address, ActivationHandler activate, RpcServerOptions options = {});
    ~DcomServer();

    // Whether the resolver serves IRemoteSCMActivator beside IRemoteActivation (on by default);
    // off, it answers as a server that knows only the older interface. Set before Start.
    void ServeScmActivator(bool on) { m_serveScm = on; }

    // Listens on the resolver port and on a free port for the exporter.
    bool Start(uint16_t resolverPort, std::string& error);
    // Serves until Stop (also collects unpinged objects meanwhile).
    void Run();
    void Stop();  // from any thread, also from a signal handler

    // Activation requests answered through IRemoteSCMActivator (true) or IRemoteActivation.
    uint64_t ActivationsAnswered(bool scm) const { return scm ? m_scmActivations : m_activations; }

    uint16_t ResolverPort() const { return m_resolverPort; }
    uint16_t ExporterPort() const { return m_exporterPort; }
    ObjectExporter& Exporter() { return m_exporter; }
    RpcServer& Server() { return m_server; }

private:
    class Resolver;

    std::string m_address;
    ActivationHandler m_activate;
    ObjectExporter m_exporter;
    std::unique_ptr<Resolver> m_resolver;
    uint16_t m_resolverPort = 0;
    uint16_t m_exporterPort = 0;
    bool m_serveScm = true;
    std::atomic<uint64_t> m_activations{0};
    std::atomic<uint64_t> m_scmActivations{0};
    RpcServer m_server;  // last: its connections end before what they use goes
};

}  // namespace com
