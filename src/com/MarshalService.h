// The hook through which proxies and stubs turn interface pointers into OBJREF bytes and back.
// Every channel supplies its own: the in-process channel keeps objects in a local table, a
// network transport exports them to its object exporter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "com/Unknown.h"

namespace com {

class IMarshalService {
public:
    // Writes the OBJREF for obj's interface iid (obj must support it). Normal marshaling: the
    // data is good for one unmarshal; ReleaseMarshalData undoes a marshal that was never used.
    virtual HRESULT MarshalInterface(IUnknown* obj, REFIID iid, std::vector<uint8_t>& objref) = 0;
    // Gives a reference on interface iid of the object the OBJREF names (normally a proxy).
    virtual HRESULT UnmarshalInterface(const uint8_t* objref, size_t length, REFIID iid, void** ppv) = 0;
    virtual HRESULT ReleaseMarshalData(const uint8_t* objref, size_t length) = 0;

protected:
    ~IMarshalService() = default;
};

}  // namespace com
