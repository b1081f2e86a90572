// Loading a site's extension and workgroup lists: one buffer each, records addressed inside it.
#include "connection/SPDCOM.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>

#include "platform/Trace.h"
#include "server/RecordList.h"

namespace server {
namespace {

using platform::TraceF;

constexpr uint32_t kInitialListCapacity = 160000;
constexpr uint32_t kListCapacityLimit = 0x4000000;
// Sites load in parallel: the shared capacity only ever grows, whichever site raises it.
std::atomic<uint32_t> g_listCapacity{kInitialListCapacity};

void RaiseListCapacity(uint32_t bytes) {
    uint32_t now = g_listCapacity.load();
    while (now < bytes && !g_listCapacity.compare_exchange_weak(now, bytes)) {
    }
}

// How long each site's extension list was when it was last loaded in this process, by address.
// Nothing the server tells before the list says how long it is, so a site's first load finds out
// by doubling; a later one asks once unless the list grew by more than a quarter.
class SeenListSizes {
public:
    std::optional<uint32_t> Find(const std::string& address) {
        std::lock_guard lock(m_mutex);
        auto it = m_bytes.find(address);
        if (it == m_bytes.end()) return std::nullopt;
        return it->second;
    }
    void Note(const std::string& address, uint32_t bytes) {
        std::lock_guard lock(m_mutex);
        m_bytes.insert_or_assign(address, bytes);
    }
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_bytes.clear();
    }

private:
    std::mutex m_mutex;
    std::map<std::string, uint32_t, std::less<>> m_bytes;
};

SeenListSizes& SeenSizes() {
    static SeenListSizes sizes;
    return sizes;
}

// The capacity a site whose list was `bytes` long is offered at least: a quarter more, so the
// list may have grown by as much (a synchronisation adds copies) and still come in one call.
uint32_t CapacityAfter(uint32_t bytes) {
    const uint64_t wanted = uint64_t(bytes) + bytes / 4;
    return uint32_t(std::clamp<uint64_t>(wanted, kInitialListCapacity, CZentServDcom::kMaxListCapacity));
}

}  // namespace

uint32_t CZentServDcom::ListCapacity() { return g_listCapacity; }
void CZentServDcom::SetListCapacity(uint32_t bytes) {
    g_listCapacity = bytes;
    SeenSizes().Forget();
}

void CZentServDcom::ReleaseLists() {
    m_records.clear();
    m_bRecordWalkValid = false;
    m_ownRecords.clear();
    m_extList.Reset();
    m_extUsed = 0;
    m_groups.clear();
    m_ownGroups.clear();
    m_groupList.Reset();
    m_groupUsed = 0;
    m_summaries.clear();
    m_cursor = m_summaries.end();
}

bool CZentServDcom::LoadExtensions() {
    ReleaseLists();
    if (!m_pGet && (!ConnectInterfaces() || !m_pGet)) return false;

    ListBuffer buffer;
    int32_t length = 0;
    bool haveList = false;
    const std::optional<uint32_t> seen = SeenSizes().Find(m_strAddress);
    uint32_t capacity = std::max(g_listCapacity.load(), seen ? CapacityAfter(*seen) : 0u);
    for (bool first = true;; first = false) {
        if (!buffer.Allocate(capacity)) {
            platform::Trace("Alloc memory error while getting extension list\n");
            return false;
        }
        if (first) {
            int32_t defined = static_cast<int32_t>(capacity);
            const Step step(*this, "reading its record definition");
            NoteTransportFailure(m_pGet->GetRecordDefinition(1, &defined, buffer.data()));
            // A reply that fills the whole capacity is no record; nor is one of no bytes or one
            // longer than a record length can be.
            if (defined == static_cast<int32_t>(capacity) || defined <= 0 || defined > 0xFFFF) return false;
            m_wRecordLength = static_cast<uint16_t>(defined);
        }
        length = static_cast<int32_t>(capacity);
        const Step step(*this, "reading its extension list");
        const com::HRESULT hr = m_pGet->GetExtensionList(&length, buffer.data());
        if (hr == com::E_OUTOFMEMORY) {
            buffer.Reset();
            // The kept capacity never passes the largest one offered, so a later load in the
            // process still asks for a list the channel can carry.
            const uint64_t doubled = uint64_t(capacity) * 2u;
            const uint32_t kept = uint32_t(std::min<uint64_t>(doubled, kMaxListCapacity));
            RaiseListCapacity(kept);
            // Another site may have found a larger list meanwhile: its capacity is tried at once.
            capacity = std::max(kept, g_listCapacity.load());
            if (doubled < kListCapacityLimit) continue;
            platform::Trace("Failed to get extension record list\n");
            return false;
        }
        if (com::FAILED(hr)) {
            TraceF("Failed to get extension list, hr = %d\n", static_cast<int>(hr));
            NoteTransportFailure(hr);
            return false;
        }
        haveList = true;
        break;
    }
    if (!haveList) return false;
    platform::Trace("Extension list is obtained\n");

    if (length < 0 || static_cast<size_t>(length) > buffer.size()) return false;
    std::optional<ExtList> list = CutExtList(buffer.data(), static_cast<size_t>(length), m_wRecordLength);
    if (!list) return false;

    m_extList = std::move(buffer);  // the records stay where they arrived
    m_extUsed = static_cast<size_t>(length);
    SeenSizes().Note(m_strAddress, static_cast<uint32_t>(length));
    list = CutExtList(m_extList.data(), m_extUsed, m_wRecordLength);
    size_t groups = 0;
    for (ExtRec rec : *list) {
        const std::string number(rec.ExtensionNumber());
        // A server lists its records in number order: the hint makes each insertion constant time.
        m_summaries.insert_or_assign(m_summaries.end(), number, BuildExtSummary(rec, m_strName));
        m_records.insert_or_assign(m_records.end(), number, rec);
        if (rec.ExtensionType() == exttype::kWorkgroup) ++groups;
    }
    m_cursor = m_summaries.end();

    if (groups > 0) {
        ListBuffer groupBuffer;
        if (!groupBuffer.Allocate(groups * workgrp::kDefinedSize)) return true;
        int32_t groupLength = static_cast<int32_t>(groupBuffer.size());
        const Step step(*this, "reading its workgroup list");
        const com::HRESULT hr = m_pGet->GetWorkgroupList(&groupLength, groupBuffer.data());
        NoteTransportFailure(hr);
        if (hr == com::S_OK && groupLength >= 0 &&
            static_cast<size_t>(groupLength) <= groupBuffer.size()) {
            m_groupList = std::move(groupBuffer);
            m_groupUsed = static_cast<size_t>(groupLength);
            std::optional<WorkgroupList> wl = CutWorkgroupList(m_groupList.data(), static_cast<size_t>(groupLength));
            if (!wl) return false;
            for (WORKGRPREC g : *wl) m_groups.insert_or_assign(std::string(g.GroupNumber()), g);
        }
    }
    return true;
}

}  // namespace server
