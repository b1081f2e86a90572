// Putting records and workgroups back as a journal says they were: the requests an undo sends.
// Each goes through SendChange, so an undo is planned, journalled and answered as any change.
#include <algorithm>
#include <cstring>
#include <vector>

#include "connection/SPDCOM.h"
#include "platform/TextFormat.h"

namespace server {

using platform::FormatText;

bool CZentServDcom::RestoreExtRec(std::string_view numberView, std::span<const uint8_t> record) {
    m_strLastError.clear();
    const std::string number(numberView);
    const size_t L = m_wRecordLength;
    if (!record.empty() && record.size() != L) {
        m_strLastError = FormatText("The record of %s in the journal is %d bytes long; server %s holds records of %d.\n",
                                    number, static_cast<int>(record.size()), m_strName, static_cast<int>(L));
        return false;
    }
    auto held = m_records.find(number);
    com::HRESULT hr = com::S_OK;
    if (record.empty()) {
        if (held == m_records.end()) return true;  // nothing there: as it was
        if (!m_pDelete) {
            ChangeMessage("Failed to get IZentDeleteI interface.\n");
            return false;
        }
        const ExtRec c = held->second;
        std::vector<uint8_t> q(c.data(), c.data() + c.size());
        const std::vector<uint8_t> before = q;
        int32_t replyLength = int32_t(q.size());
        hr = SendChange("DeleteExtension", number, q.data(), q.size(), before, [&] {
            return m_pDelete->DeleteExtension(int32_t(q.size()), q.data(), &replyLength, q.data());
        });
        if (hr == com::S_OK) ReleaseExtRec(number);
    } else if (!m_pChange) {
        ChangeMessage("Failed to get IZentChangeI interface.\n");
        return false;
    } else if (held == m_records.end()) {
        std::unique_ptr<uint8_t[]> block;
        ExtRec r = NewExtRec(block);
        if (!r) {
            ChangeMessage("Failed to allocate memory!");
            return false;
        }
        std::memcpy(r.data(), record.data(), L);
        hr = SendChange("AddExtension", number, r.data(), L, {},
                        [&] { return m_pChange->AddExtension(int32_t(L), r.data()); });
        if (hr == com::S_OK) {
            // The server's reply is the record as stored; one without the number is no reply.
            if (r.ExtensionNumber() != number) std::memcpy(r.data(), record.data(), L);
            KeepExtRec(number, r, std::move(block));
        }
    } else {
        const ExtRec c = held->second;
        std::vector<uint8_t> q(request::ReplaceSize(L));
        std::memcpy(q.data(), record.data(), L);
        std::memcpy(q.data() + L, c.data(), L);
        ExtRec(q.data() + 2 * L, 4).SetI32(0, request::kReplaceTrailer);
        hr = SendChange("ReplaceExtension", number, q.data(), q.size(), {c.data(), c.size()},
                        [&] { return m_pChange->ReplaceExtension(int32_t(q.size()), q.data()); });
        if (hr == com::S_OK) std::memcpy(c.data(), record.data(), L);
    }
    if (hr != com::S_OK) {
        ChangeMessage(FormatText("hr = %x", static_cast<uint32_t>(hr)), hr, false);
        return false;
    }
    return true;
}

bool CZentServDcom::RestoreGroupRec(std::string_view numberView, std::span<const uint8_t> record) {
    m_strLastError.clear();
    const std::string number(numberView);
    auto held = m_groups.find(number);
    com::HRESULT hr = com::S_OK;
    if (record.empty()) {
        if (held == m_groups.end()) return true;
        if (!m_pDelete) {
            ChangeMessage("Failed to get IZentDeleteI interface.\n");
            return false;
        }
        uint8_t key[request::kWorkgroupKeySize] = {};
        StoreFieldText(key, sizeof key, number);
        hr = SendChange("DeleteWorkgroup", number, key, sizeof key, HeldGroupBytes(number),
                        [&] { return m_pDelete->DeleteWorkgroup(int32_t(sizeof key), key); });
        if (hr == com::S_OK) ReleaseGroupRec(number);
    } else if (!m_pChange) {
        ChangeMessage("Failed to get IZentChangeI interface.\n");
        return false;
    } else {
        std::vector<std::string> members;
        if (held == m_groups.end()) {
            // Kept as the server answered: that is the "before" of the rewrite that follows.
            if (!CreateGroupAgain(number, {}, hr)) {
                if (hr == com::S_OK) ChangeMessage("Failed to allocate memory!");
                else ChangeMessage(FormatText("hr = %x", static_cast<uint32_t>(hr)), hr, false);
                return false;
            }
        } else {
            GetGroupMembers(number, members);
        }
        const WORKGRPREC w = m_groups.find(number)->second;
        std::vector<uint8_t> q(workgrp::kDefinedSize, 0);
        std::memcpy(q.data(), record.data(), std::min(record.size(), q.size()));
        hr = SendChange("ReplaceWorkgroup", number, q.data(), q.size(), {w.data(), w.size()},
                        [&] { return m_pChange->ReplaceWorkgroup(int32_t(q.size()), q.data()); });
        if (hr == com::S_OK) {
            // The members as they were, also on a server that keeps them apart from the record.
            const ConstWORKGRPREC was(q.data(), q.size());
            std::vector<std::string> wanted;
            for (size_t i = 0; i < was.MemberCount(); ++i) wanted.emplace_back(was.Member(i));
            for (const std::string& m : members)
                if (std::find(wanted.begin(), wanted.end(), m) == wanted.end()) RemoveFromGroups(m, number);
            std::memcpy(w.data(), q.data(), std::min(w.size(), q.size()));
            for (const std::string& m : wanted)
                if (std::find(members.begin(), members.end(), m) == members.end()) AddToGroup(m, number);
        }
    }
    if (hr != com::S_OK) {
        ChangeMessage(FormatText("hr = %x", static_cast<uint32_t>(hr)), hr, false);
        return false;
    }
    return true;
}

}  // namespace server
