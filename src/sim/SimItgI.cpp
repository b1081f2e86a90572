// IZentITGTableSetupI: the tie-trunk routing that access-code checks consult.
#include "ServeCall.h"

#include "sim/SysConfig.h"

namespace sim {

com::HRESULT CSimServer::GetLocationCodeLength(int32_t* a1) {
    return Serve(
        "GetLocationCodeLength",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a1) return com::E_POINTER;
            *a1 = 0;
            if (!s.system.tieTrunk) return com::E_FAIL;  // no tie-trunk routing
            *a1 = s.system.tieTrunk->locationCodeLength;
            return com::S_OK;
        },
        [&] { ClearCount(a1); });
}

com::HRESULT CSimServer::GetITGTable(int32_t* a1, uint8_t* a2) {
    return Serve(
        "GetITGTable",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!s.system.tieTrunk) {
                ClearCount(a1);
                return com::E_FAIL;
            }
            std::vector<uint8_t> table = BuildItgTable(*s.system.tieTrunk);
            if (s.faults.itgTableBytes) table.resize(*s.faults.itgTableBytes, 0);
            return CopyOut(a1, a2, table);
        },
        [&] { ClearCount(a1); });
}

}  // namespace sim
