// qob-cli sync and delete: download the sites as `download` does, then synchronise or delete the
// numbers named, as the list view's Synchronize and Delete commands do. With --dry-run (sync) or
// without --yes (delete) every connection gets a change plan instead of sending: the same code
// runs, and the plan says what it would have sent.
#include <algorithm>

#include "cli/Args.h"
#include "cli/CliContext.h"
#include "cli/ListOutput.h"
#include "cli/SiteSelection.h"
#include "document/ChangeJournal.h"
#include "document/PlanText.h"
#include "document/RowText.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"
#include "server/ExtSummary.h"

namespace {

const char* kSyncUsage =
    "usage: qob-cli [--dir DIR] sync SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run]\n"
    "                                 [--csv] NUMBER[=HOME]...";
const char* kDeleteUsage =
    "usage: qob-cli [--dir DIR] delete SITE SITE... [--password SITE=PW]... [--password-stdin] --scope virtual|all\n"
    "                                   [--yes] NUMBER...";

int Usage(const char* usage, const std::string& error) {
    if (!error.empty()) PrintErr("qob-cli: " + error);
    PrintErr(usage);
    return kExitUsage;
}

struct Target {
    std::string number;               // code page text
    std::optional<std::string> home;  // sync: the home named with NUMBER=HOME
};

// An extension number as a telephone dials it: 1 to 16 digits, * or #. (Anything else on the
// command line is more likely a mistyped site name than a number.)
bool IsNumberText(const std::string& text) {
    if (text.empty() || text.size() > 16) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; });
}

// The words of a sync or delete: the sites first, then the numbers (with =HOME where allowed).
bool SplitWords(const CQOBDoc& doc, const std::vector<std::string>& words, bool homes, SiteSelection& sites,
                std::vector<Target>& targets, std::string& error) {
    size_t i = 0;
    for (; i < words.size() && IsSiteName(doc, words[i]); ++i)
        if (!AddSiteName(sites, words[i], error)) return false;
    for (; i < words.size(); ++i) {
        const std::string& word = words[i];
        const size_t eq = word.find('=');
        Target t;
        t.number = word.substr(0, eq);
        if (eq != std::string::npos) {
            if (!homes) {
                error = "\"" + word + "\": a home site can only be given to sync";
                return false;
            }
            std::string home;
            if (std::string problem = ArgProblem("home site", word.substr(eq + 1), kMaxSiteName, home); !problem.empty()) {
                error = "\"" + t.number + "=HOME\": " + problem;
                return false;
            }
            t.home = home;
        }
        if (!IsNumberText(t.number)) {
            error = "\"" + word + "\" is neither a configured site nor an extension number";
            return false;
        }
        targets.push_back(std::move(t));
    }
    if (sites.names.size() < 2) {
        error = platform::LoadString(44601);
        return false;
    }
    if (targets.empty()) {
        error = "name at least one extension number after the sites";
        return false;
    }
    return true;
}

void SetPlan(CQOBDoc& doc, server::CChangePlan* plan) {
    for (const auto& conn : doc.m_servers) conn->SetPlan(plan);
}

// The plan's calls from `first` on, one line each: number, site, the call, what it would do.
void PrintPlan(const server::CChangePlan& plan, size_t first) {
    for (size_t i = first; i < plan.Calls().size(); ++i) {
        const server::PlannedCall& c = plan.Calls()[i];
        PrintOut(c.number + "\t" + c.site + "\t" + c.method + "\t" + DescribePlannedCall(c));
    }
}

// Error lines logged from `first` on, as the plan's reasons for what is not sent.
void PrintSkips(const CCliFrame& frame, const std::string& number, size_t first) {
    for (size_t i = first; i < frame.ErrorLines().size(); ++i) {
        std::string line = frame.ErrorLines()[i];
        line.erase(0, line.find_first_not_of("\t "));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
        for (char& c : line)
            if (c == '\t' || c == '\n') c = ' ';
        PrintOut(number + "\t-\t-\tnot sent: " + line);
    }
}

// Why the list view would not let the number be checked for that home; empty when it would.
std::string Refusal(CQOBDoc& doc, const std::string& number, const std::string& home) {
    switch (doc.WhyNotSynchronizable(number, home)) {
    case CQOBDoc::SyncRefusal::None: return {};
    case CQOBDoc::SyncRefusal::NoRow: return "extension " + number + " is on none of the downloaded sites";
    case CQOBDoc::SyncRefusal::NoHome:
        return "extension " + number + " has no home site; name one as " + number + "=SITE";
    case CQOBDoc::SyncRefusal::Application: return "extension " + number + " is an application on some site";
    case CQOBDoc::SyncRefusal::SeveralExtensions:
        return "extension " + number + " is a physical or IP extension on more than one site";
    case CQOBDoc::SyncRefusal::ExtensionAndGroup:
        return "extension " + number + " is an extension on one site and a group on another";
    case CQOBDoc::SyncRefusal::AlreadySynchronized:
        return "extension " + number + " is already synchronized to " + home;
    }
    return {};
}

