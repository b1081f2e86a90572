#include "proxy/InterfaceTable.h"

#include "proxy/InterfaceList.h"

namespace zent {

const InterfaceEntry kInterfaceTable[kInterfaceCount] = {
#define QOB_TABLE_ENTRY(index, name, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7, count) \
    {#name, com::MakeGuid(d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7), count},
    QOB_INTERFACES(QOB_TABLE_ENTRY)
#undef QOB_TABLE_ENTRY
};

bool LookupInterface(const com::IID& iid, int& index) {
    // Fixed binary search over the 16 sorted identifiers: entry 8 first, then steps of 4, 2, 1.
    int start;
    int c = com::GuidCompare(iid, kInterfaceTable[8].iid);
    if (c == 0) {
        index = 8;
        return true;
    }
    start = c < 0 ? -1 : 8;
    for (int step : {4, 2, 1}) {
        int probe = start + step;  // at most 8 + 4 + 2 + 1 = 15, at least -1 + 1 = 0
        c = com::GuidCompare(iid, kInterfaceTable[probe].iid);
        if (c >= 0) {
            start = probe;
            if (c == 0) {
                index = start;
                return true;
            }
        }
    }
    int candidate = start + 1;
    if (candidate < kInterfaceCount && com::GuidCompare(iid, kInterfaceTable[candidate].iid) == 0) {
        index = candidate;
        return true;
    }
    return false;
}

}  // namespace zent
