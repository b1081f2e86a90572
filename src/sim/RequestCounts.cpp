#include "sim/RequestCounts.h"

namespace sim {

void RequestCounts::Count(com::RpcServerEvent event) {
    switch (event) {
    case com::RpcServerEvent::Accepted: ++connections; break;
    case com::RpcServerEvent::BindAck:
    case com::RpcServerEvent::BindNak: ++binds; break;
    case com::RpcServerEvent::AlterContextResp: ++alterContexts; break;
    case com::RpcServerEvent::Response:
    case com::RpcServerEvent::Fault: ++requests; break;
    }
}

std::string RequestCounts::Text() const {
    return std::to_string(requests.load()) + " requests on " + std::to_string(connections.load()) + " connections (" +
           std::to_string(binds.load()) + " binds, " + std::to_string(alterContexts.load()) + " alter_contexts)";
}

}  // namespace sim
