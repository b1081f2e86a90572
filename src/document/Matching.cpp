// Merging the sites' extension lists into one row per number: its type, names, home site,
// counts and whether every site holds it in the synchronised form.
#include <cstring>
#include <new>

#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "server/ForwardTemplates.h"

using platform::FormatString;
using platform::LoadString;
using server::ExtSummary;
using server::FieldText;
namespace exttype = server::exttype;

namespace {

constexpr int kAnyType = 6;

void CopyNames(ExtSummary& row, const ExtSummary& from) {
    std::memcpy(row.ExtFirstName, from.ExtFirstName, sizeof row.ExtFirstName);
    std::memcpy(row.ExtName, from.ExtName, sizeof row.ExtName);
    std::memcpy(row.EMailName, from.EMailName, sizeof row.EMailName);
}

}  // namespace

int CQOBDoc::CountExtType(std::string_view number, int type) const {
    int count = 0;
    for (const auto& conn : m_servers) {
        const ExtSummary* s = conn->FindExt(number);
        if (s && (type == kAnyType || s->ExtensionType == type)) ++count;
    }
    return count;
}

uint32_t CQOBDoc::CompareExtNames(std::string_view number) {
    uint32_t flags = 0;
    std::string_view kept[3];
    bool have[3] = {false, false, false};
    static constexpr uint32_t kMissing[3] = {0x1, 0x10, 0x100};
    static constexpr uint32_t kDiffers[3] = {0x2, 0x20, 0x200};
    for (const auto& conn : m_servers) {
        const ExtSummary* s = conn->FindExt(number);
        if (!s) {
            flags |= 0x111;
            continue;
        }
        const std::string_view names[3] = {FieldText(s->ExtFirstName), FieldText(s->ExtName), FieldText(s->EMailName)};
        for (int i = 0; i < 3; ++i) {
            if (have[i]) {
                if (names[i].empty()) flags |= kMissing[i];
                else if (!EqualNoCase(names[i], kept[i])) flags |= kDiffers[i];
            }
            if (!names[i].empty()) {
                kept[i] = names[i];
                have[i] = true;
            }
        }
    }
    Log(LOG_DETAIL, FormatString(44648, number, flags));
    return flags;
}

bool CQOBDoc::IsNameConsistent(std::string_view number) const {
    std::string_view kept[3];
    for (const auto& conn : m_servers) {
        const ExtSummary* s = conn->FindExt(number);
        if (!s) continue;
        const std::string_view names[3] = {FieldText(s->ExtFirstName), FieldText(s->ExtName), FieldText(s->EMailName)};
        for (int i = 0; i < 3; ++i) {
            if (names[i].empty()) continue;
            if (!kept[i].empty() && !EqualNoCase(names[i], kept[i])) return false;
            kept[i] = names[i];
        }
    }
    return true;
}

std::vector<CQOBDoc::RouteTexts> CQOBDoc::RouteTable() const {
    static const std::string kNone;
    const size_t n = m_servers.size();
    std::vector<RouteTexts> table(n * n, RouteTexts{&kNone, &kNone});
    for (size_t from = 0; from < n; ++from) {
        const std::string fromName = m_servers[from]->GetName();
        for (size_t to = 0; to < n; ++to) {
            const std::string toName = m_servers[to]->GetName();
            RouteTexts& r = table[from * n + to];
            if (const std::string* p = GetFwdPattern(fromName, toName)) r.pattern = p;
            if (const std::string* v = GetVMAPostfix(fromName, toName)) r.suffix = v;
        }
    }
    return table;
}

bool CQOBDoc::IsSynchronizedAll(std::string_view number, const std::string& home) {
    server::CZentServ* h = FindServer(home);
    if (!h) return false;
    for (size_t i = 0; i < m_servers.size(); ++i)
        if (m_servers[i].get() == h) return IsSynchronizedTo(number, i, IsNameConsistent(number), RouteTable());
    return false;
}

bool CQOBDoc::IsSynchronizedTo(std::string_view number, size_t home, bool namesConsistent,
                               const std::vector<RouteTexts>& routes) {
    if (!namesConsistent) return false;
    server::CZentServ* h = m_servers[home].get();
    const size_t n = m_servers.size();
    // Every connection must confirm; the first that does not decides, so a number costs a
    // constant number of lookups per site whichever home is tried.
    for (size_t c = 0; c < n; ++c) {
        const RouteTexts& r = routes[c * n + home];
        if (!m_servers[c]->MatchForwardedExt(number, h, *r.pattern, *r.suffix)) return false;
    }
    return true;
}