// The journal's record of a command that changes sites: its words without the passwords.
document::JournalCommandInfo JournalInfo(const std::string& kind, const SiteSelection& sites,
                                         const std::vector<Target>& targets, const std::string& scope,
                                         uint64_t retryOf) {
    document::JournalCommandInfo info;
    info.kind = kind;
    info.of = retryOf;
    if (retryOf) info.kind = "retry";
    info.sites = sites.names;
    info.scope = scope;
    info.action = "qob-cli " + kind;
    for (const std::string& s : sites.names) info.action += " " + s;
    if (!scope.empty()) info.action += " --scope " + scope;
    for (const Target& t : targets) {
        info.numbers.push_back(t.number);
        info.action += " " + t.number;
        if (t.home) {
            info.homes[t.number] = *t.home;
            info.action += "=" + *t.home;
        }
    }
    return info;
}

int SynchronizeJournalled(CliContext& ctx, const CArgs& args, const SiteSelection& sites, std::vector<Target>& targets);

// The sync after its arguments were taken: on the engine thread.
int Synchronize(CliContext& ctx, const CArgs& args, const SiteSelection& sites, std::vector<Target>& targets) {
    CQOBDoc& doc = ctx.doc;
    const bool dryRun = args.Has("dry-run");
    // Nothing is sent unjournalled: a journal that cannot be written ends the command here.
    if (!dryRun && !doc.BeginJournal(JournalInfo("sync", sites, targets, "", ctx.retryOf))) return kExitFailed;
    const int status = SynchronizeJournalled(ctx, args, sites, targets);
    doc.EndJournal(doc.Cancelled() ? "cancelled" : status == kExitOk ? "ok" : "failed");
    return status;
}

int SynchronizeJournalled(CliContext& ctx, const CArgs& args, const SiteSelection& sites, std::vector<Target>& targets) {
    CQOBDoc& doc = ctx.doc;
    bool saved = false;
    if (!DownloadSelection(ctx, sites, args.Has("yes"), saved) || !saved) return kExitFailed;

    // As the list view: every extension first, then every group, each in the order given.
    std::stable_partition(targets.begin(), targets.end(), [&](const Target& t) {
        const server::ExtSummary* row = doc.FindExtRow(t.number);
        return !row || row->ExtensionType != server::exttype::kWorkgroup;
    });

    // As the list asks before it synchronises: the mailboxes that would move, in all. They are
    // measured only when they may move (each measurement goes to the site's share).
    if (doc.m_bRelocation && doc.m_bRelocateVM) {
        int32_t total = 0;
        for (const Target& t : targets) total += doc.GetMailboxSize(t.number);
        if (total > 0) {
            const int answer = ctx.frame.MessageBox(platform::FormatString(44638, total), MB_YESNOCANCEL, "QOB");
            if (answer == IDCANCEL) return kExitFailed;
            if (answer == IDNO) doc.m_bRelocateVM = false;
        }
    }

    const bool dryRun = args.Has("dry-run");
    server::CChangePlan plan;
    if (dryRun) SetPlan(doc, &plan);
    int failed = 0;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Target& t = targets[i];
        if (doc.Cancelled()) {
            std::string rest;
            for (size_t j = i; j < targets.size(); ++j) rest += " " + targets[j].number;
            PrintErr("qob-cli: cancelled before" + rest);
            ++failed;
            break;
        }
        const server::ExtSummary* row = doc.FindExtRow(t.number);
        const std::string home = t.home ? *t.home : row ? std::string(server::FieldText(row->HomeServer)) : "";
        const std::string why = Refusal(doc, t.number, home);
        if (!why.empty()) {
            const bool nothingToDo = row && doc.WhyNotSynchronizable(t.number, home) ==
                                                CQOBDoc::SyncRefusal::AlreadySynchronized;
            PrintErr("qob-cli: " + why + (nothingToDo ? "; nothing to do" : "; not synchronized"));
            if (dryRun) PrintOut(t.number + "\t-\t-\tnot sent: " + why);
            if (!nothingToDo) ++failed;
            continue;
        }
        ctx.frame.SetStatusText(platform::FormatString(44207, t.number));
        const size_t planned = plan.Calls().size(), errors = ctx.frame.ErrorLines().size();
        bool complete = false;
        const bool ok = doc.SyncExtension(t.number, home, &complete);
        if (!ok || !complete) ++failed;
        if (dryRun) {
            PrintPlan(plan, planned);
            PrintSkips(ctx.frame, t.number, errors);
            const server::ExtSummary* after = doc.FindExtRow(t.number);
            PrintOut(t.number + "\t-\t-\t" +
                     (ok && after ? "would be synchronized to " + std::string(server::FieldText(after->HomeServer))
                                  : std::string("would fail")));
        }
    }
    if (dryRun) {
        SetPlan(doc, nullptr);
        return failed ? kExitFailed : kExitOk;
    }
    if (doc.Cancelled()) return kExitFailed;
    if (doc.m_bReload && !doc.Download()) ++failed;
    PrintExtensionList(doc, args.Has("csv"));
    return failed ? kExitFailed : kExitOk;
}

