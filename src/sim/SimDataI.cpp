// IZentOKLInterface and IZentONAI: the per-extension data blocks and items that relocation
// carries between servers, kept as opaque bytes.
#include "ServeCall.h"

namespace sim {

namespace {

bool BadBlock(int32_t length, const uint8_t* bytes) {
    return length < 0 || std::size_t(length) > kMaxDataBlock || (length > 0 && !bytes);
}

template <class Map, class Key>
void RememberOld(UndoLog& undo, Map& map, const Key& key) {
    auto it = map.find(key);
    if (it == map.end()) undo.Add([&map, key] { map.erase(key); });
    else undo.Add([&map, key, old = it->second] { map[key] = old; });
}

}  // namespace

// Both size queries answer the data block's size: this server needs no buffer beyond the block.
com::HRESULT CSimServer::ExtDataSize(const char* method, const char* a1, int32_t* a2) {
    return Serve(
        method,
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            *a2 = 0;
            const std::string number = NumberArg(a1);
            if (number.empty()) return com::E_INVALIDARG;
            auto it = s.extData.find(number);
            if (it == s.extData.end()) return kNotFound;
            *a2 = int32_t(it->second.bytes.size());
            return com::S_OK;
        },
        [&] { ClearCount(a2); });
}

com::HRESULT CSimServer::QueryExtDataSize(const char* a1, int32_t* a2) {
    return ExtDataSize("QueryExtDataSize", a1, a2);
}

com::HRESULT CSimServer::QueryExtBufferSize(const char* a1, int32_t* a2) {
    return ExtDataSize("QueryExtBufferSize", a1, a2);
}

com::HRESULT CSimServer::ReadExtData(const char* a1, int32_t* a2, const int32_t* a3, uint8_t* a4) {
    // The reply carries as many bytes as were asked for (a3 is not returned): the block, then zeros.
    return Serve(
        "ReadExtData",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a2 || !a3 || !a4) return com::E_POINTER;
            if (*a3 < 0) return com::E_INVALIDARG;
            std::memset(a4, 0, std::size_t(*a3));
            const std::string number = NumberArg(a1);
            if (number.empty()) return com::E_INVALIDARG;
            auto it = s.extData.find(number);
            if (it == s.extData.end()) return kNotFound;
            const Bytes& b = it->second.bytes;
            if (std::size_t(*a3) < b.size()) return com::E_OUTOFMEMORY;
            if (!b.empty()) std::memcpy(a4, b.data(), b.size());
            *a2 = it->second.tag;
            return com::S_OK;
        },
        [] {});
}

com::HRESULT CSimServer::WriteExtData(const char* a1, int32_t a2, int32_t a3, const uint8_t* a4) {
    return Serve(
        "WriteExtData",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            const std::string number = NumberArg(a1);
            if (number.empty() || BadBlock(a3, a4)) return com::E_INVALIDARG;
            if (!s.FindRecord(number)) return kNotFound;
            RememberOld(undo, s.extData, number);
            s.extData[number] = ExtData{a2, Bytes(a4, a4 + a3)};
            undo.Touched(TouchKind::ExtData, number);
            return m_site->Commit(undo);
        },
        [] {});
}

com::HRESULT CSimServer::QueryItemSize(int32_t a1, int32_t a2, int32_t* a3) {
    return Serve(
        "QueryItemSize",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            if (!a3) return com::E_POINTER;
            *a3 = 0;
            auto it = s.items.find({a1, a2});
            if (it == s.items.end()) return kNotFound;
            *a3 = int32_t(it->second.size());
            return com::S_OK;
        },
        [&] { ClearCount(a3); });
}

com::HRESULT CSimServer::ReadItem(int32_t a1, int32_t a2, int32_t* a3, uint8_t* a4) {
    return Serve(
        "ReadItem",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            auto it = s.items.find({a1, a2});
            if (it == s.items.end()) {
                ClearCount(a3);
                return a3 && a4 ? kNotFound : com::E_POINTER;
            }
            return CopyOut(a3, a4, it->second);
        },
        [&] { ClearCount(a3); });
}

com::HRESULT CSimServer::WriteItem(int32_t a1, int32_t a2, int32_t a3, const uint8_t* a4) {
    return Serve(
        "WriteItem",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (BadBlock(a3, a4)) return com::E_INVALIDARG;
            const std::pair<int32_t, int32_t> key{a1, a2};
            RememberOld(undo, s.items, key);
            s.items[key] = Bytes(a4, a4 + a3);
            undo.Touched(TouchKind::Item, {}, key);
            return m_site->Commit(undo);
        },
        [] {});
}

com::HRESULT CSimServer::ReadONAData(const char* a1, int32_t* a2, uint8_t* a3) {
    return Serve(
        "ReadONAData",
        [&](SiteState& s, UndoLog&) -> com::HRESULT {
            const std::string number = NumberArg(a1);
            if (number.empty()) {
                ClearCount(a2);
                return com::E_INVALIDARG;
            }
            auto it = s.onaData.find(number);
            if (it == s.onaData.end()) {
                ClearCount(a2);
                return kNotFound;
            }
            return CopyOut(a2, a3, it->second);
        },
        [&] { ClearCount(a2); });
}

com::HRESULT CSimServer::WriteONAData(const char* a1, int32_t a2, const uint8_t* a3) {
    return Serve(
        "WriteONAData",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            const std::string number = NumberArg(a1);
            if (number.empty() || BadBlock(a2, a3)) return com::E_INVALIDARG;
            if (!s.FindRecord(number)) return kNotFound;
            RememberOld(undo, s.onaData, number);
            s.onaData[number] = Bytes(a3, a3 + a2);
            undo.Touched(TouchKind::OnaData, number);
            return m_site->Commit(undo);
        },
        [] {});
}

}  // namespace sim
