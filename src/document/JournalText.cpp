#include "document/JournalText.h"

#include <algorithm>
#include <cstdio>

#include "document/RowText.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace document {

namespace {
using Bytes = std::vector<uint8_t>;
}

std::string JoinedWords(const std::vector<std::string>& words, const char* sep) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : sep) + w;
    return out;
}

std::string CommandOutcome(const JournalCommand& c) {
    if (!c.ended) return "incomplete (the program ended in it)";
    return c.result;
}

std::string CommandLine(const JournalCommand& c) {
    return std::to_string(c.id) + "\t" + c.time + "\t" + c.kind + (c.of ? " of " + std::to_string(c.of) : "") + "\t" +
           JoinedWords(c.sites) + "\t" + JoinedWords(c.numbers) + "\t" + CommandOutcome(c);
}

std::string RecordChange(const Bytes& before, const Bytes& after) {
    if (before.empty() && after.empty()) return "";
    if (before.empty()) {
        const server::ConstExtRec r(after.data(), after.size());
        return "added: " + DetailedTypeWord(r.ExtensionType()) + " \"" + std::string(r.ExtFirstName()) + " " +
               std::string(r.ExtName()) + "\", forwards by \"" + std::string(r.FwdDialString()) + "\"";
    }
    if (after.empty()) return "deleted";
    const server::ConstExtRec a(before.data(), before.size()), b(after.data(), after.size());
    std::string out;
    auto field = [&](const char* name, const std::string& x, const std::string& y) {
        if (x != y) out += std::string(out.empty() ? "" : "; ") + name + " \"" + x + "\" -> \"" + y + "\"";
    };
    auto number = [&](const char* name, uint32_t x, uint32_t y, bool hex) {
        if (x == y) return;
        char text[64];
        std::snprintf(text, sizeof text, hex ? "%s 0x%x -> 0x%x" : "%s %u -> %u", name, x, y);
        out += std::string(out.empty() ? "" : "; ") + text;
    };
    number("type", a.ExtensionType(), b.ExtensionType(), false);
    field("first name", std::string(a.ExtFirstName()), std::string(b.ExtFirstName()));
    field("last name", std::string(a.ExtName()), std::string(b.ExtName()));
    field("mail name", std::string(a.EMailName()), std::string(b.EMailName()));
    number("forward target", a.ForwardTarget(), b.ForwardTarget(), false);
    field("forward number", std::string(a.FwdDialString()), std::string(b.FwdDialString()));
    field("mail forward", std::string(a.FwdEmailAddr()), std::string(b.FwdEmailAddr()));
    number("mail options", a.FwdMailOptions(), b.FwdMailOptions(), false);
    number("feature flags", a.ExtFeatureFlagBank(), b.ExtFeatureFlagBank(), true);
    number("status flags", a.ExtStatusFlagBank(), b.ExtStatusFlagBank(), true);
    if (a.ExtPassword() != b.ExtPassword()) out += std::string(out.empty() ? "" : "; ") + "password hash changed";
    size_t other = 0;
    for (size_t i = 0; i < std::min(before.size(), after.size()); ++i) other += before[i] != after[i];
    if (out.empty() && other) out = std::to_string(other) + " other byte(s) changed";
    else if (out.empty()) out = "no change";
    return out;
}

std::string DescribeChange(const JournalEntry& e) {
    std::string what;
    if (e.method == "ReplaceExtension" && e.sent.size() >= 4) {
        const size_t L = (e.sent.size() - 4) / 2;
        what = RecordChange(e.before.empty() ? Bytes(e.sent.begin() + std::ptrdiff_t(L), e.sent.begin() + std::ptrdiff_t(2 * L))
                                             : e.before,
                            Bytes(e.sent.begin(), e.sent.begin() + std::ptrdiff_t(L)));
    } else if (e.method == "AddExtension") {
        what = RecordChange({}, e.answer.empty() ? e.sent : e.answer);
    } else if (e.method == "DeleteExtension") {
        what = "deleted";
    } else if (e.method == "ChangeMembership" && e.sent.size() >= 38) {
        const server::ConstExtRec b(e.sent.data(), e.sent.size());
        const std::string member(b.Text(server::request::kMembershipExtension));
        const int32_t op = b.I32(server::request::kMembershipOperation);
        what = member.empty() ? "closing request"
                              : (op == server::request::kMembershipAdd ? "adds " : "removes ") + member + " to group " +
                                    std::string(b.Text(server::request::kMembershipGroup));
    }
    std::string answer = !e.answered ? "no answer written (it may have reached the site)" : e.result;
    if (e.answered && e.result == "refused") {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(e.hr));
        answer = std::string("refused (") + code + ")";
    }
    return e.number + "\t" + e.method + "\t" + answer + (what.empty() ? "" : "\t" + what);
}

std::vector<std::string> CommandDetails(const JournalCommand& c) {
    std::vector<std::string> out;
    out.push_back("  by " + c.user + ": " + c.action);
    std::vector<std::string> sites;
    for (const JournalEntry& e : c.changes)
        if (std::find(sites.begin(), sites.end(), e.site) == sites.end()) sites.push_back(e.site);
    for (const std::string& site : sites) {
        out.push_back("  " + site);
        for (const JournalEntry& e : c.changes)
            if (e.site == site) out.push_back("    " + DescribeChange(e));
    }
    for (const std::string& n : c.numbers) {
        auto it = c.numberResults.find(n);
        out.push_back("  number " + n + ": " + (it == c.numberResults.end() ? "not reached" : it->second));
    }
    return out;
}

std::string ReachedText(const UndoStep& s) {
    using V = UndoStep::Verdict;
    if (s.kind == UndoStep::Kind::Note) return {};
    const char* state = s.verdict == V::NoSite     ? "the site was not downloaded"
                        : s.asLeft                 ? "reached the site"
                        : s.verdict == V::AsBefore ? "did not reach the site (it holds what it held before)"
                                                   : "the site holds something else now";
    return s.site + "\t" + s.number + "\t" + (s.kind == UndoStep::Kind::Workgroup ? "workgroup" : "record") + "\t" + state;
}

std::vector<std::string> NumbersNotDone(const JournalCommand& c) {
    std::vector<std::string> out;
    for (const std::string& n : c.numbers) {
        auto it = c.numberResults.find(n);
        if (it == c.numberResults.end() || it->second != "done") out.push_back(n);
    }
    return out;
}

}  // namespace document
