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
#include "document/QOBDoc.h"
#include "platform/AppProfile.h"
#include "document/PlanText.h"
#include "document/RowText.h"
#include "document/JournalText.h"
#include "document/UndoPlan.h"
#include "document/UndoRun.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace {

using document::JournalCommand;
using document::JournalEntry;
using Bytes = std::vector<uint8_t>;

const char* kHistoryUsage =
    "usage: qob-cli [--dir DIR] history [ID|last] [--incomplete]\n"
    "       qob-cli [--dir DIR] history ID|last --check [--password SITE=PW]... [--password-stdin]\n"
    "       qob-cli history --keep-mb N --keep-commands N";
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

void PrintCommand(const JournalCommand& c, bool details) {
    PrintOut(document::CommandLine(c));
    if (!details) return;
    for (const std::string& line : document::CommandDetails(c)) PrintOut(line);
}

}  // namespace

namespace {

// How much of the journal is kept, for this user: the oldest commands go past either limit.
int SetJournalLimits(const CArgs& args) {
    if (args.Words().size() || args.Has("check") || args.Has("incomplete") || args.Has("password") ||
        args.Has("password-stdin"))
        return Usage(kHistoryUsage, "--keep-mb and --keep-commands go alone");
    struct Limit {
        const char* option;
        const char* entry;
        uint32_t min, max;
    };
    const Limit limits[] = {{"keep-mb", CQOBDoc::kJournalMaxMBEntry, 1, 4096},
                            {"keep-commands", CQOBDoc::kJournalMaxCommandsEntry, 2, 1000000}};
    for (const Limit& l : limits) {
        const std::optional<std::string> text = args.Get(l.option);
        if (!text) continue;
        uint64_t value = 0;
        bool ok = !text->empty() && text->size() <= 10;
        for (char c : *text) ok = ok && c >= '0' && c <= '9', value = value * 10 + uint64_t(c - '0');
        if (!ok || value < l.min || value > l.max)
            return Usage(kHistoryUsage, std::string("--") + l.option + " takes a number from " + std::to_string(l.min) +
                                            " to " + std::to_string(l.max));
    }
    for (const Limit& l : limits) {
        const std::optional<std::string> text = args.Get(l.option);
        if (text && !platform::WriteProfileInt(l.entry, static_cast<uint32_t>(std::stoul(*text)))) {
            PrintErr("qob-cli: the journal's limits could not be kept in the user's profile");
            return kExitFailed;
        }
    }
    PrintOut("the change journal keeps at most " + std::to_string(platform::GetProfileInt(CQOBDoc::kJournalMaxMBEntry, 64)) +
             " MB and " + std::to_string(platform::GetProfileInt(CQOBDoc::kJournalMaxCommandsEntry, 200)) + " commands");
    return kExitOk;
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
    if (!args.Parse(argv, OptionSpec{{"password", "keep-mb", "keep-commands"}, {"incomplete", "check", "password-stdin"}, {"password"}},
                    error))
        return Usage(kHistoryUsage, error);
    if (args.Has("keep-mb") || args.Has("keep-commands")) return SetJournalLimits(args);
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
            for (const document::UndoStep& s : document::PlanUndo(command, conns))
                if (const std::string text = document::ReachedText(s); !text.empty()) PrintOut(text);
            return kExitOk;
        });
    }
    const bool incomplete = args.Has("incomplete");
    for (const JournalCommand& c : journal.commands)
        if (!incomplete || !c.ended) PrintCommand(c, incomplete);
    return kExitOk;
}

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
            if (!document::RunUndo(doc, document::PlanUndo(command, conns), force, dryRun ? &plan : nullptr,
                                   "--force puts it back all the same", [](const std::string& line) { PrintOut(line); }))
                status = kExitFailed;
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
    PrintErr("qob-cli: retrying " + document::JoinedWords(again, " ") + " of command " + std::to_string(c->id));
    for (const std::string& value : args.GetAll("password")) words.insert(words.end(), {"--password", value});
    for (const char* flag : {"password-stdin", "yes", "dry-run"})
        if (args.Has(flag)) words.push_back(std::string("--") + flag);
    ctx.retryOf = c->id;
    if (isSync) return RunSyncCommand(ctx, words, in);
    if (c->scope.empty() || c->scope == document::kScopeAsked) {
        PrintErr("qob-cli: command " + std::to_string(c->id) + " was a Delete in the window, which asked its scope there: "
                 "run qob-cli delete with --scope for " + document::JoinedWords(again, " "));
        return kExitFailed;
    }
    words.insert(words.end(), {"--scope", c->scope});
    return RunDeleteCommand(ctx, words, in);
}
