// IZentChangeI: adding and replacing records and workgroups, and workgroup membership.
#include "ServeCall.h"

#include <algorithm>

#include "server/ExtRec.h"
#include "server/RecordLayout.h"
#include "server/WorkgrpRec.h"
#include "sim/RecordBuilder.h"

namespace sim {

namespace rq = server::request;

namespace {

std::string TextAt(const uint8_t* p, server::TextField f) { return std::string(server::FieldText(p + f.offset, f.width)); }

bool IsGroupPilot(const SiteState& s, std::string_view number) {
    const Stored* pilot = s.FindRecord(number);
    return pilot && server::ConstExtRec(pilot->bytes.data(), pilot->bytes.size()).ExtensionType() ==
                        server::exttype::kWorkgroup;
}

std::vector<std::string> Members(const Bytes& workgroup) {
    server::ConstWORKGRPREC w(workgroup.data(), workgroup.size());
    std::vector<std::string> out;
    for (std::size_t i = 0, n = w.MemberCount(); i < n; ++i) out.emplace_back(w.Member(i));
    return out;
}

// The workgroup with its member list rewritten; entries behind the list are cleared.
Bytes WithMembers(const Bytes& workgroup, const std::vector<std::string>& members) {
    Bytes out = workgroup;
    server::WORKGRPREC w(out.data(), out.size());
    for (std::size_t i = 0; i < server::workgrp::kMaxMembers; ++i)
        w.SetMember(i, i < members.size() ? std::string_view(members[i]) : std::string_view{});
    return out;
}

}  // namespace

com::HRESULT CSimServer::AddExtension(int32_t a1, uint8_t* a2) {
    return Serve(
        "AddExtension",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            if (a1 != s.system.recordLength) return com::E_INVALIDARG;
            const std::string number = TextAt(a2, server::extrec::kExtensionNumber);
            if (!IsValidNumber(number)) return com::E_INVALIDARG;
            if (!s.AddRecord(Bytes(a2, a2 + a1), &undo)) return kAlreadyExists;
            const com::HRESULT hr = m_site->Commit(undo);
            if (hr != com::S_OK) return hr;
            if (s.faults.addReplyBlank) std::memset(a2, 0, std::size_t(a1));
            else std::memcpy(a2, s.FindRecord(number)->bytes.data(), std::size_t(a1));  // as stored
            return hr;
        },
        [] {});
}

com::HRESULT CSimServer::ReplaceExtension(int32_t a1, const uint8_t* a2) {
    return Serve(
        "ReplaceExtension",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            const std::size_t L = s.system.recordLength;
            if (a1 < 0 || std::size_t(a1) != rq::ReplaceSize(L)) return com::E_INVALIDARG;
            server::ConstExtRec fresh(a2, L), current(a2 + L, L);
            const server::ConstExtRec trailer(a2 + 2 * L, 4);
            if (trailer.I32(0) != rq::kReplaceTrailer) return com::E_INVALIDARG;
            const std::string number(fresh.ExtensionNumber());
            if (!IsValidNumber(number) || current.ExtensionNumber() != number) return com::E_INVALIDARG;
            if (!s.ReplaceRecord(Bytes(a2, a2 + L), &undo)) return kNotFound;
            return m_site->Commit(undo);
        },
        [] {});
}

com::HRESULT CSimServer::ReplaceWorkgroup(int32_t a1, const uint8_t* a2) {
    return Serve(
        "ReplaceWorkgroup",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            if (a1 != int32_t(kWorkgroupLength)) return com::E_INVALIDARG;
            Bytes bytes(a2, a2 + kWorkgroupLength);
            server::WORKGRPREC w(bytes.data(), bytes.size());
            if (!IsValidNumber(w.GroupNumber())) return com::E_INVALIDARG;
            w.SetRecordSize(static_cast<uint16_t>(kWorkgroupLength));  // lists are cut by it
            if (!s.ReplaceWorkgroup(std::move(bytes), &undo)) return kNotFound;
            return m_site->Commit(undo);
        },
        [] {});
}

com::HRESULT CSimServer::AddWorkgroup(int32_t a1, uint8_t* a2) {
    return Serve(
        "AddWorkgroup",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            if (a1 != int32_t(rq::kWorkgroupCreateSize)) return com::E_INVALIDARG;
            const std::string number = TextAt(a2, rq::kWorkgroupCreateNumber);
            if (!IsValidNumber(number)) return com::E_INVALIDARG;
            if (!IsGroupPilot(s, number)) return kNotFound;
            Bytes w = BuildWorkgroup(number, {});
            if (!s.AddWorkgroup(w, &undo)) return kAlreadyExists;
            const com::HRESULT hr = m_site->Commit(undo);
            if (hr == com::S_OK) std::memcpy(a2 + rq::kWorkgroupCreateRecord, w.data(), w.size());
            return hr;
        },
        [] {});
}

com::HRESULT CSimServer::ChangeMembership(int32_t a1, const uint8_t* a2) {
    return Serve(
        "ChangeMembership",
        [&](SiteState& s, UndoLog& undo) -> com::HRESULT {
            if (!a2) return com::E_POINTER;
            if (a1 != int32_t(rq::kMembershipSize)) return com::E_INVALIDARG;
            const std::string ext = TextAt(a2, rq::kMembershipExtension);
            const std::string group = TextAt(a2, rq::kMembershipGroup);
            const int32_t op = server::ConstExtRec(a2, rq::kMembershipSize).I32(rq::kMembershipOperation);
            if (op == rq::kMembershipClose) {
                // The server answers E_FAIL to the closing request of an add pair; clients take
                // that as "the extension is a member now".
                std::optional<OpenPair> pair = std::exchange(m_openPair, std::nullopt);
                if (!ext.empty()) return com::E_INVALIDARG;
                if (!pair || pair->group != group) return com::E_UNEXPECTED;
                return pair->add ? com::E_FAIL : com::S_OK;
            }
            m_openPair.reset();  // a pair that was never closed is dropped
            if (op != rq::kMembershipAdd && op != rq::kMembershipRemove) return com::E_INVALIDARG;
            if (!IsValidNumber(ext) || !IsValidNumber(group)) return com::E_INVALIDARG;
            const Stored* w = s.FindWorkgroup(group);
            if (!w) return kNotFound;
            std::vector<std::string> members = Members(w->bytes);
            if (op == rq::kMembershipAdd) {
                if (!s.FindRecord(ext)) return kNotFound;
                if (std::find(members.begin(), members.end(), ext) == members.end()) {
                    if (members.size() >= server::workgrp::kMaxMembers) return com::E_OUTOFMEMORY;
                    members.push_back(ext);
                }
            } else {
                const std::size_t before = members.size();
                std::erase(members, ext);
                if (members.size() == before) return kNotFound;
            }
            s.ReplaceWorkgroup(WithMembers(w->bytes, members), &undo);
            const com::HRESULT hr = m_site->Commit(undo);
            if (hr == com::S_OK) m_openPair = OpenPair{group, op == rq::kMembershipAdd};
            return hr;
        },
        [&] { m_openPair.reset(); });
}

}  // namespace sim
