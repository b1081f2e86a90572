// Moving an extension onto this relocator's server from its old home: the record (merged with
// the old home's), the workgroup with its members, the data blocks and items, the mailbox. Each
// step changes the server as it goes; a later failure undoes nothing.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "platform/Strings.h"
#include "proxy/Interfaces.h"
#include "relocation/Reloc.h"
#include "server/ServProv.h"

namespace relocation {
namespace {

// A size a server reports for a data block is believed only this far.
constexpr int32_t kMaxBlock = 64 << 20;
constexpr int32_t kItemKind = 4;
constexpr size_t kOnaCapacity = 1024;

bool Believable(com::HRESULT hr, int32_t size) { return com::SUCCEEDED(hr) && size >= 0 && size <= kMaxBlock; }

// The item key of a number: its decimal value, when it is nothing but digits and fits.
bool ItemKey(std::string_view number, int32_t& key) {
    if (number.empty()) return false;
    int64_t v = 0;
    for (char c : number) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<int32_t>::max()) return false;
    }
    key = int32_t(v);
    return true;
}

std::vector<std::string> Members(server::CZentServ* conn, std::string_view group) {
    std::vector<std::string> list;  // a fresh list for each site
    conn->GetGroupMembers(group, list);
    return list;
}

}  // namespace

bool CReloc::RelocateCommon(std::string_view numberView, server::CZentServ* source, bool copyMailbox, bool v48) {
    server::CZentServ* dest = m_pServer;
    if (!source) return false;
    const std::string number(numberView);
    dest->SetLastError({});  // what is left here after a success is a warning
    uint16_t version = 0, recordLength = 0;
    dest->GetVersionInfo(version, recordLength);
    const size_t L = recordLength;

    IZentOKLInterface* sourceData = source->GetOKLInterface();
    int32_t dataSize = 0, bufferSize = 0;
    bool haveDataSize = false;
    size_t B = std::max<size_t>(2 * L + 4, server::workgrp::kDefinedSize);
    if (sourceData) {
        haveDataSize = Believable(sourceData->QueryExtDataSize(number.c_str(), &dataSize), dataSize);
        if (haveDataSize) B = std::max(B, size_t(dataSize));
        if (Believable(sourceData->QueryExtBufferSize(number.c_str(), &bufferSize), bufferSize))
            B = std::max(B, size_t(bufferSize));
    }
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[B]());
    if (!buffer) {
        dest->SetLastError("Failed to allocate memory.\n");
        return false;
    }
    uint8_t* buf = buffer.get();

    const server::ExtRec held = dest->HeldExtRec(number);
    if (!held) {
        dest->SetLastError("Failed to find the extension record.\n");
        return false;
    }
    std::memcpy(buf, held.data(), L);
    std::memcpy(buf + L, held.data(), L);
    server::ExtRec(buf + 2 * L, 4).SetI32(0, server::request::kReplaceTrailer);

    bool result = true;
    if (IZentChangeI* change = dest->GetChangeInterface()) {
        MergeExtRec(server::ExtRec(buf, L), source);
        // The request is the replace request itself; the buffer's further bytes are not part of it.
        const com::HRESULT hr = change->ReplaceExtension(int32_t(2 * L + 4), buf);
        if (hr == com::S_OK) {
            std::memcpy(held.data(), buf, L);
        } else {
            dest->SetLastError(platform::FormatString(44629, number, static_cast<uint32_t>(hr)));
            result = false;
        }

        const server::WORKGRPREC group = dest->HeldGroupRec(number);
        if (held.ExtensionType() == server::exttype::kWorkgroup && group) {
            // The held record is as long as the server's list said; only those bytes are merged
            // and taken back.
            const size_t G = std::min(group.size(), server::workgrp::kDefinedSize);
            std::memset(buf, 0, server::workgrp::kDefinedSize);
            std::memcpy(buf, group.data(), G);
            MergeGroupRec(server::WORKGRPREC(buf, G), source);
            const com::HRESULT replaced =
                change->ReplaceWorkgroup(int32_t(server::workgrp::kDefinedSize), buf);
            for (const std::string& member : Members(dest, number)) dest->RemoveFromGroups(member, number);
            for (const std::string& member : Members(source, number)) dest->AddToGroup(member, number);
            if (replaced == com::S_OK) {
                std::memcpy(group.data(), buf, G);
            } else if (server::workgrp::kMembers < G) {
                // The membership requests went through; the rest of the record did not.
                std::memcpy(group.data() + server::workgrp::kMembers, buf + server::workgrp::kMembers,
                            G - server::workgrp::kMembers);
            }
        }
    }

    IZentOKLInterface* destData = dest->GetOKLInterface();
    if (result && destData && sourceData) {
        if (haveDataSize) {
            std::memset(buf, 0, B);
            int32_t tag = 0;
            const int32_t size = dataSize;
            if (com::SUCCEEDED(sourceData->ReadExtData(number.c_str(), &tag, &size, buf)))
                destData->WriteExtData(number.c_str(), tag, size, buf);
        }
        int32_t key = 0;
        if (v48 && SameVersion(source) && ItemKey(number, key)) {
            int32_t size = 0;
            // A failed query, or nothing to carry: the new home's item is left as it is.
            if (Believable(sourceData->QueryItemSize(kItemKind, key, &size), size) && size > 0) {
                std::unique_ptr<uint8_t[]> item(new (std::nothrow) uint8_t[size_t(size) + 8]());
                int32_t got = size;
                if (item && com::SUCCEEDED(sourceData->ReadItem(kItemKind, key, &got, item.get())) && got >= 0 &&
                    got <= size)
                    destData->WriteItem(kItemKind, key, got + 8, item.get());
            }
        }
    }

    IZentONAI* sourceOna = source->GetONAInterface();
    IZentONAI* destOna = dest->GetONAInterface();
    if (sourceOna && destOna) {
        std::memset(buf, 0, B);
        int32_t size = int32_t(kOnaCapacity);
        if (com::SUCCEEDED(sourceOna->ReadONAData(number.c_str(), &size, buf)) && size >= 0 &&
            size_t(size) <= kOnaCapacity)
            destOna->WriteONAData(number.c_str(), size, buf);
    }

    if (v48 && copyMailbox) {
        std::string why;
        if (!CopyMailbox(number, source, why) && result)
            dest->SetLastError(platform::FormatString(46101, number, source->GetName(), dest->GetName(), why));
    }
    return result;
}

}  // namespace relocation
