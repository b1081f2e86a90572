// IZentGetI: the system configuration, the record length and the two lists.
#include "ServeCall.h"

#include "server/ExtRec.h"
#include "server/WorkgrpRec.h"
#include "sim/SysConfig.h"

namespace sim {

namespace {

// Copies stored records back to back into out, followed by `extra` zero bytes.
template <class Map>
com::HRESULT CopyList(const Map& map, std::size_t length, std::size_t extra, int32_t* count, uint8_t* out) {
    if (!count || !out) return com::E_POINTER;
    const std::size_t total = map.size() * length + extra;
    if (*count < 0 || static_cast<std::size_t>(*count) < total) {
        const bool negative = *count < 0;
        *count = 0;
        return negative ? com::E_INVALIDARG : com::E_OUTOFMEMORY;
    }
    uint8_t* p = out;
    for (const auto& [number, stored] : map) {
        std::memcpy(p, stored.bytes.data(), length);
        p += length;
    }
    std::memset(p, 0, extra);
    *count = static_cast<int32_t>(total);
    return com::S_OK;
}

}  // namespace

com::HRESULT CSimServer::GetSystemConfig(int32_t* a1, uint8_t* a2) {
    return Serve(
        "GetSystemConfig",
        [&](SiteState& s, UndoLog&) { return CopyOut(a1, a2, BuildSysConfigTable(s.system)); },
        [&] { ClearCount(a1); });
}

com::HRESULT CSimServer::GetRecordDefinition(uint8_t a1, int32_t* a2, uint8_t* a3) {
    return Serve(
        "GetRecordDefinition",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a2 || !a3) return com::E_POINTER;
            if (a1 != 1 || *a2 < 0) {
                *a2 = 0;
                return com::E_INVALIDARG;
            }
            if (s.faults.recordDefinitionFillsCapacity) {
                std::memset(a3, 0, static_cast<std::size_t>(*a2));  // the whole capacity, as if no record came
                return com::S_OK;
            }
            // An empty record of the site's length: only its length matters to clients.
            Bytes templ(s.system.recordLength, 0);
            server::ExtRec rec(templ.data(), templ.size());
            rec.SetRecordVersion(s.system.version);
            rec.SetRecordSize(s.system.recordLength);
            return CopyOut(a2, a3, templ);
        },
        [&] { ClearCount(a2); });
}

com::HRESULT CSimServer::GetExtensionList(int32_t* a1, uint8_t* a2) {
    return Serve(
        "GetExtensionList",
        [&](SiteState& s, UndoLog&) {
            return CopyList(s.Records(), s.system.recordLength, s.faults.extensionListExtraBytes, a1, a2);
        },
        [&] { ClearCount(a1); });
}

com::HRESULT CSimServer::GetWorkgroupList(int32_t* a1, uint8_t* a2) {
    return Serve(
        "GetWorkgroupList",
        [&](SiteState& s, UndoLog&) {
            const uint32_t length = s.faults.workgroupRecordLength ? s.faults.workgroupRecordLength : kWorkgroupLength;
            const com::HRESULT hr = CopyList(s.Workgroups(), length, s.faults.workgroupListExtraBytes, a1, a2);
            // Each listed record says the length it was listed with.
            if (hr == com::S_OK && length != kWorkgroupLength)
                for (std::size_t i = 0; i < s.Workgroups().size(); ++i)
                    server::WORKGRPREC(a2 + i * length, length).SetRecordSize(static_cast<uint16_t>(length));
            return hr;
        },
        [&] { ClearCount(a1); });
}

}  // namespace sim
