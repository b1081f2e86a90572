#include "document/UndoPlan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <span>
#include <tuple>

#include "server/RecordLayout.h"
#include "server/ServProv.h"

namespace document {
namespace {

using Bytes = std::vector<uint8_t>;

bool IsRecordMethod(const std::string& m) {
    return m == "AddExtension" || m == "ReplaceExtension" || m == "DeleteExtension";
}
bool IsGroupMethod(const std::string& m) {
    return m == "AddWorkgroup" || m == "DeleteWorkgroup" || m == "ReplaceWorkgroup" || m == "ChangeMembership";
}

// The record a change left on its site (empty: none), as far as the journal tells.
Bytes LeftRecord(const JournalEntry& e) {
    if (e.method == "DeleteExtension") return {};
    if (e.method == "AddExtension") return e.answer.empty() ? e.sent : e.answer;
    // A replace request: the new record, the old one, a 4-byte trailer.
    if (e.sent.size() < 4) return {};
    const size_t L = (e.sent.size() - 4) / 2;
    return Bytes(e.sent.begin(), e.sent.begin() + std::ptrdiff_t(L));
}


std::string GroupOf(const JournalEntry& e) {
    if (e.method != "ChangeMembership") return e.number;
    const auto f = server::request::kMembershipGroup;
    if (e.sent.size() < f.offset + f.width) return e.number;
    return std::string(server::FieldText(e.sent.data() + f.offset, f.width));
}

const char* NoteText(const std::string& method) {
    if (method == "WriteExtData") return "the data block written there stays";
    if (method == "WriteItem") return "the item written there stays";
    if (method == "WriteONAData") return "the ONA data written there stays";
    if (method == "CopyMailbox") return "the mailbox copied there stays";
    return nullptr;
}

}  // namespace

bool MayHaveReached(const JournalEntry& e) { return !e.answered || e.result == "applied" || e.result == "uncertain"; }

std::vector<UndoStep> PlanUndo(const JournalCommand& command, const std::vector<server::CZentServ*>& sites) {
    auto find = [&](const std::string& name) -> server::CZentServ* {
        for (server::CZentServ* c : sites)
            if (c && c->GetName() == name) return c;
        return nullptr;
    };
    // The changes that may have reached their site, by site, kind and number, in order.
    std::map<std::tuple<std::string, int, std::string>, std::vector<const JournalEntry*>> groups;
    std::vector<UndoStep> notes;
    for (const JournalEntry& e : command.changes) {
        if (!MayHaveReached(e)) continue;
        if (IsRecordMethod(e.method)) {
            groups[{e.site, 0, e.number}].push_back(&e);
        } else if (IsGroupMethod(e.method)) {
            groups[{e.site, 1, GroupOf(e)}].push_back(&e);
        } else if (const char* text = NoteText(e.method)) {
            UndoStep n;
            n.kind = UndoStep::Kind::Note;
            n.site = e.site;
            n.number = e.number;
            n.verdict = UndoStep::Verdict::NotRestored;
            n.what = text;
            n.lastSeq = e.seq;
            notes.push_back(std::move(n));
        }
    }
    std::vector<UndoStep> steps;
    for (const auto& [key, entries] : groups) {
        const auto& [site, kind, number] = key;
        UndoStep s;
        s.kind = kind == 0 ? UndoStep::Kind::Record : UndoStep::Kind::Workgroup;
        s.site = site;
        s.number = number;
        s.before = entries.front()->before;
        if (entries.front()->method == "AddExtension" || entries.front()->method == "AddWorkgroup") s.before.clear();
        s.lastSeq = entries.back()->seq;
        server::CZentServ* conn = find(site);
        if (!conn) {
            s.verdict = UndoStep::Verdict::NoSite;
        } else if (s.kind == UndoStep::Kind::Record) {
            const server::ConstExtRec r = conn->FindExtRec(number);
            const Bytes now = r ? Bytes(r.data(), r.data() + r.size()) : Bytes();
            const JournalEntry& last = *entries.back();
            const bool lastCertain = last.answered && last.result == "applied";
            s.asLeft = now == LeftRecord(last);
            if (now == s.before) s.verdict = UndoStep::Verdict::AsBefore;
            else if (s.asLeft || (!lastCertain && now == last.before)) s.verdict = UndoStep::Verdict::Restore;
            else s.verdict = UndoStep::Verdict::Changed;
        } else {
            const server::ConstWORKGRPREC w = conn->FindGroupRec(number);
            const Bytes now = w ? Bytes(w.data(), w.data() + w.size()) : Bytes();
            const std::string& lastMethod = entries.back()->method;
            const bool leftNone = lastMethod == "DeleteWorkgroup";
            s.asLeft = now.empty() == leftNone;
            if (now == s.before) s.verdict = UndoStep::Verdict::AsBefore;
            else if (now.empty() == leftNone || !entries.back()->answered || entries.back()->result != "applied")
                s.verdict = UndoStep::Verdict::Restore;
            else s.verdict = UndoStep::Verdict::Changed;
        }
        steps.push_back(std::move(s));
    }
    steps.insert(steps.end(), std::make_move_iterator(notes.begin()), std::make_move_iterator(notes.end()));
    std::stable_sort(steps.begin(), steps.end(), [](const UndoStep& a, const UndoStep& b) { return a.lastSeq > b.lastSeq; });
    return steps;
}

}  // namespace document