void CQOBDoc::MatchExtensions() {
    const size_t n = m_servers.size();
    std::vector<const ExtSummary*> current;
    std::vector<size_t> ties;
    try {
        current.resize(n);
        ties.reserve(n);
    } catch (const std::bad_alloc&) {
        Message(LoadString(44602));
        return;
    }

    m_extList.clear();
    const std::vector<RouteTexts> routes = RouteTable();
    for (size_t i = 0; i < n; ++i) current[i] = m_servers[i]->GetFirstExt();
    const std::string unknown = LoadString(44226);

    for (;;) {
        // The smallest current number, as character strings; ties hold every connection at it.
        // (Any number can be the smallest, also one that sorts above any sentinel.)
        std::string_view smallest;
        bool any = false;
        ties.clear();
        for (size_t i = 0; i < n; ++i) {
            if (!current[i]) continue;
            const std::string_view number = FieldText(current[i]->ExtensionNumber);
            if (!any || number < smallest) {
                smallest = number;
                any = true;
                ties.clear();
            }
            if (number == smallest) ties.push_back(i);
        }
        if (!any) break;
        const std::string number(smallest);

        ExtSummary row{};
        server::StoreFieldText(row.ExtensionNumber, number);
        server::StoreFieldText(row.HomeServer, unknown);
        row.SyncStatus = 0;
        const int c2 = CountExtType(number, exttype::kWorkgroup);
        const int c0 = CountExtType(number, exttype::kPhysical);
        const int c4 = CountExtType(number, exttype::kIp);
        row.ExtCount = c0 + c4;
        row.GroupCount = c2;
        const int holders = CountExtType(number, kAnyType);
        const bool namesConsistent = row.ExtCount <= 1 && IsNameConsistent(number);

        // A number every site holds as a virtual extension is virtual, not physical: the first
        // holder gives the type, any holder of another type overrides it.
        bool typed = false;
        for (size_t k = 0; k < n; ++k) {
            const ExtSummary* r = m_servers[k]->FindExt(number);
            if (r) {
                CopyNames(row, *r);
                if (!typed || r->ExtensionType != exttype::kVirtual) row.ExtensionType = r->ExtensionType;
                typed = true;
            }
            if (row.ExtCount <= 1 && IsSynchronizedTo(number, k, namesConsistent, routes)) {
                row.SyncStatus = holders != 1 ? 1 : 0;
                server::StoreFieldText(row.HomeServer, m_servers[k]->GetName());
                if (r) {
                    row.ExtensionType = r->ExtensionType;
                    CopyNames(row, *r);
                }
                break;
            }
            if (r && c0 + c2 + c4 == 1 &&
                (r->ExtensionType == exttype::kPhysical || r->ExtensionType == exttype::kWorkgroup ||
                 r->ExtensionType == exttype::kIp)) {
                row.SyncStatus = 0;
                server::StoreFieldText(row.HomeServer, m_servers[k]->GetName());
                row.ExtensionType = r->ExtensionType;
                CopyNames(row, *r);
            }
        }

        std::string line = FormatString(44647, number);
        if (row.SyncStatus == 1) line += LoadString(46003) + std::string(FieldText(row.HomeServer));
        else line += LoadString(46004);
        Log(LOG_DETAIL, line);

        const uint32_t flags = CompareExtNames(number);
        if (flags & 0x222) {
            if (flags & 0x2) server::StoreFieldText(row.ExtFirstName, "XXXXXXX");
            if (flags & 0x20) server::StoreFieldText(row.ExtName, "XXXXXXX");
            if (flags & 0x200) server::StoreFieldText(row.EMailName, "XXXXXXX");
            server::StoreFieldText(row.HomeServer, unknown);
        }
        if (row.ExtensionType == exttype::kVirtual && row.ExtCount * row.GroupCount == 0) {
            if (row.GroupCount > 0) row.ExtensionType = exttype::kWorkgroup;
            else if (row.ExtCount > 0) row.ExtensionType = exttype::kPhysical;
        }

        auto stored = m_extList.insert_or_assign(number, row).first;
        if (m_pFrame) m_pFrame->UpdateViews(UPDATE_ROW_ADDED, stored->first);

        for (size_t i : ties) current[i] = m_servers[i]->GetNextExt();
    }

    if (m_pFrame) m_pFrame->SetStatusText(LoadString(44213));
}

