// Keeps this process's references on remote objects alive: a server releases objects nobody
// pinged for a few ping periods. One background thread pings each resolver's set of OIDs over an
// association of its own, so it never interleaves with the caller's calls; the sets due are
// pinged side by side, so a server that does not answer holds up no other.
#pragma once

#include <cstdint>
#include <string>

#include "com/DcomIds.h"

namespace com {

// Starts pinging oid at the resolver host:port (counted: each Add needs its Remove).
void PingerAdd(const std::string& host, uint16_t port, OID oid);
void PingerRemove(const std::string& host, uint16_t port, OID oid);
// As PingerRemove, for a server that was lost: the OID is dropped here and the server is not
// told (it frees the object when the pings stop).
void PingerForget(const std::string& host, uint16_t port, OID oid);

// Stops the thread, then tells every resolver which OIDs are no longer held, all resolvers at
// once (bounded by the connect budget and the call timeout). Pinging starts again with the next
// PingerAdd.
void PingerShutdown();

// Diagnostics and tests: while disabled, nothing is sent (the references then expire on the
// servers); the OIDs stay registered.
void SetPingingEnabled(bool enabled);

// How many pings (simple or complex) the pinger has sent successfully since the process began.
uint64_t PingsSent();

}  // namespace com
