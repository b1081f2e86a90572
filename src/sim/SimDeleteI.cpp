// IZentDeleteI: deleting records and workgroups.
#include "ServeCall.h"

#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace sim {

com::HRESULT CSimServer::DeleteExtension(int32_t a1, const uint8_t* a2, int32_t* a3, uint8_t* a4) {
    return Serve(
        "DeleteExtension",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2 || !a3 || !a4) return com::E_POINTER;
            const std::size_t L = s.system.recordLength;
            if (a1 != int32_t(L) || *a3 < int32_t(L)) {
                *a3 = 0;
                return com::E_INVALIDARG;
            }
            const std::string number(server::ConstExtRec(a2, L).ExtensionNumber());
            *a3 = 0;
            if (!IsValidNumber(number)) return com::E_INVALIDARG;
            if (!s.FindRecord(number)) return kNotFound;
            if (s.FindWorkgroup(number)) return kInUse;  // the group goes first
            Bytes old = *s.RemoveRecord(number, &undo);
            // The extension's data blocks go with it.
            if (auto it = s.extData.find(number); it != s.extData.end()) {
                undo.Add([&s, number, d = it->second] { s.extData[number] = d; });
                s.extData.erase(it);
                undo.Touched(TouchKind::ExtData, number);
            }
            if (auto it = s.onaData.find(number); it != s.onaData.end()) {
                undo.Add([&s, number, d = it->second] { s.onaData[number] = d; });
                s.onaData.erase(it);
                undo.Touched(TouchKind::OnaData, number);
            }
            const com::HRESULT hr = m_site->Commit(undo);
            if (hr == com::S_OK) {
                std::memcpy(a4, old.data(), L);
                *a3 = int32_t(L);
            }
            return hr;
        },
        [&] { ClearCount(a3); });
}

com::HRESULT CSimServer::DeleteWorkgroup(int32_t a1, const uint8_t* a2) {
    return Serve(
        "DeleteWorkgroup",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            if (a1 != int32_t(server::request::kWorkgroupKeySize)) return com::E_INVALIDARG;
            const std::string number(server::FieldText(a2, server::request::kWorkgroupKeySize));
            if (!IsValidNumber(number)) return com::E_INVALIDARG;
            if (!s.RemoveWorkgroup(number, &undo)) return kNotFound;
            return m_site->Commit(undo);
        },
        [] {});
}

}  // namespace sim
