// Keeps this process's references on remote objects alive: a server releases objects nobody
// pinged for a few ping periods. One background thread pings each resolver's set of OIDs over an
// association of its own, so it never interleaves with the caller's calls.
#pragma once

#include <cstdint>
#include <string>

#include "com/DcomIds.h"

namespace com {

// Starts pinging oid at the resolver host:port (counted: each Add needs its Remove).
void PingerAdd(const std::string& host, uint16_t port, OID oid);
void PingerRemove(const std::string& host, uint16_t port, OID oid);

// Stops the thread after telling every resolver which OIDs are no longer held (bounded by the
// call timeout). Pinging starts again with the next PingerAdd.
void PingerShutdown();

// Diagnostics and tests: while disabled, nothing is sent (the references then expire on the
// servers); the OIDs stay registered.
void SetPingingEnabled(bool enabled);

// How many pings (simple or complex) the pinger has sent successfully since the process began.
uint64_t PingsSent();

}  // namespace com
