// A change plan: the change calls a connection would send, recorded instead of sent. A connection
// given a plan builds every request exactly as for the server and hands it here; the server is
// not called and the call counts as confirmed, so whatever follows (the connection's own records,
// the document's rows) goes on as after a real run. The plan is what a dry run shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace server {

struct PlannedCall {
    std::string site;                // the connection's site name
    std::string method;              // the remote method, or "Relocate"
    std::string number;              // the extension or group number the call is about
    std::vector<std::uint8_t> data;  // the request bytes as they would be sent
    std::string source;              // Relocate: the site the extension comes from
    bool withMailbox = false;        // Relocate: the voice mailbox goes along
};

class CChangePlan {
public:
    void Add(PlannedCall call) { m_calls.push_back(std::move(call)); }
    const std::vector<PlannedCall>& Calls() const { return m_calls; }
    void Clear() { m_calls.clear(); }

private:
    std::vector<PlannedCall> m_calls;
};

}  // namespace server
