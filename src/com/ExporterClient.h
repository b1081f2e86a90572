// A remote object exporter as this process sees it: where it listens, its IRemUnknown, and the
// references held on its objects. Every channel to one of its objects shares it; when the last
// one goes, the references are released in one IRemUnknown::RemRelease, unless the link was lost
// (the exporter is then not contacted again; the server frees them once nobody pings them).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "com/Association.h"
#include "com/DcomIds.h"
#include "com/RemUnknownMessages.h"

namespace com {

class ExporterClient {
public:
    // candidates: the exporter's string bindings to try, in order, as host and port. Calls go
    // over the link (none: a link of its own).
    ExporterClient(std::string resolverHost, uint16_t resolverPort, OXID oxid, IPID remUnknown,
                   std::vector<HostPort> candidates, LinkPtr link = nullptr);
    ~ExporterClient();
    ExporterClient(const ExporterClient&) = delete;
    ExporterClient& operator=(const ExporterClient&) = delete;

    // A call on the exporter's association; the first call connects to the first candidate that
    // accepts (Association), which is the exporter's address from then on.
    HRESULT Call(const RpcRequest& request, RpcReply& reply);

    // An imported reference: its public references are released with the exporter (when the
    // last channel sharing it goes), and its OID is pinged meanwhile unless the server said not to.
    void AddReference(const IPID& ipid, OID oid, uint32_t publicRefs, bool ping);

    OXID Oxid() const { return m_oxid; }
    std::string Endpoint() const;  // "host port N" of the chosen binding, or of the first candidate
    const LinkPtr& GetLink() const { return m_link; }

private:
    void SendReleases();

    struct Held {
        IPID ipid;
        OID oid;
        uint32_t publicRefs;
        bool ping;
    };

    const std::string m_resolverHost;
    const uint16_t m_resolverPort;
    const OXID m_oxid;
    const IPID m_remUnknown;
    const LinkPtr m_link;
    const bool m_hasCandidates;
    Association m_association;
    std::mutex m_mutex;  // m_held
    std::vector<Held> m_held;
};

}  // namespace com
