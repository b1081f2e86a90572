// The connection's change operations: forwarding copies added and rewritten, records and
// workgroups deleted, workgroup membership. The record map, the workgroup map and the summaries
// change only after the server confirmed.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "com/RpcError.h"
#include "connection/SPDCOM.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "server/OwnExtension.h"
#include "server/SysConfigTable.h"

namespace server {
namespace {

using platform::FormatText;

// Values every new record gets before the type- and copy-specific ones.
struct Default {
    size_t offset;
    uint8_t width;
    uint32_t value;
};
constexpr Default kDefaults[] = {
    {extrec::kExtFeatureFlagBank, 4, extrec::kFeatureCreated},
    {435, 1, 4},
    {468, 4, 3},
    {581, 1, 5},
    {584, 4, 5},
    {588, 4, 10},
    {1072, 4, 1},
    {1076, 2, 100},
    {1080, 4, 300},
    {1084, 4, 50000},
    {1088, 2, 60},
    {1090, 1, 0xFF},
    {1091, 1, 0xFF},
    {1092, 1, 3},
    {1098, 1, 1},
    {1210, 1, 10},
    {2261, 1, 0xFF},
    {2262, 1, 0xFF},
    {2263, 1, 0xFF},
};

// A dial string is sent with at most this many characters.
constexpr size_t kDialChars = 19;
// A record must hold every field a forwarding copy is written with; the last is FwdMailOptions.
constexpr size_t kCopyLength = extrec::kFwdMailOptions + 1;

// Writes a value only where it lies inside the record (servers report their own record length).
void Put(ExtRec r, size_t offset, uint8_t width, uint32_t value) {
    if (width == 1) r.SetU8(offset, static_cast<uint8_t>(value));
    else if (width == 2) r.SetU16(offset, static_cast<uint16_t>(value));
    else r.SetU32(offset, value);
}

// What makes a record forward to its home site; `home` is the home site's own record.
void MakeForwarding(ExtRec r, ConstExtRec home) {
    r.SetBits(extrec::kExtFeatureFlagBank, extrec::kForwardingCopyMask, true);
    r.SetFwdMailOptions(0);
    r.SetBits(extrec::kExtStatusFlagBank, extrec::kStatusForwards, true);
    r.SetForwardTarget(extrec::kForwardToDialString);
    r.SetBits(extrec::kExtStatusFlagBank, extrec::kStatusMatchBit,
              (home.ExtStatusFlagBank() & extrec::kStatusMatchBit) != 0);
    r.SetBits(extrec::kExtFeatureFlagBank, extrec::kFeatureHomeBit,
              (home.ExtFeatureFlagBank() & extrec::kFeatureHomeBit) != 0);
}

// A new forwarding copy of the summary, built in the zero-filled record r.
void FillNewRecord(ExtRec r, const ExtSummary& p, ConstExtRec home, bool group, uint16_t version) {
    const std::string_view number = FieldText(p.ExtensionNumber);
    r.SetExtensionType(group ? exttype::kWorkgroup : exttype::kVirtual);
    r.SetConfiguredLineType(extrec::kLineTypeCreated);
    for (const Default& d : kDefaults) Put(r, d.offset, d.width, d.value);

    r.SetExtensionNumber(number);
    r.SetRecordVersion(version);
    r.SetRecordSize(static_cast<uint16_t>(r.size()));
    r.SetU8(extrec::kCreationMarks + 1, 0xFF);
    char hash[13] = {};
    CZentServ::PasswordCopy(hash, std::string(number).c_str());
    r.SetExtPassword(FieldText(hash));
    r.SetText(extrec::kNumberCopy, number);
    r.SetEMailName("ext" + std::string(number));
    r.SetU32(extrec::kWord440, 3);
    if (group) r.SetBits(extrec::kExtFeatureFlagBank, extrec::kFeatureGroup, true);

    r.SetU8(extrec::kCreationMarks + 2, 0xFF);
    r.SetU8(extrec::kCreationMarks + 3, 0xFF);
    r.SetU32(extrec::kHomeWord412, home.U32(extrec::kHomeWord412));
    r.SetU32(1376, 0xFF);

    r.SetExtFirstName(FieldText(p.ExtFirstName));
    r.SetExtName(FieldText(p.ExtName));
    r.SetEMailName(FieldText(p.EMailName));
    r.SetFwdDialString(FieldText(p.FwdDialString), kDialChars);
    r.SetFwdEmailAddr(FieldText(p.FwdEmailAddr));
    r.SetExtPassword(FieldText(p.ExtPassword));

    MakeForwarding(r, home);
}

// Forgets the record held under the number, and frees its block when it has one of its own.
template <class Map, class Blocks>
void ReleaseRecord(Map& records, Blocks& own, std::string_view number) {
    if (auto it = records.find(number); it != records.end()) records.erase(it);
    if (auto it = own.find(number); it != own.end()) own.erase(it);
}

}  // namespace

void CZentServDcom::ChangeMessage(std::string text, com::HRESULT hr, bool trace) {
    // A call that did not reach the server says so after the operation's own message.
    if (com::IsTransportFailure(hr)) {
        NoteTransportFailure(hr);
        text += m_strLastError;
    } else if (hr == kNotJournalled && !m_strLastError.empty()) {
        // Not sent: the reason is the journal's, left in the last error.
        text += m_strLastError;
    }
    m_strLastError = std::move(text);
    if (trace) platform::Trace(m_strLastError);
}

std::span<const uint8_t> CZentServDcom::HeldBytes(std::string_view number) const {
    auto it = m_records.find(number);
    return it == m_records.end() ? std::span<const uint8_t>() : std::span<const uint8_t>(it->second.data(), it->second.size());
}

std::span<const uint8_t> CZentServDcom::HeldGroupBytes(std::string_view number) const {
    auto it = m_groups.find(number);
    return it == m_groups.end() ? std::span<const uint8_t>() : std::span<const uint8_t>(it->second.data(), it->second.size());
}

namespace {

// A zero-filled place for a new record of `length` bytes: the list buffer's spare capacity when a
// whole record fits there (null `block`), else a block of its own.
uint8_t* NewRecordSpace(ListBuffer& list, size_t used, size_t length, std::unique_ptr<uint8_t[]>& block) {
    if (length == 0) return nullptr;
    if (list.size() >= used && list.size() - used >= length) {
        std::memset(list.data() + used, 0, length);
        return list.data() + used;
    }
    block.reset(new (std::nothrow) uint8_t[length]());
    return block.get();
}

// Keeps a record the server took under its number: a block becomes the connection's, a place in
// the spare capacity is taken by advancing the list's used part.
template <class Rec, class Map, class Blocks>
void KeepRecord(Map& records, Blocks& own, size_t& used, std::string_view number, Rec rec,
                std::unique_ptr<uint8_t[]> block) {
    ReleaseRecord(records, own, number);
    if (block) own.insert_or_assign(std::string(number), std::move(block));
    else used += rec.size();
    records.insert_or_assign(std::string(number), rec);
}

}  // namespace

ExtRec CZentServDcom::NewExtRec(std::unique_ptr<uint8_t[]>& block) {
    uint8_t* p = NewRecordSpace(m_extList, m_extUsed, m_wRecordLength, block);
    return p ? ExtRec(p, m_wRecordLength) : ExtRec();
}

void CZentServDcom::KeepExtRec(std::string_view number, ExtRec rec, std::unique_ptr<uint8_t[]> block) {
    m_bRecordWalkValid = false;
    KeepRecord(m_records, m_ownRecords, m_extUsed, number, rec, std::move(block));
}

void CZentServDcom::ReleaseExtRec(std::string_view number) {
    m_bRecordWalkValid = false;
    ReleaseRecord(m_records, m_ownRecords, number);
}

WORKGRPREC CZentServDcom::NewGroupRec(std::unique_ptr<uint8_t[]>& block) {
    uint8_t* p = NewRecordSpace(m_groupList, m_groupUsed, workgrp::kDefinedSize, block);
    return p ? WORKGRPREC(p, workgrp::kDefinedSize) : WORKGRPREC();
}

void CZentServDcom::KeepGroupRec(std::string_view number, WORKGRPREC rec, std::unique_ptr<uint8_t[]> block) {
    KeepRecord(m_groups, m_ownGroups, m_groupUsed, number, rec, std::move(block));
}

void CZentServDcom::ReleaseGroupRec(std::string_view number) { ReleaseRecord(m_groups, m_ownGroups, number); }

bool CZentServDcom::DoAddExt(const ExtSummary* p, CZentServ* source) {
    m_strLastError.clear();
    if (!p) return false;
    if (!m_pChange) {
        ChangeMessage("Failed to get IZentChangeI interface.\n");
        return false;
    }
    const std::string number(FieldText(p->ExtensionNumber));
    const ConstExtRec home = source ? source->FindExtRec(number) : ConstExtRec();
    if (!home) return false;
    const int32_t cls = m_sysConfig.empty() || number.empty()
                            ? -1
                            : ConstSysConfigTable(m_sysConfig.data(), m_sysConfig.size()).DigitClass(number[0]);
    if (cls != syscfg::kClassExtension) {
        ChangeMessage("First digit not in extension dial plan.\n");
        return false;
    }
    if (m_wRecordLength < kCopyLength) {
        ChangeMessage(FormatText("The extension records of server %s are %d bytes long, too short for a forwarding copy.\n",
                                 m_strName, static_cast<int>(m_wRecordLength)));
        return false;
    }
    platform::Trace("Add one extension to Zentserv\n");

    const bool group = p->ExtensionType == exttype::kWorkgroup;
    std::unique_ptr<uint8_t[]> block, groupBlock;
    ExtRec r = NewExtRec(block);
    WORKGRPREC w;
    if (r && group) w = NewGroupRec(groupBlock);
    if (!r || (group && !w)) {
        ChangeMessage("Failed to allocate memory!");
        return false;
    }
    FillNewRecord(r, *p, home, group, m_wServerVersion);

    const int32_t L = static_cast<int32_t>(r.size());
    com::HRESULT hr = SendChange("AddExtension", number, r.data(), r.size(), HeldBytes(number),
                                 [&] { return m_pChange->AddExtension(L, r.data()); });
    if (com::FAILED(hr)) {
        ChangeMessage(FormatText("Failed to call AddExtension for extension %s(0x%x).\n", number, static_cast<uint32_t>(hr)), hr);
        return false;
    }
    // The server answers with the record as it now holds it: that is the record kept, and nothing
    // more needs asking. A reply without the number is no such answer; then the record sent is
    // kept and the new extension reset, as for a server that does not return what it stored.
    const bool told = r.ExtensionNumber() == number;
    if (!told) {
        r.Fill(0, r.size(), 0);
        FillNewRecord(r, *p, home, group, m_wServerVersion);
    }
    KeepExtRec(number, r, std::move(block));
    ChangeMessage(FormatText("Add extension %s successfully.\n", number));

    if (group) {
        uint8_t create[request::kWorkgroupCreateSize] = {};
        StoreFieldText(create + request::kWorkgroupCreateNumber.offset, request::kWorkgroupCreateNumber.width, number);
        hr = SendChange("AddWorkgroup", number, create, sizeof create, HeldGroupBytes(number), [&] {
            return m_pChange->AddWorkgroup(static_cast<int32_t>(sizeof create), create);
        });
        if (com::FAILED(hr)) {
            ChangeMessage(FormatText("Failed to call AddWorkgroup for extension %s(0x%x).\n", number, static_cast<uint32_t>(hr)), hr);
            return false;
        }
        std::memcpy(w.data(), create + request::kWorkgroupCreateRecord, w.size());
        KeepGroupRec(number, w, std::move(groupBlock));
        ChangeMessage(FormatText("Add group %s successfully.\n", number));
    }

    if (!told && m_pControl) {
        uint8_t reply[1024];
        int32_t replyLength = static_cast<int32_t>(sizeof reply);
        const auto* key = reinterpret_cast<const uint8_t*>(number.data());
        hr = SendChange("ResetExtension", number, key, number.size(), {}, [&] {
            return m_pControl->ResetExtension(static_cast<int32_t>(number.size()), key, &replyLength, reply);
        });
        if (com::FAILED(hr)) ChangeMessage(FormatText("Warning: Failed to reset new extension %s.\n", number), hr);
    }
    return true;
}

bool CZentServDcom::DoReplaceExt(const ExtSummary* p, CZentServ* source) {
    m_strLastError.clear();
    if (!p || m_extList.empty()) return false;
    if (!m_pChange) {
        ChangeMessage("Failed to get IZentChangeI interface.\n");
        return false;
    }
    const std::string number(FieldText(p->ExtensionNumber));
    const ConstExtRec home = source ? source->FindExtRec(number) : ConstExtRec();
    if (!home) return false;
    const size_t L = m_wRecordLength;
    std::unique_ptr<uint8_t[]> q(new (std::nothrow) uint8_t[request::ReplaceSize(L)]());
    if (!q) {
        ChangeMessage("Failed to allocate memory!");
        return false;
    }
    auto held = m_records.find(number);
    if (held == m_records.end()) {
        ChangeMessage("Failed to find the extension record.\n");
        return false;
    }
    const ExtRec c = held->second;
    std::memcpy(q.get(), c.data(), L);
    std::memcpy(q.get() + L, c.data(), L);
    ExtRec(q.get() + 2 * L, 4).SetI32(0, request::kReplaceTrailer);

    const ExtRec n(q.get(), L);
    if (source != this) {
        n.SetFwdDialString(FieldText(p->FwdDialString), kDialChars);
        n.SetFwdEmailAddr(FieldText(p->FwdEmailAddr));
        n.SetExtPassword(FieldText(p->ExtPassword));
        MakeForwarding(n, home);
    } else if (FieldText(p->HomeServer) != m_strName) {
        // The site's own extension again.
        StopForwarding(n);
    }

    const int32_t size = static_cast<int32_t>(request::ReplaceSize(L));
    const com::HRESULT hr = SendChange("ReplaceExtension", number, q.get(), request::ReplaceSize(L),
                                       {c.data(), c.size()}, [&] { return m_pChange->ReplaceExtension(size, q.get()); });
    if (hr != com::S_OK) {
        ChangeMessage(FormatText("Failed to call ReplaceExtension for extension %s(0x%x).\n", number, static_cast<uint32_t>(hr)), hr);
        return false;
    }
    std::memcpy(c.data(), n.data(), L);
    ChangeMessage(FormatText("Modify extension %s successfully.\n", number));
    return true;
}

bool CZentServDcom::DoDeleteExt(const ExtSummary* p) {
    m_strLastError.clear();
    if (!p) return false;
    if (!m_pDelete) {
        ChangeMessage("Failed to get IZentDeleteI interface.\n");
        return false;
    }
    const std::string number(FieldText(p->ExtensionNumber));
    auto held = m_records.find(number);
    if (held == m_records.end()) {
        ChangeMessage("Failed to find the extension record.\n");
        return false;
    }
    const ExtRec c = held->second;
    const bool member = (c.ExtStatusFlagBank() & extrec::kStatusGroupMember) != 0;
    const bool group = p->ExtensionType == exttype::kWorkgroup;

    com::HRESULT hr = com::S_OK;
    // The server takes the workgroup before its pilot. A workgroup the server already deleted is
    // not asked for again: the retry goes on with the pilot record.
    std::vector<uint8_t> deletedGroup;
    if (group && m_groups.count(number)) {
        uint8_t key[request::kWorkgroupKeySize] = {};
        StoreFieldText(key, sizeof key, number);
        hr = SendChange("DeleteWorkgroup", number, key, sizeof key, HeldGroupBytes(number),
                        [&] { return m_pDelete->DeleteWorkgroup(static_cast<int32_t>(sizeof key), key); });
        if (hr == com::S_OK) {
            const WORKGRPREC w = m_groups.find(number)->second;
            deletedGroup.assign(w.data(), w.data() + w.size());
            ReleaseGroupRec(number);
        }
    }
    if (hr == com::S_OK) {
        const int32_t L = static_cast<int32_t>(c.size());
        int32_t replyLength = L;
        // The record as held is both what is sent and what the journal keeps: a copy for the
        // journal, since the reply overwrites the request.
        const std::vector<uint8_t> held(c.data(), c.data() + c.size());
        hr = SendChange("DeleteExtension", number, c.data(), c.size(), held,
                        [&] { return m_pDelete->DeleteExtension(L, c.data(), &replyLength, c.data()); });
    }
    if (hr != com::S_OK) {
        std::string text = FormatText("hr = %x", static_cast<uint32_t>(hr));
        // A pilot without its workgroup is no group: the workgroup goes back as it was.
        if (!deletedGroup.empty() && !com::IsTransportFailure(hr)) text += PutBackWorkgroup(number, deletedGroup);
        ChangeMessage(std::move(text), hr, false);
        return false;
    }
    ReleaseExtRec(number);
    if (member) RemoveFromGroups(number);
    return true;
}

std::string CZentServDcom::PutBackWorkgroup(const std::string& number, const std::vector<uint8_t>& held) {
    com::HRESULT hr = com::S_OK;
    const WORKGRPREC w = CreateGroupAgain(number, held, hr);
    if (hr != com::S_OK)
        return FormatText("; its workgroup was deleted and could not be created again (hr = %x)", static_cast<uint32_t>(hr));
    if (!w) return "; its workgroup was created again without its settings: no memory for them";
    // The settings and members as they were: the record as held, then each member again.
    const int32_t size = static_cast<int32_t>(workgrp::kDefinedSize);
    hr = SendChange("ReplaceWorkgroup", number, w.data(), w.size(), {},
                    [&] { return m_pChange->ReplaceWorkgroup(size, w.data()); });
    std::vector<std::string> members;
    GetGroupMembers(number, members);
    for (const std::string& member : members) AddToGroup(member, number);
    if (hr != com::S_OK)
        return FormatText("; its workgroup was created again, but without its settings (hr = %x)", static_cast<uint32_t>(hr));
    return "; its workgroup was put back as it was";
}

WORKGRPREC CZentServDcom::CreateGroupAgain(const std::string& number, std::span<const uint8_t> settings,
                                           com::HRESULT& hr) {
    uint8_t create[request::kWorkgroupCreateSize] = {};
    StoreFieldText(create + request::kWorkgroupCreateNumber.offset, request::kWorkgroupCreateNumber.width, number);
    hr = SendChange("AddWorkgroup", number, create, sizeof create, {}, [&] {
        return m_pChange ? m_pChange->AddWorkgroup(static_cast<int32_t>(sizeof create), create) : com::E_NOINTERFACE;
    });
    if (hr != com::S_OK) return WORKGRPREC();
    std::unique_ptr<uint8_t[]> block;
    const WORKGRPREC w = NewGroupRec(block);
    if (!w) return w;
    if (settings.empty()) std::memcpy(w.data(), create + request::kWorkgroupCreateRecord, w.size());
    else std::memcpy(w.data(), settings.data(), std::min(settings.size(), w.size()));
    KeepGroupRec(number, w, std::move(block));
    return w;
}

void CZentServDcom::RemoveFromGroups(std::string_view number, std::string_view group) {
    if (!m_pChange) return;
    // The requests change nothing held here, so the walk may use the map as it stands.
    for (const auto& [groupNumber, w] : m_groups) {
        if (!group.empty() && groupNumber != group) continue;
        const size_t members = w.MemberCount();
        for (size_t i = 0; i < members; ++i) {
            // An entry counts when it starts with the number (entry 100 for number 10 as well).
            if (w.Member(i).substr(0, number.size()) != number) continue;
            SendMembership(number, groupNumber, request::kMembershipRemove);
        }
        if (!group.empty()) break;
    }
}

void CZentServDcom::AddToGroup(std::string_view number, std::string_view group) {
    if (!m_pChange || !m_groups.count(group)) return;
    if (SendMembership(number, group, request::kMembershipAdd) != com::E_FAIL) return;
    // The server answers the closing request of an add pair with E_FAIL once the member is in.
    if (auto it = m_records.find(number); it != m_records.end())
        it->second.SetBits(extrec::kExtStatusFlagBank, extrec::kStatusGroupMember, true);
}

com::HRESULT CZentServDcom::SendMembership(std::string_view number, std::string_view group, int32_t operation) {
    uint8_t block[request::kMembershipSize] = {};
    const ExtRec b(block, sizeof block);
    b.SetText(request::kMembershipExtension, number);
    b.SetText(request::kMembershipGroup, group);
    b.SetI32(request::kMembershipOperation, operation);
    const int32_t size = static_cast<int32_t>(sizeof block);
    SendChange("ChangeMembership", number, block, sizeof block, HeldGroupBytes(group),
               [&] { return m_pChange->ChangeMembership(size, block); });
    // The closing request: the same block without the extension number.
    b.SetText(request::kMembershipExtension, {});
    b.SetI32(request::kMembershipOperation, request::kMembershipClose);
    return SendChange("ChangeMembership", number, block, sizeof block, HeldGroupBytes(group),
                      [&] { return m_pChange->ChangeMembership(size, block); });
}

}  // namespace server
