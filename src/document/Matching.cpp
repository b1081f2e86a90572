// Merging the sites' extension lists into one row per number: its type, names, home site,
// counts and whether every site holds it in the synchronised form.
//
// The merge walks every site's sorted list once. The sites at the smallest number are exactly
// the sites that hold it, so what each holds (summary and record) is at hand without a lookup,
// and every rule below reads it from there.
#include <cstring>
#include <new>
#include <span>

#include "document/QOBDoc.h"
#include "platform/Strings.h"
#include "server/ForwardTemplates.h"

using platform::FormatString;
using platform::LoadString;
using server::ExtSummary;
using server::FieldText;
using HeldExt = server::CZentServ::HeldExt;
namespace exttype = server::exttype;

namespace {

constexpr int kAnyType = 6;

void CopyNames(ExtSummary& row, const ExtSummary& from) {
    std::memcpy(row.ExtFirstName, from.ExtFirstName, sizeof row.ExtFirstName);
    std::memcpy(row.ExtName, from.ExtName, sizeof row.ExtName);
    std::memcpy(row.EMailName, from.EMailName, sizeof row.EMailName);
}

struct Names {
    std::string_view text[3];
    explicit Names(const ExtSummary& s) : text{FieldText(s.ExtFirstName), FieldText(s.ExtName), FieldText(s.EMailName)} {}
};

int CountType(std::span<const HeldExt> held, int type) {
    int count = 0;
    for (const HeldExt& h : held)
        if (h.summary && (type == kAnyType || h.summary->ExtensionType == type)) ++count;
    return count;
}

uint32_t NameFlags(std::span<const HeldExt> held) {
    static constexpr uint32_t kMissing[3] = {0x1, 0x10, 0x100};
    static constexpr uint32_t kDiffers[3] = {0x2, 0x20, 0x200};
    uint32_t flags = 0;
    std::string_view kept[3];
    bool have[3] = {false, false, false};
    for (const HeldExt& h : held) {
        if (!h.summary) {
            flags |= 0x111;
            continue;
        }
        const Names names(*h.summary);
        for (int i = 0; i < 3; ++i) {
            if (have[i]) {
                if (names.text[i].empty()) flags |= kMissing[i];
                else if (!EqualNoCase(names.text[i], kept[i])) flags |= kDiffers[i];
            }
            if (!names.text[i].empty()) {
                kept[i] = names.text[i];
                have[i] = true;
            }
        }
    }
    return flags;
}

// Two holders with different non-empty names (ignoring case): the bits 0x222 of the flags.
constexpr uint32_t kNamesDiffer = 0x222;
bool NamesConsistent(std::span<const HeldExt> held) { return (NameFlags(held) & kNamesDiffer) == 0; }

}  // namespace

CQOBDoc::Holdings CQOBDoc::HoldingsOf(std::string_view number) const {
    Holdings held(m_servers.size());
    for (size_t i = 0; i < m_servers.size(); ++i) {
        server::CZentServ& conn = *m_servers[i];
        held[i] = {conn.FindSummary(number), conn.FindExtRec(number)};
    }
    return held;
}

int CQOBDoc::CountExtType(std::string_view number, int type) const { return CountType(HoldingsOf(number), type); }

uint32_t CQOBDoc::CompareExtNames(std::string_view number) {
    const uint32_t flags = NameFlags(HoldingsOf(number));
    Log(LOG_DETAIL, FormatString(44648, number, flags));
    return flags;
}

bool CQOBDoc::IsNameConsistent(std::string_view number) const { return NamesConsistent(HoldingsOf(number)); }

