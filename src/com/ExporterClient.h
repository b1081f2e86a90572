// A remote object exporter as this process sees it: where it listens, its IRemUnknown, and the
// references held on its objects. Every channel to one of its objects shares it; when the last
// one goes, the references are released in one IRemUnknown::RemRelease.
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
    // candidates: the exporter's string bindings to try, in order, as host and port.
    ExporterClient(std::string resolverHost, uint16_t resolverPort, OXID oxid, IPID remUnknown,
                   std::vector<std::pair<std::string, uint16_t>> candidates);
    ~ExporterClient();
    ExporterClient(const ExporterClient&) = delete;
    ExporterClient& operator=(const ExporterClient&) = delete;

    // A call on the exporter's association; the first call settles on the first candidate that
    // accepts a connection.
    HRESULT Call(const RpcRequest& request, RpcReply& reply);

    // An imported reference: its public references are released with the exporter (when the
    // last channel sharing it goes), and its OID is pinged meanwhile unless the server said not to.
    void AddReference(const IPID& ipid, OID oid, uint32_t publicRefs, bool ping);

    OXID Oxid() const { return m_oxid; }
    std::string Endpoint() const;  // "host port N" of the chosen binding, or of the first candidate

private:
    void SendReleases();

    struct Held {
        IPID ipid;
        OID oid;
        uint32_t publicRefs;
        bool ping;
    };

    std::string m_resolverHost;
    uint16_t m_resolverPort;
    OXID m_oxid;
    IPID m_remUnknown;
    std::vector<std::pair<std::string, uint16_t>> m_candidates;
    size_t m_chosen = 0;
    bool m_settled = false;
    std::mutex m_mutex;
    std::unique_ptr<Association> m_association;
    std::vector<Held> m_held;
};

}  // namespace com