int DeleteJournalled(CliContext& ctx, const CArgs& args, const std::string& scope, const SiteSelection& sites,
                     const std::vector<Target>& targets);

// The deletion after its arguments were taken: on the engine thread.
int Delete(CliContext& ctx, const CArgs& args, const std::string& scope, const SiteSelection& sites,
           const std::vector<Target>& targets) {
    CQOBDoc& doc = ctx.doc;
    // Without --yes nothing is deleted: the plan lists what would be, and the command fails.
    const bool confirmed = args.Has("yes");
    if (confirmed && !doc.BeginJournal(JournalInfo("delete", sites, targets, scope, ctx.retryOf))) return kExitFailed;
    const int status = DeleteJournalled(ctx, args, scope, sites, targets);
    if (confirmed) doc.EndJournal(doc.Cancelled() ? "cancelled" : status == kExitOk ? "ok" : "failed");
    return status;
}

int DeleteJournalled(CliContext& ctx, const CArgs& args, const std::string& scope, const SiteSelection& sites,
                     const std::vector<Target>& targets) {
    CQOBDoc& doc = ctx.doc;
    const bool confirmed = args.Has("yes");
    bool saved = false;
    if (!DownloadSelection(ctx, sites, args.Has("yes"), saved) || !saved) return kExitFailed;

    server::CChangePlan plan;
    if (!confirmed) SetPlan(doc, &plan);
    ctx.frame.SetDeleteScope(scope == "all" ? 1 : 0);
    int failed = 0;
    for (const Target& t : targets) {
        if (doc.Cancelled()) {
            ++failed;
            break;
        }
        const size_t planned = plan.Calls().size(), errors = ctx.frame.ErrorLines().size();
        bool complete = false;
        doc.DeleteEverywhere(t.number, &complete);
        if (!complete) ++failed;
        if (!confirmed) {
            PrintPlan(plan, planned);
            PrintSkips(ctx.frame, t.number, errors);
        }
    }
    if (!confirmed) {
        SetPlan(doc, nullptr);
        PrintErr("qob-cli: nothing was deleted; give --yes to delete");
        return kExitFailed;
    }
    return failed ? kExitFailed : kExitOk;
}
}  // namespace

int RunSyncCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"password-stdin", "yes", "dry-run", "csv"}, {"password"}}, error))
        return Usage(kSyncUsage, error);
    if (!ctx.Lock("sync") || !ctx.Load(false)) return kExitFailed;
    CQOBDoc& doc = ctx.doc;
    SiteSelection sites;
    std::vector<Target> targets;
    if (!SplitWords(doc, args.Words(), true, sites, targets, error)) return Usage(kSyncUsage, error);
    if (!TakePasswords(args, in, sites, error)) return Usage(kSyncUsage, error);

    return RunOnEngine(ctx, [&] { return Synchronize(ctx, args, sites, targets); });
}

int RunDeleteCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password", "scope"}, {"password-stdin", "yes"}, {"password"}}, error))
        return Usage(kDeleteUsage, error);
    const std::optional<std::string> scope = args.Get("scope");
    if (!scope || (*scope != "virtual" && *scope != "all")) return Usage(kDeleteUsage, "--scope must be virtual or all");
    if (!ctx.Lock("delete") || !ctx.Load(false)) return kExitFailed;
    CQOBDoc& doc = ctx.doc;
    SiteSelection sites;
    std::vector<Target> targets;
    if (!SplitWords(doc, args.Words(), false, sites, targets, error)) return Usage(kDeleteUsage, error);
    if (!TakePasswords(args, in, sites, error)) return Usage(kDeleteUsage, error);

    return RunOnEngine(ctx, [&] { return Delete(ctx, args, *scope, sites, targets); });
}
