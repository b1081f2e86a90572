#include "sim/SiteState.h"

#include "server/ExtRec.h"
#include "server/WorkgrpRec.h"

namespace sim {

using server::ConstExtRec;
using server::ConstWORKGRPREC;

namespace {

std::string RecordNumber(const Bytes& b) { return std::string(ConstExtRec(b.data(), b.size()).ExtensionNumber()); }
std::string GroupNumber(const Bytes& b) { return std::string(ConstWORKGRPREC(b.data(), b.size()).GroupNumber()); }

}  // namespace

bool IsValidNumber(std::string_view number) {
    if (number.empty() || number.size() > kMaxNumberLength) return false;
    for (char c : number)
        if (c <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

const Stored* SiteState::FindRecord(std::string_view number) const {
    auto it = m_records.find(number);
    return it == m_records.end() ? nullptr : &it->second;
}

const Stored* SiteState::FindWorkgroup(std::string_view number) const {
    auto it = m_workgroups.find(number);
    return it == m_workgroups.end() ? nullptr : &it->second;
}

bool SiteState::IsMember(std::string_view number) const {
    auto it = m_memberships.find(std::string(number));
    return it != m_memberships.end() && it->second > 0;
}

void SiteState::CountMembers(const Bytes& workgroup, int delta, std::vector<std::string>* touched) {
    ConstWORKGRPREC w(workgroup.data(), workgroup.size());
    const std::size_t n = w.MemberCount();
    for (std::size_t i = 0; i < n; ++i) {
        std::string m(w.Member(i));
        int& count = m_memberships[m];
        count += delta;
        if (count <= 0) m_memberships.erase(m);
        if (touched) touched->push_back(std::move(m));
    }
}

void SiteState::SyncMemberBit(std::string_view number) {
    auto it = m_records.find(number);
    if (it == m_records.end()) return;
    server::ExtRec rec(it->second.bytes.data(), it->second.bytes.size());
    const bool member = IsMember(number);
    if (((rec.ExtStatusFlagBank() & server::extrec::kStatusGroupMember) != 0) == member) return;
    rec.SetBits(server::extrec::kExtStatusFlagBank, server::extrec::kStatusGroupMember, member);
    it->second.fragment.clear();
}

bool SiteState::AddRecord(Bytes bytes, UndoLog* undo) {
    std::string number = RecordNumber(bytes);
    auto [it, inserted] = m_records.try_emplace(number, Stored{std::move(bytes), {}});
    if (!inserted) return false;
    SyncMemberBit(number);
    if (undo) {
        undo->Add([this, number] { m_records.erase(number); });
        undo->Touched(TouchKind::Record, number);
    }
    return true;
}

bool SiteState::ReplaceRecord(Bytes bytes, UndoLog* undo) {
    std::string number = RecordNumber(bytes);
    auto it = m_records.find(number);
    if (it == m_records.end()) return false;
    Bytes old = std::exchange(it->second.bytes, std::move(bytes));
    it->second.fragment.clear();
    SyncMemberBit(number);
    if (undo) {
        undo->Add([this, number, old = std::move(old)]() mutable {
            Stored& s = m_records[number];
            s.bytes = std::move(old);
            s.fragment.clear();
        });
        undo->Touched(TouchKind::Record, number);
    }
    return true;
}

std::optional<Bytes> SiteState::RemoveRecord(std::string_view number, UndoLog* undo) {
    auto it = m_records.find(number);
    if (it == m_records.end()) return std::nullopt;
    Bytes old = std::move(it->second.bytes);
    m_records.erase(it);
    if (undo) {
        undo->Add([this, key = std::string(number), old]() { m_records[key] = Stored{old, {}}; });
        undo->Touched(TouchKind::Record, std::string(number));
    }
    return old;
}

bool SiteState::AddWorkgroup(Bytes bytes, UndoLog* undo) {
    std::string number = GroupNumber(bytes);
    auto [it, inserted] = m_workgroups.try_emplace(number, Stored{std::move(bytes), {}});
    if (!inserted) return false;
    std::vector<std::string> touched;
    CountMembers(it->second.bytes, +1, &touched);
    for (const std::string& m : touched) SyncMemberBit(m);
    if (undo) {
        undo->Add([this, number] { RemoveWorkgroup(number, nullptr); });
        undo->Touched(TouchKind::Workgroup, number);
    }
    return true;
}

bool SiteState::ReplaceWorkgroup(Bytes bytes, UndoLog* undo) {
    std::string number = GroupNumber(bytes);
    auto it = m_workgroups.find(number);
    if (it == m_workgroups.end()) return false;
    std::vector<std::string> touched;
    CountMembers(it->second.bytes, -1, &touched);
    Bytes old = std::exchange(it->second.bytes, std::move(bytes));
    it->second.fragment.clear();
    CountMembers(it->second.bytes, +1, &touched);
    for (const std::string& m : touched) SyncMemberBit(m);
    if (undo) {
        undo->Add([this, old = std::move(old)]() mutable { ReplaceWorkgroup(std::move(old), nullptr); });
        undo->Touched(TouchKind::Workgroup, number);
    }
    return true;
}

std::optional<Bytes> SiteState::RemoveWorkgroup(std::string_view number, UndoLog* undo) {
    auto it = m_workgroups.find(number);
    if (it == m_workgroups.end()) return std::nullopt;
    std::vector<std::string> touched;
    CountMembers(it->second.bytes, -1, &touched);
    Bytes old = std::move(it->second.bytes);
    m_workgroups.erase(it);
    for (const std::string& m : touched) SyncMemberBit(m);
    if (undo) {
        undo->Add([this, old]() { AddWorkgroup(old, nullptr); });
        undo->Touched(TouchKind::Workgroup, std::string(number));
    }
    return old;
}

bool SiteState::LoadRecord(Bytes bytes) {
    std::string number = RecordNumber(bytes);
    return m_records.try_emplace(std::move(number), Stored{std::move(bytes), {}}).second;
}

bool SiteState::PutRecord(Bytes bytes, std::string* number) {
    std::string key = RecordNumber(bytes);
    if (!IsValidNumber(key)) return false;
    Stored& s = m_records[key];
    s.bytes = std::move(bytes);
    s.fragment.clear();
    if (number) *number = std::move(key);
    return true;
}

bool SiteState::LoadWorkgroup(Bytes bytes) {
    std::string number = GroupNumber(bytes);
    auto [it, inserted] = m_workgroups.try_emplace(std::move(number), Stored{std::move(bytes), {}});
    if (inserted) CountMembers(it->second.bytes, +1, nullptr);
    return inserted;
}

}  // namespace sim
