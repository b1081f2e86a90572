#include "com/InProcMarshal.h"

#include <map>
#include <mutex>

#include "com/InProcActivation.h"
#include "com/ObjRef.h"

namespace com {

namespace {

class TableMarshalService final : public IMarshalService {
public:
    HRESULT MarshalInterface(IUnknown* obj, REFIID iid, std::vector<uint8_t>& objref) override {
        if (!obj) return E_POINTER;
        void* itf = nullptr;
        HRESULT hr = obj->QueryInterface(iid, &itf);  // the table's reference
        if (FAILED(hr)) return hr;
        STDOBJREF std;
        std.cPublicRefs = 1;
        std.oxid = kInProcOxid;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std.oid = ++m_lastOid;
            m_table.emplace(std.oid, Entry{static_cast<IUnknown*>(itf), iid});
        }
        std.ipid = GUID{uint32_t(std.oid), uint16_t(std.oid >> 32), uint16_t(std.oid >> 48), {}};
        EncodeObjRef(MakeObjRefStandard(iid, std), objref);
        return S_OK;
    }

    HRESULT UnmarshalInterface(const uint8_t* data, size_t length, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        Entry e;
        HRESULT hr = Take(data, length, e);
        if (FAILED(hr)) return hr;
        hr = e.iid == iid ? InProcConnect(e.object, iid, ppv) : E_NOINTERFACE;
        e.object->Release();
        return hr;
    }

    HRESULT ReleaseMarshalData(const uint8_t* data, size_t length) override {
        Entry e;
        HRESULT hr = Take(data, length, e);
        if (SUCCEEDED(hr)) e.object->Release();
        return hr;
    }

private:
    struct Entry {
        IUnknown* object = nullptr;
        IID iid;
    };

    // Normal marshaling: an OBJREF is good for one unmarshal, which removes its entry.
    HRESULT Take(const uint8_t* data, size_t length, Entry& e) {
        ObjRefStandard ref;
        if (!DecodeObjRef(data, length, ref) || ref.std.oxid != kInProcOxid)
            return RPC_E_INVALID_OBJREF;
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_table.find(ref.std.oid);
        if (it == m_table.end() || !(it->second.iid == ref.iid)) return RPC_E_INVALID_OBJREF;
        e = it->second;
        m_table.erase(it);
        return S_OK;
    }

    std::mutex m_mutex;
    uint64_t m_lastOid = 0;
    std::map<uint64_t, Entry> m_table;
};

}  // namespace

IMarshalService* InProcMarshalService() {
    static TableMarshalService service;
    return &service;
}

}  // namespace com
