#include "com/DcomArrays.h"

#include "com/DcomIds.h"

namespace com {

void WriteInterfacePointers(NdrWriter& w, const std::vector<std::vector<uint8_t>>& objrefs, uint32_t firstReferent) {
    w.ULong(uint32_t(objrefs.size()));
    uint32_t referent = firstReferent;
    for (const auto& objref : objrefs) {
        w.ULong(objref.empty() ? 0 : referent);
        if (!objref.empty()) referent += 4;
    }
    for (const auto& objref : objrefs) {
        if (objref.empty()) continue;
        w.ULong(uint32_t(objref.size()));  // conformance of abData
        w.ULong(uint32_t(objref.size()));  // ulCntData
        w.Raw(objref.data(), objref.size());
    }
}

bool ReadInterfacePointers(NdrReader& r, size_t expected, std::vector<std::vector<uint8_t>>& objrefs) {
    uint32_t n = 0;
    if (!r.ULong(n)) return false;
    if (n != expected) return r.Fail(NdrError::BadCount);
    std::vector<bool> present(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t ref = 0;
        if (!r.ULong(ref)) return false;
        present[i] = ref != 0;
    }
    objrefs.assign(n, {});
    for (uint32_t i = 0; i < n; ++i) {
        if (!present[i]) continue;
        uint32_t max = 0, count = 0;
        const uint8_t* data;
        if (!r.ULong(max) || !r.ULong(count)) return false;
        if (max != count || count == 0 || count > kMaxObjRefSize) return r.Fail(NdrError::BadCount);
        if (!r.View(data, count)) return false;
        objrefs[i].assign(data, data + count);
    }
    return true;
}

void WriteHResults(NdrWriter& w, const std::vector<HRESULT>& v) {
    w.ULong(uint32_t(v.size()));
    for (HRESULT hr : v) w.Long(hr);
}

bool ReadHResults(NdrReader& r, size_t expected, std::vector<HRESULT>& out) {
    uint32_t n = 0;
    if (!r.ULong(n)) return false;
    if (n != expected) return r.Fail(NdrError::BadCount);
    out.assign(n, S_OK);
    for (HRESULT& hr : out)
        if (!r.Long(hr)) return false;
    return true;
}

void WriteProtseqs(NdrWriter& w, const std::vector<uint16_t>& protseqs) {
    w.Short(int16_t(protseqs.size()));
    w.ULong(uint32_t(protseqs.size()));
    for (uint16_t p : protseqs) w.Short(int16_t(p));
}

bool ReadProtseqs(NdrReader& r, std::vector<uint16_t>& out) {
    int16_t n = 0;
    uint32_t max = 0;
    if (!r.Short(n) || !r.ULong(max)) return false;
    if (max != uint16_t(n) || max > kMaxProtseqs) return r.Fail(NdrError::BadCount);
    out.resize(max);
    for (uint16_t& p : out) {
        int16_t v;
        if (!r.Short(v)) return false;
        p = uint16_t(v);
    }
    return true;
}

}  // namespace com
