// The client channel of one imported interface reference: calls go as ORPC requests to the
// object's exporter, with the reference's IPID as the object id.
#pragma once

#include <memory>

#include "com/DcomIds.h"
#include "com/ExporterClient.h"
#include "com/RpcInterfaces.h"

namespace com {

// One reference on the new channel; null when out of memory.
IRpcChannelBuffer* CreateTcpChannel(std::shared_ptr<ExporterClient> exporter, const IPID& ipid, const IID& iid);

}  // namespace com
