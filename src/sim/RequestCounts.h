// What a served site answered, counted by kind: each is one round trip for its client.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "com/RpcServer.h"

namespace sim {

struct RequestCounts {
    std::atomic<uint64_t> connections{0};    // accepted
    std::atomic<uint64_t> binds{0};          // answered with bind_ack or bind_nak
    std::atomic<uint64_t> alterContexts{0};  // answered
    std::atomic<uint64_t> requests{0};       // answered with a response or a fault

    void Count(com::RpcServerEvent event);
    uint64_t RoundTrips() const { return connections + binds + alterContexts + requests; }
    // "12 requests on 2 connections (2 binds, 5 alter_contexts)"
    std::string Text() const;
};

}  // namespace sim
