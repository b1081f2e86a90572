// qob-cli history, undo and retry: the change journal (QOB.journal) read back, a command's changes
// shown field by field, put back as they were, or run again for what failed.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "cli/Args.h"
#include "cli/CliContext.h"
#include "cli/SiteSelection.h"
#include "document/JournalFormat.h"
#include "document/PlanText.h"
#include "document/RowText.h"
#include "document/UndoPlan.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace {

using document::JournalCommand;
using document::JournalEntry;
using Bytes = std::vector<uint8_t>;

const char* kHistoryUsage =
    "usage: qob-cli [--dir DIR] history [ID|last] [--incomplete]\n"
    "       qob-cli [--dir DIR] history ID|last --check [--password SITE=PW]... [--password-stdin]";
const char* kUndoUsage =
    "usage: qob-cli [--dir DIR] undo ID|last [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run] [--force]";
const char* kRetryUsage =
    "usage: qob-cli [--dir DIR] retry ID|last [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run]";

int Usage(const char* usage, const std::string& error) {
    if (!error.empty()) PrintErr("qob-cli: " + error);
    PrintErr(usage);
    return kExitUsage;
}

std::string JournalPath(const CliContext& ctx) {
    return ctx.dir.empty() ? document::kJournalFileName : ctx.dir + "/" + document::kJournalFileName;
}

bool Read(const CliContext& ctx, document::JournalContents& journal) {
    std::string error;
    if (!document::ReadJournalFile(JournalPath(ctx), journal, error)) {
        PrintErr("qob-cli: the change journal " + error);
        return false;
    }
    for (const std::string& w : journal.warnings) PrintErr("qob-cli: warning: " + JournalPath(ctx) + ", " + w + "; skipped");
    return true;
}

// The command named by ID or "last"; null (reported) when there is none.
const JournalCommand* Named(const document::JournalContents& journal, const std::string& word) {
    if (journal.commands.empty()) {
        PrintErr("qob-cli: the change journal holds no command");
        return nullptr;
    }
    if (word == "last") return &journal.commands.back();
    uint64_t id = 0;
    for (char c : word) {
        if (c < '0' || c > '9' || id > 1000000000000ull) {
            PrintErr("qob-cli: \"" + word + "\" is neither a command number nor \"last\"");
            return nullptr;
        }
        id = id * 10 + uint64_t(c - '0');
    }
    for (const JournalCommand& c : journal.commands)
        if (c.id == id) return &c;
    PrintErr("qob-cli: the change journal holds no command " + word + " (it keeps the newest ones only)");
    return nullptr;
}

std::string Joined(const std::vector<std::string>& words, const char* sep = ",") {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : sep) + w;
    return out;
}

std::string Outcome(const JournalCommand& c) {
    if (!c.ended) return "incomplete (the program ended in it)";
    return c.result;
}