std::vector<CQOBDoc::RouteTexts> CQOBDoc::RouteTable() const {
    static const std::string kNone;
    const size_t n = m_servers.size();
    std::vector<RouteTexts> table(n * n, RouteTexts{&kNone, &kNone});
    for (size_t from = 0; from < n; ++from) {
        const std::string fromName = m_servers[from]->GetName();
        for (size_t to = 0; to < n; ++to) {
            // The home connection's own name: a home given in another letter case finds the
            // same routes as the site's name does.
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
    const Holdings held = HoldingsOf(number);
    if (!NamesConsistent(held)) return false;
    for (size_t i = 0; i < m_servers.size(); ++i)
        if (m_servers[i].get() == h) return IsSynchronizedTo(number, held, i, RouteTable());
    return false;
}

bool CQOBDoc::IsSynchronizedTo(std::string_view number, const Holdings& held, size_t home,
                               const std::vector<RouteTexts>& routes) {
    server::CZentServ& h = *m_servers[home];
    const server::ConstExtRec homeRecord = held[home].record;
    const size_t n = m_servers.size();
    // Every connection must confirm; the first that does not decides. A connection that does not
    // hold the number (or the home that does not) cannot confirm, so it needs no call.
    for (size_t c = 0; c < n; ++c) {
        if (!held[c].summary || !held[c].record || !homeRecord) return false;
        const RouteTexts& r = routes[c * n + home];
        if (!m_servers[c]->MatchForwardedHeld(number, held[c], h, homeRecord, *r.pattern, *r.suffix)) return false;
    }
    return true;
}

void CQOBDoc::MergeRow(std::string_view number, const Holdings& held, const std::vector<RouteTexts>& routes,
                       MatchTexts& texts, ExtSummary& row) {
    server::StoreFieldText(row.ExtensionNumber, number);
    server::StoreFieldText(row.HomeServer, texts.unknown);
    row.SyncStatus = 0;
    int c0 = 0, c2 = 0, c4 = 0, holders = 0;
    for (const HeldExt& h : held) {
        if (!h.summary) continue;
        ++holders;
        switch (h.summary->ExtensionType) {
        case exttype::kPhysical: ++c0; break;
        case exttype::kWorkgroup: ++c2; break;
        case exttype::kIp: ++c4; break;
        default: break;
        }
    }
    row.ExtCount = c0 + c4;
    row.GroupCount = c2;
    // The synchronised test is tried only for a number that at most one site holds as an
    // extension; the names decide the same for every home tried.
    const uint32_t flags = NameFlags(held);
    const bool tryHomes = row.ExtCount <= 1 && (flags & kNamesDiffer) == 0;

    // A number every site holds as a virtual extension is virtual, not physical: the first
    // holder gives the type, any holder of another type overrides it.
    bool typed = false;
    for (size_t k = 0; k < held.size(); ++k) {
        const ExtSummary* r = held[k].summary;
        if (r) {
            CopyNames(row, *r);
            if (!typed || r->ExtensionType != exttype::kVirtual) row.ExtensionType = r->ExtensionType;
            typed = true;
        }
        if (tryHomes && IsSynchronizedTo(number, held, k, routes)) {
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

    std::string& line = texts.line;
    line.clear();
    texts.matchLine.Append(line, number);
    if (row.SyncStatus == 1) line.append(texts.synchronizedTo).append(FieldText(row.HomeServer));
    else line.append(texts.unsynchronized);
    Log(LOG_DETAIL, line);

    line.clear();
    texts.compareLine.Append(line, number, flags);
    Log(LOG_DETAIL, line);
    if (flags & kNamesDiffer) {
        if (flags & 0x2) server::StoreFieldText(row.ExtFirstName, "XXXXXXX");
        if (flags & 0x20) server::StoreFieldText(row.ExtName, "XXXXXXX");
        if (flags & 0x200) server::StoreFieldText(row.EMailName, "XXXXXXX");
        server::StoreFieldText(row.HomeServer, texts.unknown);
    }
    if (row.ExtensionType == exttype::kVirtual && row.ExtCount * row.GroupCount == 0) {
        if (row.GroupCount > 0) row.ExtensionType = exttype::kWorkgroup;
        else if (row.ExtCount > 0) row.ExtensionType = exttype::kPhysical;
    }
}

void CQOBDoc::MatchExtensions() {
    const size_t n = m_servers.size();
    // The two work arrays: where each connection's walk stands (with its number), and what each
    // connection holds of the number being merged.
    struct Cursor {
        HeldExt at;
        std::string_view number;
    };
    std::vector<Cursor> cursors;
    Holdings held;
    try {
        cursors.resize(n);
        held.resize(n);
    } catch (const std::bad_alloc&) {
        Message(LoadString(44602));
        return;
    }

    // The previous list's entries are taken over by the new rows: a matching run again (the
    // reload after a synchronisation) allocates nothing per row.
    ExtList previous;
    previous.swap(m_extList);
    const std::vector<RouteTexts> routes = RouteTable();
    auto place = [](Cursor& c, HeldExt at) {
        c.at = at;
        c.number = at.summary ? FieldText(at.summary->ExtensionNumber) : std::string_view{};
    };
    for (size_t i = 0; i < n; ++i) place(cursors[i], m_servers[i]->GetFirstHeldExt());
    MatchTexts texts{platform::PreparedFormat(LoadString(44647)), platform::PreparedFormat(LoadString(44648)),
                     LoadString(44226), LoadString(46003), LoadString(46004), {}};

    for (;;) {
        // The smallest current number, as character strings. (Any number can be the smallest,
        // also one that sorts above any sentinel.)
        const Cursor* smallest = nullptr;
        for (const Cursor& c : cursors)
            if (c.at.summary && (!smallest || c.number < smallest->number)) smallest = &c;
        if (!smallest) break;
        const std::string number(smallest->number);
        for (size_t i = 0; i < n; ++i)
            held[i] = cursors[i].at.summary && cursors[i].number == number ? cursors[i].at : HeldExt{};

        // Numbers arrive in ascending order: each row goes to the end of the list, and is made
        // where it is kept.
        ExtList::iterator stored;
        if (previous.empty()) {
            stored = m_extList.try_emplace(m_extList.end(), number);
        } else {
            auto entry = previous.extract(previous.begin());
            entry.key() = number;
            entry.mapped() = ExtSummary{};
            stored = m_extList.insert(m_extList.end(), std::move(entry));
        }
        MergeRow(number, held, routes, texts, stored->second);
        if (m_pFrame) m_pFrame->UpdateViews(UPDATE_ROW_ADDED, stored->first);

        for (size_t i = 0; i < n; ++i)
            if (held[i].summary) place(cursors[i], m_servers[i]->GetNextHeldExt());
    }

    if (m_pFrame) m_pFrame->SetStatusText(LoadString(44213));
}
