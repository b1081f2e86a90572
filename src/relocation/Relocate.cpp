// Moving an extension onto this relocator's server from its old home: the record (merged with
// the old home's, and no longer forwarding), the workgroup with its members, the data blocks and
// items, the mailbox. The record goes first and in one request: when the server refuses it,
// nothing else is sent, so the new home is left as it was and the move can simply be run again.
// What did not arrive after that is a warning in the last error, one line each.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "com/RpcError.h"
#include "platform/Strings.h"
#include "proxy/Interfaces.h"
#include "relocation/Reloc.h"
#include "server/OwnExtension.h"
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

// Collects what did not arrive, one line each, for the destination's last error.
class Warnings {
public:
    Warnings(std::string_view number, server::CZentServ* source, server::CZentServ* dest)
        : m_number(number), m_source(source->GetName()), m_dest(dest->GetName()) {}
    // A block whose copy failed with `hr` (the read's or the write's); `what` names the block.
    void Block(int what, com::HRESULT hr) {
        Add(platform::FormatString(46105, platform::LoadString(what), m_number, m_source, m_dest,
                                   static_cast<uint32_t>(hr)));
    }
    void Add(const std::string& line) {
        if (!m_text.empty()) m_text += '\n';
        m_text += line;
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_number, m_source, m_dest, m_text;
};

}  // namespace

bool CReloc::RelocateCommon(std::string_view numberView, server::CZentServ* source, bool copyMailbox, bool v48) {
    server::CZentServ* dest = m_pServer;
    if (!source) return false;
    const std::string number(numberView);
    dest->SetLastError({});  // what is left here after a success are warnings
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

    // The new home's record is (still) a forwarding copy: it becomes the extension, in the same
    // request that carries the old home's settings.
    const bool ownAgain = server::ForwardsByDialString(held);
    IZentChangeI* change = dest->GetChangeInterface();
    if (!change && ownAgain) {
        dest->SetLastError("Failed to get IZentChangeI interface.\n");
        return false;
    }
    Warnings warnings(number, source, dest);
    if (change) {
        const server::ExtRec request(buf, L);
        if (ownAgain) server::StopForwarding(request);
        MergeExtRec(request, source);
        // The request is the replace request itself; the buffer's further bytes are not part of it.
        const com::HRESULT hr = dest->SendChange("ReplaceExtension", number, buf, 2 * L + 4, {held.data(), L},
                                                 [&] { return change->ReplaceExtension(int32_t(2 * L + 4), buf); });
        if (hr != com::S_OK) {
            std::string text = platform::FormatString(44629, number, static_cast<uint32_t>(hr));
            if (com::IsTransportFailure(hr)) {
                dest->NoteTransportFailure(hr);
                text += dest->GetLastError();
            }
            dest->SetLastError(text);
            return false;
        }
        std::memcpy(held.data(), buf, L);

        const server::WORKGRPREC group = dest->HeldGroupRec(number);
        if (held.ExtensionType() == server::exttype::kWorkgroup && group) {
            // The held record is as long as the server's list said; only those bytes are merged
            // and taken back.
            const size_t G = std::min(group.size(), server::workgrp::kDefinedSize);
            std::memset(buf, 0, server::workgrp::kDefinedSize);
            std::memcpy(buf, group.data(), G);
            MergeGroupRec(server::WORKGRPREC(buf, G), source);
            const com::HRESULT replaced =
                dest->SendChange("ReplaceWorkgroup", number, buf, server::workgrp::kDefinedSize, {group.data(), G},
                                 [&] { return change->ReplaceWorkgroup(int32_t(server::workgrp::kDefinedSize), buf); });
            for (const std::string& member : Members(dest, number)) dest->RemoveFromGroups(member, number);
            for (const std::string& member : Members(source, number)) dest->AddToGroup(member, number);
            if (replaced == com::S_OK) {
                std::memcpy(group.data(), buf, G);
            } else {
                warnings.Block(46109, replaced);
                // The membership requests went through; the rest of the record did not.
                if (server::workgrp::kMembers < G)
                    std::memcpy(group.data() + server::workgrp::kMembers, buf + server::workgrp::kMembers,
                                G - server::workgrp::kMembers);
            }
        }
    }

    IZentOKLInterface* destData = dest->GetOKLInterface();
    if (destData && sourceData) {
        if (haveDataSize) {
            std::memset(buf, 0, B);
            int32_t tag = 0;
            const int32_t size = dataSize;
            // The old home said it has a block of that size: not getting it across is a loss.
            com::HRESULT hr = sourceData->ReadExtData(number.c_str(), &tag, &size, buf);
            if (com::SUCCEEDED(hr))
                hr = dest->SendChange("WriteExtData", number, buf, size_t(size), {},
                                      [&] { return destData->WriteExtData(number.c_str(), tag, size, buf); });
            if (com::FAILED(hr)) warnings.Block(46106, hr);
        }
        int32_t key = 0;
        if (v48 && SameVersion(source) && ItemKey(number, key)) {
            int32_t size = 0;
            // A failed query, or nothing to carry: the new home's item is left as it is.
            if (Believable(sourceData->QueryItemSize(kItemKind, key, &size), size) && size > 0) {
                std::unique_ptr<uint8_t[]> item(new (std::nothrow) uint8_t[size_t(size) + 8]());
                int32_t got = size;
                com::HRESULT hr = item ? sourceData->ReadItem(kItemKind, key, &got, item.get()) : com::E_OUTOFMEMORY;
                if (com::SUCCEEDED(hr) && (got < 0 || got > size)) hr = com::E_UNEXPECTED;
                if (com::SUCCEEDED(hr))
                    hr = dest->SendChange("WriteItem", number, item.get(), size_t(got) + 8, {},
                                          [&] { return destData->WriteItem(kItemKind, key, got + 8, item.get()); });
                if (com::FAILED(hr)) warnings.Block(46107, hr);
            }
        }
    }

    IZentONAI* sourceOna = source->GetONAInterface();
    IZentONAI* destOna = dest->GetONAInterface();
    if (sourceOna && destOna) {
        std::memset(buf, 0, B);
        int32_t size = int32_t(kOnaCapacity);
        // Most extensions have no such block: a read that fails finds nothing to carry, unless the
        // old home could not be reached.
        com::HRESULT hr = sourceOna->ReadONAData(number.c_str(), &size, buf);
        if (com::SUCCEEDED(hr)) {
            if (size >= 0 && size_t(size) <= kOnaCapacity)
                hr = dest->SendChange("WriteONAData", number, buf, size_t(size), {},
                                      [&] { return destOna->WriteONAData(number.c_str(), size, buf); });
            else hr = com::E_UNEXPECTED;
            if (com::FAILED(hr)) warnings.Block(46108, hr);
        } else if (com::IsTransportFailure(hr)) {
            warnings.Block(46108, hr);
        }
    }

    if (v48 && copyMailbox) {
        std::string why;
        // Journalled as a change of its own: an undo says the copy stays.
        const com::HRESULT copied = dest->SendChange("CopyMailbox", number, nullptr, 0, {}, [&] {
            return CopyMailbox(number, source, why) ? com::S_OK : com::E_FAIL;
        });
        if (copied != com::S_OK) {
            if (copied == server::kNotJournalled) why = dest->GetLastError();
            warnings.Add(platform::FormatString(46101, number, source->GetName(), dest->GetName(), why));
        }
    }
    dest->SetLastError(warnings.Text());
    return true;
}

}  // namespace relocation