// What differs between two records of a number, field by field; password hashes are never shown.
std::string RecordChange(const Bytes& before, const Bytes& after) {
    if (before.empty() && after.empty()) return "";
    if (before.empty()) {
        const server::ConstExtRec r(after.data(), after.size());
        return "added: " + ShortTypeWord(r.ExtensionType()) + " \"" + std::string(r.ExtFirstName()) + " " +
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

std::string Describe(const JournalEntry& e) {
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

void PrintCommand(const JournalCommand& c, bool details) {
    std::string numbers = Joined(c.numbers);
    PrintOut(std::to_string(c.id) + "\t" + c.time + "\t" + c.kind + (c.of ? " of " + std::to_string(c.of) : "") + "\t" +
             Joined(c.sites) + "\t" + numbers + "\t" + Outcome(c));
    if (!details) return;
    PrintOut("  by " + c.user + ": " + c.action);
    std::vector<std::string> sites;
    for (const JournalEntry& e : c.changes)
        if (std::find(sites.begin(), sites.end(), e.site) == sites.end()) sites.push_back(e.site);
    for (const std::string& site : sites) {
        PrintOut("  " + site);
        for (const JournalEntry& e : c.changes)
            if (e.site == site) PrintOut("    " + Describe(e));
    }
    for (const std::string& n : c.numbers) {
        auto it = c.numberResults.find(n);
        PrintOut("  number " + n + ": " + (it == c.numberResults.end() ? "not reached" : it->second));
    }
}

}  // namespace

void WarnIncompleteCommands(const CliContext& ctx) {
    for (const std::string& text : ctx.doc.UnfinishedCommands()) PrintErr("qob-cli: warning: " + text);
}

namespace {

// The command's sites downloaded again (with the passwords of `args`), then `work` on the engine
// with their connections. Reported and kExitFailed when they cannot be.
int WithCommandSites(CliContext& ctx, const JournalCommand& command, const CArgs& args, std::istream& in,
                     const char* usage, const std::function<int(const std::vector<server::CZentServ*>&)>& work) {
    std::string error;
    SiteSelection sites;
    for (const std::string& name : command.sites) {
        if (!IsSiteName(ctx.doc, name)) {
            PrintErr("qob-cli: site " + name + " of command " + std::to_string(command.id) + " is no longer configured");
            return kExitFailed;
        }
        if (!AddSiteName(sites, name, error)) return Usage(usage, error);
    }
    if (!TakePasswords(args, in, sites, error)) return Usage(usage, error);
    return RunOnEngine(ctx, [&]() -> int {
        bool saved = false;
        if (!DownloadSelection(ctx, sites, true, saved) || !saved) return kExitFailed;
        std::vector<server::CZentServ*> conns;
        for (const auto& c : ctx.doc.m_servers) conns.push_back(c.get());
        return work(conns);
    });
}

}  // namespace

int RunHistoryCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"incomplete", "check", "password-stdin"}, {"password"}}, error))
        return Usage(kHistoryUsage, error);
    if (args.Words().size() > 1) return Usage(kHistoryUsage, "history takes at most one command number");
    const bool check = args.Has("check");
    if (check && args.Words().size() != 1) return Usage(kHistoryUsage, "--check goes with one command number");
    if (!check && (args.Has("password") || args.Has("password-stdin")))
        return Usage(kHistoryUsage, "passwords go with --check");
    if (check && (!ctx.Lock("history") || !ctx.Load(false))) return kExitFailed;
    document::JournalContents journal;
    if (!Read(ctx, journal)) return kExitFailed;
    if (args.Words().size() == 1) {
        const JournalCommand* c = Named(journal, args.Words()[0]);
        if (!c) return kExitFailed;
        PrintCommand(*c, true);
        if (!check) return kExitOk;
        // What the sites hold now of each change: whether it reached them.
        const JournalCommand command = *c;
        return WithCommandSites(ctx, command, args, in, kHistoryUsage, [&](const std::vector<server::CZentServ*>& conns) {
            using V = document::UndoStep::Verdict;
            for (const document::UndoStep& s : document::PlanUndo(command, conns)) {
                if (s.kind == document::UndoStep::Kind::Note) continue;
                const char* state = s.verdict == V::NoSite       ? "the site was not downloaded"
                                    : s.asLeft                   ? "reached the site"
                                    : s.verdict == V::AsBefore   ? "did not reach the site (it holds what it held before)"
                                                                 : "the site holds something else now";
                PrintOut(s.site + "\t" + s.number + "\t" +
                         (s.kind == document::UndoStep::Kind::Workgroup ? "workgroup" : "record") + "\t" + state);
            }
            return kExitOk;
        });
    }
    const bool incomplete = args.Has("incomplete");
    for (const JournalCommand& c : journal.commands)
        if (!incomplete || !c.ended) PrintCommand(c, incomplete);
    return kExitOk;
}

namespace {

std::string StepText(const document::UndoStep& s) {
    using V = document::UndoStep::Verdict;
    const char* kind = s.kind == document::UndoStep::Kind::Workgroup ? "workgroup" : s.kind == document::UndoStep::Kind::Note ? "" : "record";
    switch (s.verdict) {
    case V::Restore: return std::string(kind) + "\tput back as it was";
    case V::AsBefore: return std::string(kind) + "\talready as it was";
    case V::Changed: return std::string(kind) + "\tchanged since the command: left alone (--force puts it back all the same)";
    case V::NotRestored: return "-\tcannot be put back: " + s.what;
    case V::NoSite: return std::string(kind) + "\tthe site was not downloaded";
    }
    return {};
}

}  // namespace

int RunUndoCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"password-stdin", "yes", "dry-run", "force"}, {"password"}}, error))
        return Usage(kUndoUsage, error);
    if (args.Words().size() != 1) return Usage(kUndoUsage, "name one command: its number, or last");
    if (!ctx.Lock("undo") || !ctx.Load(false)) return kExitFailed;
    document::JournalContents journal;
    if (!Read(ctx, journal)) return kExitFailed;
    const JournalCommand* found = Named(journal, args.Words()[0]);
    if (!found) return kExitFailed;
    const JournalCommand command = *found;

    // The command's sites are downloaded again, as it downloaded them.
    bool changed = false;
    for (const JournalEntry& e : command.changes) changed = changed || document::MayHaveReached(e);
    SiteSelection sites;
    for (const std::string& name : command.sites) {
        if (!IsSiteName(ctx.doc, name)) {
            PrintErr("qob-cli: site " + name + " of command " + std::to_string(command.id) + " is no longer configured");
            return kExitFailed;
        }
        if (!AddSiteName(sites, name, error)) return Usage(kUndoUsage, error);
    }
    if (!changed || sites.names.empty()) {
        PrintOut("command " + std::to_string(command.id) + " changed nothing on any site: nothing to undo");
        return kExitOk;
    }
    if (!TakePasswords(args, in, sites, error)) return Usage(kUndoUsage, error);
    const bool dryRun = args.Has("dry-run") || !args.Has("yes");
    const bool force = args.Has("force");

    return RunOnEngine(ctx, [&]() -> int {
        CQOBDoc& doc = ctx.doc;
        document::JournalCommandInfo info;
        info.kind = "undo";
        info.of = command.id;
        info.sites = sites.names;
        info.numbers = command.numbers;
        info.action = "qob-cli undo " + std::to_string(command.id);
        if (!dryRun && !doc.BeginJournal(info)) return kExitFailed;
        bool saved = false;
        int status = kExitOk;
        if (!DownloadSelection(ctx, sites, true, saved) || !saved) {
            status = kExitFailed;
        } else {
            std::vector<server::CZentServ*> conns;
            for (const auto& c : doc.m_servers) conns.push_back(c.get());
            server::CChangePlan plan;
            if (dryRun)
                for (server::CZentServ* c : conns) c->SetPlan(&plan);
            for (const document::UndoStep& s : document::PlanUndo(command, conns)) {
                using V = document::UndoStep::Verdict;
                std::string line = s.site + "\t" + s.number + "\t" + StepText(s);
                const bool send = s.verdict == V::Restore || (s.verdict == V::Changed && force);
                if (s.verdict == V::Changed || s.verdict == V::NoSite) status = kExitFailed;
                if (send && !doc.Cancelled()) {
                    server::CZentServ* conn = nullptr;
                    for (server::CZentServ* c : conns)
                        if (c->GetName() == s.site) conn = c;
                    const size_t planned = plan.Calls().size();
                    const bool ok = s.kind == document::UndoStep::Kind::Record ? conn->RestoreExtRec(s.number, s.before)
                                                                               : conn->RestoreGroupRec(s.number, s.before);
                    if (dryRun) {
                        line = s.site + "\t" + s.number + "\t" + (s.kind == document::UndoStep::Kind::Record ? "record" : "workgroup") +
                               "\twould be put back as it was";
                        for (size_t i = planned; i < plan.Calls().size(); ++i) {
                            const server::PlannedCall& p = plan.Calls()[i];
                            line += "\n" + p.number + "\t" + p.site + "\t" + p.method + "\t" + DescribePlannedCall(p);
                        }
                    } else if (!ok) {
                        line = s.site + "\t" + s.number + "\tfailed: " + conn->GetLastError();
                        status = kExitFailed;
                    } else if (s.verdict == V::Changed) {
                        line = s.site + "\t" + s.number + "\tput back as it was, over a change made since (--force)";
                    }
                } else if (send) {
                    line = s.site + "\t" + s.number + "\tnot put back (cancelled)";
                    status = kExitFailed;
                }
                PrintOut(line);
            }
            if (dryRun) {
                for (server::CZentServ* c : conns) c->SetPlan(nullptr);
                if (!args.Has("dry-run")) {
                    PrintErr("qob-cli: nothing was changed; give --yes to undo");
                    status = kExitFailed;
                }
            }
        }
        if (!dryRun) doc.EndJournal(doc.Cancelled() ? "cancelled" : status == kExitOk ? "ok" : "failed");
        return status;
    });
}

int RunRetryCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"password-stdin", "yes", "dry-run"}, {"password"}}, error))
        return Usage(kRetryUsage, error);
    if (args.Words().size() != 1) return Usage(kRetryUsage, "name one command: its number, or last");
    document::JournalContents journal;
    if (!Read(ctx, journal)) return kExitFailed;
    const JournalCommand* c = Named(journal, args.Words()[0]);
    if (!c) return kExitFailed;
    const bool isSync = c->kind == "sync" || (c->kind == "retry" && c->scope.empty());
    if (!isSync && c->kind != "delete" && !(c->kind == "retry" && !c->scope.empty())) {
        PrintErr("qob-cli: command " + std::to_string(c->id) + " is " + c->kind + ": only sync and delete are retried");
        return kExitFailed;
    }
    std::vector<std::string> words = c->sites;
    std::vector<std::string> again;
    for (const std::string& n : c->numbers) {
        auto it = c->numberResults.find(n);
        if (it != c->numberResults.end() && it->second == "done") continue;
        again.push_back(n);
        auto home = c->homes.find(n);
        words.push_back(home == c->homes.end() ? n : n + "=" + home->second);
    }
    if (again.empty()) {
        PrintOut("every number of command " + std::to_string(c->id) + " was done: nothing to retry");
        return kExitOk;
    }
    PrintErr("qob-cli: retrying " + Joined(again, " ") + " of command " + std::to_string(c->id));
    for (const std::string& value : args.GetAll("password")) words.insert(words.end(), {"--password", value});
    for (const char* flag : {"password-stdin", "yes", "dry-run"})
        if (args.Has(flag)) words.push_back(std::string("--") + flag);
    ctx.retryOf = c->id;
    if (isSync) return RunSyncCommand(ctx, words, in);
    if (c->scope.empty()) {
        PrintErr("qob-cli: command " + std::to_string(c->id) + " was a Delete in the window, which asked its scope there: "
                 "run qob-cli delete with --scope for " + Joined(again, " "));
        return kExitFailed;
    }
    words.insert(words.end(), {"--scope", c->scope});
    return RunDeleteCommand(ctx, words, in);
}
